#pragma once

#include "prompter.h"

#include <ostream>

namespace tv {

// The command line's Prompter: messages go to standard error as
// "<title>: <text>", questions are answered by a flag given up front, and
// nothing can be browsed for.
class ConsolePrompter : public Prompter {
public:
    ConsolePrompter(std::ostream& err, bool answerYes) : m_err(err), m_yes(answerYes) {}
    void message(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool question(const std::string& text, const std::string& title, MessageIcon icon) override;
    Choice choose(const std::string& text, const std::string& title) override;
    std::string browseForFolder(const std::string& title) override;
    std::vector<std::string> chooseFiles(const FileRequest& request) override;
    int chooseFromList(const ListRequest& request) override;
    bool isWindow(int64_t handle) const override;
    void setAnswerYes(bool yes) { m_yes = yes; }

private:
    std::ostream& m_err;
    bool m_yes;
};

} // namespace tv

namespace tv {

// The command line's Shell: hands files and addresses to xdg-open (the
// desktop's default handler) without waiting for it.
class ConsoleShell : public Shell {
public:
    bool openInEditor(const std::string& path) override;
    bool openDocument(const std::string& pathOrUrl) override;
    bool startProgram(const std::string& program) override;
};

} // namespace tv
