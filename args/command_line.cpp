#include "command_line.h"

#include "args/version.h"

#include <algorithm>

namespace cmdline {

CommandTable::CommandTable(std::string program, std::string head, std::vector<Command> commands,
                           std::string tail)
    : m_program(std::move(program)), m_head(std::move(head)), m_tail(std::move(tail)),
      m_commands(std::move(commands)) {
}

std::string CommandTable::usage() const {
    std::string text = m_head;
    for (const auto& c : m_commands)
        text += c.help;
    return text + m_tail;
}

const Command* CommandTable::find(const std::string& name) const {
    auto it = std::find_if(m_commands.begin(), m_commands.end(),
                           [&](const Command& c) { return c.name == name; });
    return it == m_commands.end() ? nullptr : &*it;
}

bool asksForVersion(const std::vector<std::string>& args) {
    return args.size() == 1 && args[0] == "--version";
}

std::string versionLine(const std::string& program) {
    return program + " " + TESSVANE_VERSION;
}

bool asksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

ArgReader::ArgReader(std::string program, std::vector<std::string> args, std::ostream& err,
                     std::string hint)
    : m_program(std::move(program)), m_args(std::move(args)), m_err(err), m_hint(std::move(hint)) {
}

std::vector<std::string> ArgReader::rest() const {
    return {m_args.begin() + static_cast<std::ptrdiff_t>(std::min(m_next, m_args.size())),
            m_args.end()};
}

bool ArgReader::value(const std::string& option, const char* what, std::string& out) {
    if (done() || looksLikeOption(peek())) return fail(option + " needs " + what);
    out = take();
    return true;
}

bool ArgReader::optionalValue(std::string& out) {
    if (done() || looksLikeOption(peek())) return false;
    out = take();
    return true;
}

bool ArgReader::unexpected(const std::string& arg) {
    return fail((arg.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + arg +
                "'" + m_hint);
}

bool ArgReader::fail(const std::string& message) {
    m_err << m_program << ": " << message << '\n';
    m_failed = true;
    return false;
}

} // namespace cmdline
