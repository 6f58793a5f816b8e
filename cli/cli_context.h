#pragma once

// What tessvane-cli's commands share: the options given before the command,
// the session a command works on, the selection and destination options,
// and the command base classes the registry lists.

#include "formats/registry_store.h"
#include "store/settings.h"
#include "ui/console_prompter.h"

#include "args/command_line.h"
#include "session/session.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tv::cli {

using cmdline::ArgReader;
using cmdline::kDone;
using cmdline::kFailed;
using cmdline::kNotDone;
using cmdline::kUsageError;

inline constexpr const char* kProgram = "tessvane-cli";
inline constexpr const char* kUnexpectedHint = " (tessvane-cli --help lists the commands)";

// The options given before the command.
struct Options {
    std::string game;
    std::string cache;
    size_t gameNumber = 0; // --game N (from 1); 0: none
};

// One call of a command: the options before it and where it prints.
struct Call {
    const Options& opt;
    std::ostream& out;
    std::ostream& err;
};

// The Status lines on the standard output, one per line (a command whose
// standard output is a listing sends them to standard error).
struct PrintLines : SessionObserver {
    explicit PrintLines(std::ostream& o) : out(&o) {}
    void statusLine(const std::string& line) override { *out << line << '\n'; }
    std::ostream* out;
};

// A session for one command: questions on standard error (answered No
// unless the command says --yes), Status lines on standard output.
struct Context {
    Options opt;
    std::ostream& out;
    std::ostream& err;
    RegistryStore store;
    ConsolePrompter prompter;
    PrintLines lines{out};
    Session session;
    int status = 0;

    explicit Context(const Call& call);
    // Start-up as the window does it; false with `status` set when the
    // command cannot go on.
    bool start();
    // The folders a scan works out, without scanning.
    void workOutFolders();
    // The session's status text, escaped, on a line of its own.
    void printStatus();
    // Shows why an operation did not start; the exit status of its outcome.
    template <class Result> int finish(const Outcome<Result>& outcome) {
        if (const Refused* no = outcome.refused()) session.tell(*no);
        return exitStatus(outcome);
    }
};

// --game (a folder, or a number of the games list) and --cache, taken while
// they come; false when one is wrong (said on `err`).
bool takeGlobalOptions(ArgReader& args, Options& opt, std::ostream& err);

// The file selection and destination a command was given for this call,
// applied once the stored settings are loaded.
struct CallSettings {
    std::optional<std::string> types; // --types LIST
    bool selectAll = false;           // --select all
    std::optional<std::string> to, toStructured;
    std::optional<bool> backup;
    bool noPreview = false;

    // Options of the selection and destination; false when `a` is none of
    // them (nothing taken) or its value is missing (reader failed).
    bool takeSelection(const std::string& a, ArgReader& args);
    bool takeDestination(const std::string& a, ArgReader& args);
    bool checkTypes(std::ostream& err) const;
    void apply(Settings& s, std::ostream& err) const;
};

// Commands that take no argument but --yes where they ask.
bool takeOnlyYes(ArgReader& args, bool asks, bool& yes);
// Commands that take no argument but --json.
bool takeOnlyJson(ArgReader& args, bool& json);

// One command of tessvane-cli: its name, its help as the usage lists it
// (and "COMMAND --help" prints), and what it does with its arguments.
class Command {
public:
    Command(const char* name, const char* help) : m_name(name), m_help(help) {}
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const char* name() const { return m_name; }
    const char* help() const { return m_help; }
    virtual int execute(const Call& call, ArgReader& args) const = 0;

private:
    const char* m_name;
    const char* m_help;
};

// A command that works on the game through a session made for the call.
class GameCommand : public Command {
public:
    using Command::Command;
    int execute(const Call& call, ArgReader& args) const final {
        Context c(call);
        return run(c, args);
    }

protected:
    virtual int run(Context& c, ArgReader& args) const = 0;
};

} // namespace tv::cli
