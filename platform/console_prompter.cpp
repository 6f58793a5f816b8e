#include "console_prompter.h"

namespace tv {

void ConsolePrompter::message(const std::string& text, const std::string& title, MessageIcon) {
    m_err << title << ": " << text << '\n';
}

bool ConsolePrompter::question(const std::string& text, const std::string& title, MessageIcon) {
    m_err << title << ": " << text << (m_yes ? " Yes" : " No") << '\n';
    return m_yes;
}

std::string ConsolePrompter::browseForFolder(const std::string&) { return {}; }

std::vector<std::string> ConsolePrompter::chooseFiles(const std::string&, const std::string&,
                                                      bool) {
    return {};
}

} // namespace tv
