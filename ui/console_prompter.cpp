#include "console_prompter.h"

#include "platform/text_util.h"

namespace tv {

namespace {

// Messages name files and folders: on a terminal a name must not forge a
// line or steer the terminal.
std::string shown(const std::string& title, const std::string& text) {
    return escapeControls(title) + ": " + escapeControlsKeepingLines(text);
}

} // namespace

void ConsolePrompter::message(const std::string& text, const std::string& title, MessageIcon) {
    m_err << shown(title, text) << '\n';
}

bool ConsolePrompter::question(const std::string& text, const std::string& title, MessageIcon) {
    m_err << shown(title, text) << (m_yes ? " Yes" : " No") << '\n';
    return m_yes;
}

Choice ConsolePrompter::choose(const std::string& text, const std::string& title) {
    m_err << shown(title, text) << (m_yes ? " Yes" : " Cancel") << '\n';
    return m_yes ? Choice::Yes : Choice::Cancel;
}

std::string ConsolePrompter::browseForFolder(const std::string&) {
    return {};
}

std::vector<std::string> ConsolePrompter::chooseFiles(const FileRequest&) {
    return {}; // files are named on the command line instead
}

int ConsolePrompter::chooseFromList(const ListRequest& request) {
    // Nothing is chosen here: the command line names its choice in an option.
    m_err << shown(request.title, request.text) << " (none chosen)\n";
    return kChoseNothing;
}

bool ConsolePrompter::isWindow(int64_t) const {
    return false;
}

} // namespace tv

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tv {

static bool xdgOpen(const std::string& what) {
    pid_t pid;
    const char* argv[] = {"xdg-open", what.c_str(), nullptr};
    if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    // xdg-open hands over to the handler and returns at once.
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ConsoleShell::openInEditor(const std::string& path) {
    return xdgOpen(path);
}
bool ConsoleShell::openDocument(const std::string& pathOrUrl) {
    return xdgOpen(pathOrUrl);
}

bool ConsoleShell::startProgram(const std::string& program) {
    pid_t pid;
    const char* argv[] = {program.c_str(), nullptr};
    return ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv),
                         environ) == 0;
}

} // namespace tv
