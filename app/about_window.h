#pragma once

#include <QDialog>

namespace tv {

class Prompter;
class RegistryStore;
class Shell;

// frmAbout: the program's version, a short description, the maker's
// addresses and the system information button.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(RegistryStore& registry, Prompter& prompter, Shell& shell,
                QWidget* parent = nullptr);
    // Starts the system information tool named in the registry, if any.
    void StartSysInfo();

private:
    RegistryStore& m_registry;
    Prompter& m_prompter;
    Shell& m_shell;
};

} // namespace tv
