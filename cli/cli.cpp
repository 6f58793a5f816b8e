#include "cli.h"

#include "commands.h"
#include "completions.h"

#include "platform/text_io.h"

#include <algorithm>
#include <cstdint>

namespace tv {

namespace {

using cli::ArgReader;
using cli::kProgram;
using cli::kUnexpectedHint;
using cmdline::kUsageError;

// Every command, in the order the usage lists them: the help and the
// dispatch both read this list, so neither can miss a command.
const std::vector<const cli::Command*>& commands() {
    static const std::vector<const cli::Command*> all = {
        &cli::commandGames(),    &cli::commandScan(),      &cli::commandRun(),
        &cli::commandUndo(),     &cli::commandPurge(),     &cli::commandTidy(),
        &cli::commandNeeds(),    &cli::commandCheck(),     &cli::commandInfo(),
        &cli::commandLibrary(),  &cli::commandRemove(),    &cli::commandPicture(),
        &cli::commandWatch(),    &cli::commandUz2(),       &cli::commandCleanTmp(),
        &cli::commandSetPurge(), &cli::commandZip(),       &cli::commandCheckUpdate(),
        &cli::commandCompact(),  &cli::commandEmptyUndo(), &cli::commandNeverMove(),
        &cli::commandDemo(),
    };
    return all;
}

const char* const kUsageHead = "usage: tessvane-cli [--game DIR|N] [--cache DIR] COMMAND ...\n\n";
const char* const kUsageTail =
    "\n"
    "  --game DIR       use DIR as the game folder (the stored one is not changed)\n"
    "  --game N         use the Nth install that \"tessvane-cli games\" lists\n"
    "  --cache DIR      use DIR as the cache folder, as the \"...\" button does\n"
    "  --select all     tick every file for this call\n"
    "  --types LIST     tick only these types for this call: UT2,UTX,UMX,UAX,USX,UKX,U\n"
    "  COMMAND --help   that command's help\n"
    "  --version        the version, on one line\n"
    "Folders and archives may be named relative to the current folder; they are\n"
    "made whole paths before anything runs.\n"
    "Questions are answered No unless --yes is given; messages go to standard error.\n"
    "Exit status: 0 done; 1 nothing done (Cache.ini missing, a question answered No,\n"
    "nothing selected); 2 wrong arguments; 3 something failed: a move, copy, deletion,\n"
    "undo or Cache.ini rewrite, the undo log could not be written, another Tessvane\n"
    "was working on the game, or the game is running; 4 from needs and check when a\n"
    "package is missing; 10 from check-update when a newer version exists.\n";

const cmdline::CommandTable& commandTable() {
    static const cmdline::CommandTable table = [] {
        std::vector<cmdline::Command> help;
        for (const cli::Command* c : commands())
            help.push_back({c->name(), c->help()});
        return cmdline::CommandTable(kProgram, kUsageHead, std::move(help), kUsageTail);
    }();
    return table;
}

const cli::Command* findCommand(const std::string& name) {
    auto it = std::find_if(commands().begin(), commands().end(),
                           [&](const cli::Command* c) { return name == c->name(); });
    return it == commands().end() ? nullptr : *it;
}

} // namespace

namespace cli {

bool takeGlobalOptions(ArgReader& global, Options& opt, std::ostream& err) {
    while (!global.done() && (global.peek() == "--game" || global.peek() == "--cache")) {
        const std::string option = global.take();
        std::string& folder = option == "--game" ? opt.game : opt.cache;
        if (!global.value(option, "a folder", folder)) return false;
        // A plain number is a place in the games list; a folder named so is ./N.
        if (option == "--game" && !folder.empty() &&
            folder.find_first_not_of("0123456789") == std::string::npos) {
            opt.gameNumber = folder.size() > 6 ? SIZE_MAX : std::stoul(folder);
            folder.clear();
            if (opt.gameNumber == 0) {
                err << "tessvane-cli: --game numbers start at 1\n";
                return false;
            }
            continue;
        }
        folder = wholePath(folder);
    }
    return true;
}

} // namespace cli

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const cmdline::CommandTable& table = commandTable();
    cli::Options opt;
    ArgReader global(kProgram, args, err, kUnexpectedHint);
    if (!cli::takeGlobalOptions(global, opt, err)) return kUsageError;
    if (global.done()) {
        err << table.usage();
        return kUsageError;
    }
    const std::string name = global.take();
    if (name == "--completion" && !global.done()) {
        const std::string shell = global.take();
        if (global.done() && (shell == "bash" || shell == "fish" || shell == "zsh")) {
            out << (shell == "bash"   ? cli::bashCompletion(commands())
                    : shell == "fish" ? cli::fishCompletion(commands())
                                      : cli::zshCompletion(commands()));
            return cmdline::kDone;
        }
        err << kProgram << ": --completion takes bash, fish or zsh\n";
        return kUsageError;
    }
    if (name == "--version") {
        out << cmdline::versionLine(kProgram) << '\n';
        return cmdline::kDone;
    }
    if (name == "--help" || name == "-h") {
        out << table.usage();
        return cmdline::kDone;
    }
    const cli::Command* command = findCommand(name);
    if (!command) {
        err << kProgram << ": unknown command '" << name << "'\n" << table.usage();
        return kUsageError;
    }
    // "COMMAND --help" only prints: it never runs the command.
    const std::vector<std::string> rest = global.rest();
    if (cmdline::asksForHelp(rest)) {
        out << "usage: tessvane-cli [--game DIR|N] [--cache DIR] "
            << std::string(command->help()).substr(2);
        return cmdline::kDone;
    }
    ArgReader reader(kProgram, rest, err, kUnexpectedHint);
    return command->execute(cli::Call{opt, out, err}, reader);
}

} // namespace tv
