#pragma once

#include <QDialog>

#include <string>

namespace tv {

class Prompter;
class RegistryStore;
class Shell;
class SoundPlayer;

// frmAbout: the program's version, a short description, the maker's
// addresses and the system information button.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(const std::string& programFolder, Prompter& prompter, Shell& shell,
                SoundPlayer& sound, QWidget* parent = nullptr);
    // Starts the desktop's system information tool: the first of hardinfo,
    // gnome-system-monitor and ksysguard on the PATH.
    void StartSysInfo();

protected:
    // A click on the window's background plays e.wav.
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::string m_programFolder;
    Prompter& m_prompter;
    Shell& m_shell;
    SoundPlayer& m_sound;
};

} // namespace tv
