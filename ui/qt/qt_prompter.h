#pragma once

#include "ui/prompter.h"

class QSoundEffect;
class QWidget;

namespace tv {

// Message boxes and file choosers as Qt dialogs.
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void message(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool question(const std::string& text, const std::string& title, MessageIcon icon) override;
    Choice choose(const std::string& text, const std::string& title) override;
    std::string browseForFolder(const std::string& title) override;
    std::vector<std::string> chooseFiles(const FileRequest& request) override;
    int chooseFromList(const ListRequest& request) override;
    bool isWindow(int64_t handle) const override;

private:
    QWidget* m_parent;
};

// The desktop's default handlers; the user's editor takes Notepad's place.
class QtShell : public Shell {
public:
    bool openInEditor(const std::string& path) override;
    bool openDocument(const std::string& pathOrUrl) override;
    bool startProgram(const std::string& program) override;
};

// Sounds through Qt Multimedia; one effect object reused for every play.
class QtSoundPlayer : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void play(const std::string& wavFile) override;

private:
    ::QSoundEffect* m_effect = nullptr;
};

} // namespace tv
