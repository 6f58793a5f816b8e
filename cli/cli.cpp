#include "cli.h"

#include "platform/cls_registry.h"
#include "platform/console_prompter.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"
#include "platform/text_util.h"
#ifdef TESSVANE_HAVE_UPDATE
#include "update/web_pages.h"
#endif
#include "session/session.h"

#include <algorithm>
#include <optional>

namespace tv {

namespace {

const char* const kUsage =
    "usage: tessvane-cli [--game DIR] [--cache DIR] COMMAND ...\n"
    "\n"
    "  scan [--select all | --types LIST]\n"
    "      lists the cache as the File List shows it: ticked (1/0), name, date and\n"
    "      never-move mark, then the status text\n"
    "  run [--select all | --types LIST] [--only NAME]... [--to DIR | --to-structured DIR]\n"
    "      [--backup | --no-backup] [--dry-run]\n"
    "      moves the ticked files (or exactly the rows named by --only) as \"&Run\" does;\n"
    "      --to: all into one folder, --to-structured: into another folder with the\n"
    "      game's structure; --dry-run prints the moves and touches nothing\n"
    "  undo --list | undo [--yes] (--all | NEWPATH...)\n"
    "      lists the undo log, or moves files back into the cache\n"
    "  purge [--yes]          deletes every cache file (asks; --yes answers Yes)\n"
    "  clean-tmp              deletes the *.tmp files of the game folder\n"
    "  set-purge DAYS         sets the game's own purge period\n"
    "  zip [--no-preview] [--to DIR | --to-structured DIR] ARCHIVE...\n"
    "      installs map archives: one archive is previewed (map name and description)\n"
    "      and installed as \"Process Loaded ZIP\" does; several, or --no-preview, put\n"
    "      their maps straight into the Maps folder\n"
    "  check-update           asks the maker's server for a newer version (exit status 10\n"
    "                         when there is one, 1 when the check failed)\n"
    "  compact                compacts the undo log\n"
    "  empty-undo [--yes]     deletes every undo record\n"
    "  never-move list | add TEXT | remove TEXT\n"
    "  demo DIR               creates a sample game folder in DIR and prints how to\n"
    "                         start the window on it\n"
    "\n"
    "  --game DIR       use DIR as the game folder (the stored one is not changed)\n"
    "  --cache DIR      use DIR as the cache folder, as the \"...\" button does\n"
    "  --select all     tick every file for this call\n"
    "  --types LIST     tick only these types for this call: UT2,UTX,UMX,UAX,USX,UKX,U\n"
    "Questions are answered No unless --yes is given; messages go to standard error.\n"
    "Exit status: 0 done; 1 nothing done (Cache.ini missing, a question answered No,\n"
    "nothing selected); 2 wrong arguments; 3 something failed: a move, copy, deletion,\n"
    "undo or Cache.ini rewrite, the undo log could not be written, or another Tessvane\n"
    "was working on the game.\n";

// Something the user asked for failed (see the usage text).
constexpr int kFailed = 3;

struct Options {
    std::string game;
    std::string cache;
};

bool applyTypes(const std::string& list, Settings& s, std::ostream& err) {
    s.setSelectOption(false, true);
    s.U = s.UAX = s.UMX = s.UT2 = s.UTX = s.USX = s.UKX = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string t = toUpper(trim(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (t == "U")
            s.U = true;
        else if (t == "UAX")
            s.UAX = true;
        else if (t == "UMX")
            s.UMX = true;
        else if (t == "UT2")
            s.UT2 = true;
        else if (t == "UTX")
            s.UTX = true;
        else if (t == "USX")
            s.USX = true;
        else if (t == "UKX")
            s.UKX = true;
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

// The arguments a command did not take, for the error message.
int unexpected(const std::string& arg, std::ostream& err) {
    err << "tessvane-cli: unexpected argument '" << arg << "'\n" << kUsage;
    return 2;
}

struct Command {
    Options opt;
    std::vector<std::string> rest;
    std::ostream& out;
    std::ostream& err;
    RegistryStore store;
    ConsolePrompter prompter;
    Session session;
    int status = 0;

    Command(const Options& o, std::vector<std::string> r, std::ostream& os, std::ostream& es)
        : opt(o), rest(std::move(r)), out(os), err(es), prompter(es, false),
          session(programFolder(), store, prompter) {
        session.onStatusLine = [this](const std::string& l) { out << l << '\n'; };
    }
    bool start() { return startSession(session, opt, err, status); }
    // The folders a scan works out, without scanning.
    void workOutFolders() {
        session.folders = tv::workOutFolders(session.programFolder, session.gameFolder,
                                             session.settings.cacheDir);
    }
    bool takeFlag(const char* flag) {
        auto it = std::find(rest.begin(), rest.end(), flag);
        if (it == rest.end()) return false;
        rest.erase(it);
        return true;
    }
};

// --select all / --types LIST for this call only.
bool takeSelection(Command& c) {
    std::vector<std::string> left;
    for (size_t i = 0; i < c.rest.size(); ++i) {
        if (c.rest[i] == "--select" && i + 1 < c.rest.size() && c.rest[i + 1] == "all") {
            c.session.settings.setSelectOption(true, true);
            ++i;
        } else if (c.rest[i] == "--types" && i + 1 < c.rest.size()) {
            if (!applyTypes(c.rest[++i], c.session.settings, c.err)) {
                c.status = 2;
                return false;
            }
        } else {
            left.push_back(c.rest[i]);
        }
    }
    c.rest = left;
    return true;
}

// --to DIR / --to-structured DIR for this call only; false for an argument
// that is neither.
bool takeDestination(Command& c, size_t& i) {
    Settings& s = c.session.settings;
    const std::string& a = c.rest[i];
    if (i + 1 >= c.rest.size()) return false;
    if (a == "--to") {
        s.setMoveOption(Settings::MoveMode::Dir, true);
        s.moveDirText = c.rest[++i];
        return true;
    }
    if (a == "--to-structured") {
        s.setMoveOption(Settings::MoveMode::Dir2, true);
        s.moveDir2Text = c.rest[++i];
        return true;
    }
    return false;
}

int cmdScan(Command& c) {
    if (!c.start()) return c.status;
    if (!takeSelection(c)) return c.status;
    if (!c.rest.empty()) return unexpected(c.rest[0], c.err);
    bool found = c.session.ScanCache();
    for (const auto& r : c.session.rows)
        c.out << (r.ticked ? '1' : '0') << '\t' << r.text << '\t' << r.date << '\t'
              << (r.neverMove ? "True" : "") << '\n';
    c.out << c.session.statusText << '\n';
    return found ? 0 : 1;
}

int cmdRun(Command& c) {
    if (!c.start()) return c.status;
    if (!takeSelection(c)) return c.status;
    Settings& s = c.session.settings;
    std::vector<std::string> only;
    bool dryRun = false;
    for (size_t i = 0; i < c.rest.size(); ++i) {
        const std::string& a = c.rest[i];
        bool hasValue = i + 1 < c.rest.size();
        if (a == "--only" && hasValue)
            only.push_back(c.rest[++i]);
        else if (takeDestination(c, i))
            continue;
        else if (a == "--backup")
            s.backupCache = true;
        else if (a == "--no-backup")
            s.backupCache = false;
        else if (a == "--dry-run")
            dryRun = true;
        else
            return unexpected(a, c.err);
    }
    if (!c.session.ScanCache()) return 1;
    if (!only.empty()) {
        for (auto& r : c.session.rows)
            r.ticked = std::find(only.begin(), only.end(), r.text) != only.end();
    }
    if (!c.session.checkRunDestination()) return 1;
    bool ran = c.session.runCommand(dryRun);
    if (!dryRun) c.out << c.session.statusText << '\n';
    if (c.session.lastFailed) return kFailed;
    if (!ran) return 1;
    return c.session.lastRun.cacheIniFound ? 0 : 1;
}

int cmdZip(Command& c) {
    if (!c.start()) return c.status;
    std::vector<std::string> archives;
    for (size_t i = 0; i < c.rest.size(); ++i) {
        const std::string& a = c.rest[i];
        if (a == "--no-preview")
            c.session.settings.unzipNoPreview = true;
        else if (takeDestination(c, i))
            continue;
        else if (a.rfind("--", 0) == 0)
            return unexpected(a, c.err);
        else
            archives.push_back(a);
    }
    if (archives.empty()) {
        c.err << kUsage;
        return 2;
    }
    bool failed = false, refused = false;
    const bool several = archives.size() > 1;
    for (const auto& archive : archives) {
        auto load = c.session.loadZipArchive(archive, several);
        failed = failed || c.session.lastFailed;
        refused = refused || load == MapArchiveInstaller::Load::Refused;
        if (load != MapArchiveInstaller::Load::Previewed) continue;
        const ArchivePreview& p = c.session.archives.preview();
        c.out << "Map Name: " << p.mapName << '\n';
        if (!p.description.empty()) c.out << "Description:\n" << p.description;
        if (!c.session.checkArchiveDestination()) return 1;
        c.session.processLoadedZip();
        failed = failed || c.session.lastFailed;
        c.out << c.session.statusText << '\n';
    }
    if (failed) return kFailed;
    return refused ? 1 : 0;
}

int cmdUndo(Command& c) {
    if (!c.start()) return c.status;
    if (c.takeFlag("--list")) {
        if (!c.rest.empty()) return unexpected(c.rest[0], c.err);
        std::vector<UndoRecord> records;
        std::string error;
        if (!readUndoRecords(c.session.undoDatabase(), records, &error)) {
            c.err << "Tessvane: the undo log cannot be read: " << error << '\n';
            return 1;
        }
        for (const auto& r : records)
            c.out << r.MoveDate << '\t' << r.NewFName << '\t' << r.OldFName << '\n';
        return 0;
    }
    c.prompter.setAnswerYes(c.takeFlag("--yes"));
    std::vector<std::string> names;
    if (c.takeFlag("--all")) {
        std::vector<UndoRecord> records;
        readUndoRecords(c.session.undoDatabase(), records);
        for (const auto& r : records)
            names.push_back(r.NewFName);
    }
    for (const auto& a : c.rest) {
        if (a.rfind("--", 0) == 0) return unexpected(a, c.err);
        names.push_back(a);
    }
    c.workOutFolders();
    if (!c.session.confirmUndo(names)) return c.session.lastFailed ? kFailed : 1;
    bool undone = c.session.undoSelections(names);
    if (c.session.lastFailed) return kFailed;
    return undone ? 0 : 1;
}

int cmdPurge(Command& c) {
    if (!c.start()) return c.status;
    c.prompter.setAnswerYes(c.takeFlag("--yes"));
    if (!c.rest.empty()) return unexpected(c.rest[0], c.err);
    c.workOutFolders();
    if (!c.session.confirmPurge()) return c.session.lastFailed ? kFailed : 1;
    bool purged = c.session.purgeCache();
    if (c.session.lastFailed) return kFailed;
    return purged ? 0 : 1;
}

int cmdSimple(Command& c, const std::string& name) {
    if (!c.start()) return c.status;
    if (name == "set-purge") {
        if (c.rest.size() != 1) return unexpected(c.rest.empty() ? "" : c.rest[1], c.err);
        c.workOutFolders();
        c.session.purgeDaysText = c.rest[0];
        c.session.SetPurgeDays();
        return 0;
    }
    if (name == "empty-undo") c.prompter.setAnswerYes(c.takeFlag("--yes"));
    if (!c.rest.empty()) return unexpected(c.rest[0], c.err);
    c.workOutFolders();
    if (name == "clean-tmp")
        c.session.deleteTempFiles();
    else if (name == "compact")
        c.session.compactUndoLog();
    else if (name == "empty-undo" &&
             (!c.session.confirmEmptyUndoLog() || !c.session.emptyUndoLog()))
        return c.session.lastFailed ? kFailed : 1;
    if (name != "clean-tmp") c.out << c.session.statusText << '\n';
    return c.session.lastFailed ? kFailed : 0;
}

int cmdNeverMove(Command& c) {
    if (!c.start()) return c.status;
    c.session.LoadNeverMoveList();
    auto& lines = c.session.neverMoveLines;
    if (c.rest.size() == 1 && c.rest[0] == "list") {
        for (const auto& l : lines)
            c.out << l << '\n';
        return 0;
    }
    if (c.rest.size() != 2 || (c.rest[0] != "add" && c.rest[0] != "remove")) {
        c.err << kUsage;
        return 2;
    }
    if (c.rest[0] == "add") {
        if (!c.session.neverMoveAdd(c.rest[1])) return 1;
    } else {
        std::vector<int> matching;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == c.rest[1]) matching.push_back(static_cast<int>(i));
        if (matching.empty()) {
            c.err << "Tessvane: " << c.rest[1] << " is not on the never move list\n";
            return 1;
        }
        if (matching.size() == 1)
            c.session.neverMoveRemove(matching, matching[0]);
        else
            c.session.neverMoveRemove(matching, -1);
    }
    if (c.session.neverMoveSave()) return 0;
    return c.session.lastFailed ? kFailed : 1;
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options opt;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--game" && i + 1 < args.size())
            opt.game = args[++i];
        else if (args[i] == "--cache" && i + 1 < args.size())
            opt.cache = args[++i];
        else
            break;
    }
    if (i >= args.size() || args[i] == "--help" || args[i] == "-h") {
        (i >= args.size() ? err : out) << kUsage;
        return i >= args.size() ? 2 : 0;
    }
    const std::string& name = args[i];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (name == "demo") {
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
    if (name == "check-update") {
        if (!rest.empty()) return unexpected(rest[0], err);
#ifdef TESSVANE_HAVE_UPDATE
        return checkUpdateCommand(out, err);
#else
        err << "tessvane-cli: this build has no update check (built without Quillet)\n";
        return 1;
#endif
    }
    Command c(opt, rest, out, err);
    if (name == "scan") return cmdScan(c);
    if (name == "run") return cmdRun(c);
    if (name == "undo") return cmdUndo(c);
    if (name == "purge") return cmdPurge(c);
    if (name == "zip") return cmdZip(c);
    if (name == "clean-tmp" || name == "set-purge" || name == "compact" || name == "empty-undo")
        return cmdSimple(c, name);
    if (name == "never-move") return cmdNeverMove(c);
    err << "tessvane-cli: unknown command '" << name << "'\n" << kUsage;
    return 2;
}

} // namespace tv
