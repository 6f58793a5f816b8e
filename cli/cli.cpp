#include "cli.h"

#include "app/session/session.h"
#include "platform/cls_registry.h"
#include "platform/console_prompter.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"
#include "platform/text_util.h"

#include <optional>

namespace tv {

namespace {

const char* const kUsage =
    "usage: tessvane-cli [--game DIR] [--cache DIR] scan [--select all | --types LIST]\n"
    "       tessvane-cli demo DIR\n"
    "\n"
    "  scan       lists the cache as the File List shows it: ticked (1/0), name,\n"
    "             date and never-move mark, then the status text\n"
    "  demo DIR   creates a sample game folder in DIR and prints how to start the\n"
    "             window on it\n"
    "\n"
    "  --game DIR       use DIR as the game folder (the stored one is not changed)\n"
    "  --cache DIR      use DIR as the cache folder, as the \"...\" button does\n"
    "  --select all     tick every file for this call\n"
    "  --types LIST     tick only these types for this call: UT2,UTX,UMX,UAX,USX,UKX,U\n";

struct Options {
    std::string game;
    std::string cache;
    std::optional<bool> selectAll;
    std::vector<std::string> types;
};

bool applyTypes(const std::string& list, Settings& s, std::ostream& err) {
    s.setSelectOption(false, true);
    s.U = s.UAX = s.UMX = s.UT2 = s.UTX = s.USX = s.UKX = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string t = toUpper(trim(list.substr(start, comma == std::string::npos
                                                            ? std::string::npos
                                                            : comma - start)));
        if (t == "U") s.U = true;
        else if (t == "UAX") s.UAX = true;
        else if (t == "UMX") s.UMX = true;
        else if (t == "UT2") s.UT2 = true;
        else if (t == "UTX") s.UTX = true;
        else if (t == "USX") s.USX = true;
        else if (t == "UKX") s.UKX = true;
        else if (!t.empty()) {
            err << "tessvane-cli: unknown file type '" << t
                << "' (use UT2, UTX, UMX, UAX, USX, UKX or U)\n";
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// Start-up as the window does it, without a window: the shipped files, the
// game folder and the stored settings.
bool startSession(Session& session, const Options& opt, std::ostream& err, int& status) {
    if (!session.checkRequiredFiles()) {
        status = 1;
        return false;
    }
    session.gameFolderOverride = opt.game;
    if (opt.game.empty()) {
        // No folder dialog here: a missing game folder must be named instead.
        clsRegistry game(session.registry(), &session.prompter());
        useGameKey(game);
        if (game.ReadEntry("Folder", "").empty()) {
            err << "Tessvane: Unreal Tournament not found. Name the game folder with --game DIR.\n";
            status = 2;
            return false;
        }
    }
    session.readGameFolder();
    session.loadSettings();
    if (!opt.cache.empty()) session.settings.cacheDir = opt.cache;
    return true;
}

int cmdScan(const Options& opt, const std::vector<std::string>& rest, std::ostream& out,
            std::ostream& err) {
    Options o = opt;
    std::string types;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--select" && i + 1 < rest.size() && rest[i + 1] == "all") {
            o.selectAll = true;
            ++i;
        } else if (rest[i] == "--types" && i + 1 < rest.size()) {
            types = rest[++i];
        } else {
            err << "tessvane-cli: unexpected argument '" << rest[i] << "'\n" << kUsage;
            return 2;
        }
    }
    RegistryStore store;
    ConsolePrompter prompter(err, false);
    Session session(programFolder(), store, prompter);
    int status = 0;
    if (!startSession(session, o, err, status)) return status;
    if (o.selectAll) session.settings.setSelectOption(true, true);
    if (!types.empty() && !applyTypes(types, session.settings, err)) return 2;
    bool found = session.rescan();
    for (const auto& r : session.rows)
        out << (r.ticked ? '1' : '0') << '\t' << r.text << '\t' << r.date << '\t'
            << (r.neverMove ? "True" : "") << '\n';
    out << session.statusText << '\n';
    return found ? 0 : 1;
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options opt;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--game" && i + 1 < args.size()) opt.game = args[++i];
        else if (args[i] == "--cache" && i + 1 < args.size()) opt.cache = args[++i];
        else break;
    }
    if (i >= args.size() || args[i] == "--help" || args[i] == "-h") {
        (i >= args.size() ? err : out) << kUsage;
        return i >= args.size() ? 2 : 0;
    }
    std::string command = args[i];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (command == "scan") return cmdScan(opt, rest, out, err);
    if (command == "demo") {
        if (rest.size() != 1) {
            err << kUsage;
            return 2;
        }
        std::string start, error;
        if (!createDemo(rest[0], start, error)) {
            err << "tessvane-cli: " << error << '\n';
            return 1;
        }
        out << "A sample game folder was created in " << rest[0] << ".\n"
            << "Start the window on it with:\n  " << start << '\n';
        return 0;
    }
    err << "tessvane-cli: unknown command '" << command << "'\n" << kUsage;
    return 2;
}

} // namespace tv
