#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// The argument layer of the three command lines (tessvane-cli,
// tessvane-troubleshooter, quillet): named exit statuses, a table of
// commands with their help, and a reader that checks every argument before
// anything runs.
namespace cmdline {

// Exit statuses, the same for every program.
enum Exit : int {
    kDone = 0,       // done (or help printed)
    kNotDone = 1,    // nothing done: a No, a missing file, a page that did not load
    kUsageError = 2, // wrong arguments, or something the call must name is missing
    kFailed = 3,     // something the user asked for failed part-way
};

// One command and its help: the usage line(s) and what it does, indented
// as the program's usage prints them.
struct Command {
    std::string name;
    std::string help;
};

// The program's usage: a head, every command's help, a tail.
class CommandTable {
public:
    CommandTable(std::string program, std::string head, std::vector<Command> commands,
                 std::string tail);
    const std::string& program() const { return m_program; }
    std::string usage() const;
    const Command* find(const std::string& name) const;
    const std::vector<Command>& commands() const { return m_commands; }

private:
    std::string m_program, m_head, m_tail;
    std::vector<Command> m_commands;
};

// Whether the arguments ask for help ("--help" or "-h" anywhere).
bool asksForHelp(const std::vector<std::string>& args);
// The call is `PROGRAM --version` (nothing else): the line to print then is
// versionLine(program), "tessvane-cli 1.0.0".
bool asksForVersion(const std::vector<std::string>& args);
std::string versionLine(const std::string& program);

// The arguments of a call, taken one by one. Every complaint goes to `err`
// as "<program>: <message>" and marks the reader failed; the caller then
// exits with kUsageError before doing anything.
class ArgReader {
public:
    // `hint` ends the message about an unexpected argument, e.g. " (prog --help ...)".
    ArgReader(std::string program, std::vector<std::string> args, std::ostream& err,
              std::string hint = {});
    bool done() const { return m_next >= m_args.size(); }
    const std::string& peek() const { return m_args[m_next]; }
    std::string take() { return m_args[m_next++]; }
    // What is left, not taken.
    std::vector<std::string> rest() const;

    // The value of the option just taken; `what` names it in the message
    // ("--to needs a folder"). A value that looks like another option is no
    // value: "--to --backup" must not make a folder named --backup.
    bool value(const std::string& option, const char* what, std::string& out);
    // The next argument when it is a value (not an option); for an option
    // whose value may be left out.
    bool optionalValue(std::string& out);
    // An argument the call does not take.
    bool unexpected(const std::string& arg);
    // Any other complaint about the arguments.
    bool fail(const std::string& message);
    bool failed() const { return m_failed; }

private:
    std::string m_program;
    std::vector<std::string> m_args;
    size_t m_next = 0;
    std::ostream& m_err;
    std::string m_hint;
    bool m_failed = false;
};

// Whether an argument is an option's name rather than a value.
inline bool looksLikeOption(const std::string& arg) {
    return arg.rfind("--", 0) == 0;
}

} // namespace cmdline
