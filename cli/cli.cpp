#include "cli.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/purge.h"
#include "ui/console_prompter.h"

#include "args/command_line.h"
#ifdef TESSVANE_HAVE_UPDATE
#include "update_loader.h"
#endif
#include "engine/package_state.h"
#include "session/session.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace tv {

namespace {

using cmdline::ArgReader;
using cmdline::kDone;
using cmdline::kFailed;
using cmdline::kNotDone;
using cmdline::kUsageError;

// Each command's own help, in the order the usage lists them.
const cmdline::Command kHelp[] = {
    {"games", "  games                  lists the installs of the game found on this machine, one\n"
              "                         per line: number, game, kind, game folder, cache folder\n"
              "                         and entries of its cache index (tab-separated); --game N\n"
              "                         works on the Nth\n"},
    {"scan", "  scan [--select all | --types LIST] [--state]\n"
             "      lists the cache as the File List shows it: ticked (1/0), name, date and\n"
             "      never-move mark (and with --state the package's state: new, installed,\n"
             "      identical, other version or damaged), then the status text\n"},
    {"run",
     "  run [--select all | --types LIST] [--only NAME]... [--to DIR | --to-structured DIR]\n"
     "      [--backup | --no-backup] [--dry-run]\n"
     "      moves the ticked files (or exactly the rows named by --only) as \"&Run\" does;\n"
     "      --to: all into one folder, --to-structured: into another folder with the\n"
     "      game's structure; --dry-run prints the moves and writes nothing at all\n"},
    {"undo", "  undo --list | undo [--yes] (--all | NEWPATH...)\n"
             "      lists the undo log (moves, then files archives installed), or moves files\n"
             "      back into the cache and takes installed files back (each only while it\n"
             "      holds the bytes that were installed)\n"},
    {"purge", "  purge [--yes]          deletes every cache file (asks; --yes answers Yes)\n"},
    {"tidy", "  tidy [--duplicates] [--stale-lines] [--orphans] [--dry-run] [--yes]\n"
             "      tidies the cache (all three without a choice): deletes cache files whose\n"
             "      bytes equal the installed file of their name, with their lines; removes\n"
             "      lines whose cache file is gone; lists cache files no line names (--yes\n"
             "      deletes them); Cache.ini is kept as cachebak.ini; --dry-run writes nothing\n"},
    {"uz2", "  uz2 unpack FILE.uz2... [--to DIR] | uz2 pack PACKAGE... --to DIR\n"
            "      unpacks redirect-server packages (beside each file, or into DIR) or packs\n"
            "      packages as NAME.uz2 into DIR; an existing file is never replaced\n"},
    {"clean-tmp", "  clean-tmp              deletes the *.tmp files of the game folder\n"},
    {"set-purge", "  set-purge DAYS         sets the game's own purge period (0 to 3650 days)\n"},
    {"zip", "  zip [--no-preview] [--to DIR | --to-structured DIR] ARCHIVE...\n"
            "      installs map archives: one archive is previewed (map name and description)\n"
            "      and installed as \"Process Loaded ZIP\" does; several, or --no-preview, put\n"
            "      their maps straight into the Maps folder. UMOD installers (.umod, .ut2mod,\n"
            "      .ut4mod) print their product, files and the manifest's other instructions\n"
            "      (never carried out), then install each file by its own folder\n"},
    {"check-update",
     "  check-update           asks the maker's server for a newer version (exit status 10\n"
     "                         when there is one, 1 when the check failed)\n"},
    {"compact", "  compact                compacts the undo log\n"},
    {"empty-undo", "  empty-undo [--yes]     deletes every undo record\n"},
    {"never-move", "  never-move list | add TEXT | remove TEXT\n"},
    {"demo", "  demo DIR               creates a sample game folder in DIR and prints how to\n"
             "                         start the window on it\n"},
};

const char* const kProgram = "tessvane-cli";
const char* const kUnexpectedHint = " (tessvane-cli --help lists the commands)";

const char* const kUsageHead = "usage: tessvane-cli [--game DIR|N] [--cache DIR] COMMAND ...\n\n";
const char* const kUsageTail =
    "\n"
    "  --game DIR       use DIR as the game folder (the stored one is not changed)\n"
    "  --game N         use the Nth install that \"tessvane-cli games\" lists\n"
    "  --cache DIR      use DIR as the cache folder, as the \"...\" button does\n"
    "  --select all     tick every file for this call\n"
    "  --types LIST     tick only these types for this call: UT2,UTX,UMX,UAX,USX,UKX,U\n"
    "  COMMAND --help   that command's help\n"
    "Folders and archives may be named relative to the current folder; they are\n"
    "made whole paths before anything runs.\n"
    "Questions are answered No unless --yes is given; messages go to standard error.\n"
    "Exit status: 0 done; 1 nothing done (Cache.ini missing, a question answered No,\n"
    "nothing selected); 2 wrong arguments; 3 something failed: a move, copy, deletion,\n"
    "undo or Cache.ini rewrite, the undo log could not be written, another Tessvane\n"
    "was working on the game, or the game is running.\n";

// The longest purge period the game is given, ten years.
constexpr int kMaxPurgeDays = 3650;

struct Options {
    std::string game;
    std::string cache;
    size_t gameNumber = 0; // --game N (from 1); 0: none
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
        status = kNotDone;
        return false;
    }
    session.gameFolderOverride = opt.game;
    if (opt.gameNumber > 0) {
        const auto found = session.findInstalls();
        if (opt.gameNumber > found.size()) {
            err << "tessvane-cli: there is no install " << opt.gameNumber << " (" << found.size()
                << " found; tessvane-cli games lists them)\n";
            status = kUsageError;
            return false;
        }
        session.installOverride = found[opt.gameNumber - 1];
    } else if (opt.game.empty()) {
        // No folder dialog here: a missing game folder must be named instead.
        clsRegistry game(session.registry(), &session.prompter());
        useGameKey(game);
        if (game.ReadEntry("Folder", "").empty()) {
            if (session.findInstalls().empty())
                err << "Tessvane: Unreal Tournament not found. Name the game folder with --game "
                       "DIR.\n";
            else
                err << "Tessvane: no game chosen yet. tessvane-cli games lists the installs "
                       "found; choose one with --game N, or name a folder with --game DIR.\n";
            status = kUsageError;
            return false;
        }
    }
    session.readGameFolder();
    session.loadSettings();
    if (!opt.cache.empty()) session.settings.cacheDir = opt.cache;
    return true;
}

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
    bool takeSelection(const std::string& a, ArgReader& args) {
        std::string v;
        if (a == "--select") {
            if (!args.value(a, "'all'", v)) return true;
            if (v != "all") args.unexpected(v);
            selectAll = true;
            return true;
        }
        if (a == "--types") {
            if (args.value(a, "a list of types", v)) types = v;
            return true;
        }
        return false;
    }
    bool takeDestination(const std::string& a, ArgReader& args) {
        std::string v;
        if (a == "--to") {
            if (args.value(a, "a folder", v)) to = wholePath(v);
            return true;
        }
        if (a == "--to-structured") {
            if (args.value(a, "a folder", v)) toStructured = wholePath(v);
            return true;
        }
        return false;
    }
    bool checkTypes(std::ostream& err) const {
        Settings scratch;
        return !types || applyTypes(*types, scratch, err);
    }
    void apply(Settings& s, std::ostream& err) const {
        if (selectAll) s.setSelectOption(true, true);
        if (types) applyTypes(*types, s, err);
        if (to) {
            s.setMoveOption(Settings::MoveMode::Dir, true);
            s.moveDirText = *to;
        }
        if (toStructured) {
            s.setMoveOption(Settings::MoveMode::Dir2, true);
            s.moveDir2Text = *toStructured;
        }
        if (backup) s.backupCache = *backup;
        if (noPreview) s.unzipNoPreview = true;
    }
};

// The Status lines on the standard output, one per line.
struct PrintLines : SessionObserver {
    explicit PrintLines(std::ostream& o) : out(o) {}
    void statusLine(const std::string& line) override { out << line << '\n'; }
    std::ostream& out;
};

struct Command {
    Options opt;
    std::ostream& out;
    std::ostream& err;
    RegistryStore store;
    ConsolePrompter prompter;
    PrintLines lines{out};
    Session session;
    int status = 0;

    Command(const Options& o, std::ostream& os, std::ostream& es)
        : opt(o), out(os), err(es), prompter(es, false), session(programFolder(), store, prompter) {
        session.setObserver(&lines);
    }
    bool start() { return startSession(session, opt, err, status); }
    // The folders a scan works out, without scanning.
    void workOutFolders() {
        session.folders =
            tv::workOutFolders(session.programFolder, session.install, session.settings.cacheDir);
    }
};

int cmdTidy(Command& c, ArgReader& args) {
    TidyOptions o;
    bool yes = false;
    while (!args.done()) {
        std::string a = args.take();
        if (a == "--duplicates")
            o.duplicates = true;
        else if (a == "--stale-lines")
            o.staleLines = true;
        else if (a == "--orphans")
            o.orphans = true;
        else if (a == "--dry-run")
            o.dryRun = true;
        else if (a == "--yes")
            yes = true;
        else
            args.unexpected(a);
    }
    if (args.failed()) return kUsageError;
    if (!o.duplicates && !o.staleLines && !o.orphans)
        o.duplicates = o.staleLines = o.orphans = true;
    o.deleteOrphans = o.orphans && yes;
    if (!c.start()) return c.status;
    const bool started = c.session.tidyCache(o);
    if (started) c.out << escapeControls(c.session.statusText) << '\n';
    if (c.session.lastFailed) return kFailed;
    return started ? kDone : kNotDone;
}

// One line per install found: what --game N takes.
int cmdGames(Command& c, ArgReader& args) {
    while (!args.done())
        args.unexpected(args.take());
    if (args.failed()) return kUsageError;
    const auto found = c.session.findInstalls();
    for (size_t i = 0; i < found.size(); ++i) {
        const GameInstall& in = found[i];
        const auto [cache, entries] = c.session.cacheOf(in);
        c.out << i + 1 << '\t' << gameName(in.game) << '\t' << kindName(in.kind) << '\t'
              << escapeControls(in.gameFolder) << '\t' << escapeControls(cache) << '\t' << entries
              << '\n';
    }
    if (found.empty()) c.err << "Tessvane: no install of UT2003 or UT2004 found.\n";
    return found.empty() ? kNotDone : kDone;
}

int cmdScan(Command& c, ArgReader& args) {
    CallSettings call;
    bool states = false;
    while (!args.done()) {
        std::string a = args.take();
        if (a == "--state")
            states = true;
        else if (!call.takeSelection(a, args))
            args.unexpected(a);
    }
    if (args.failed() || !call.checkTypes(c.err)) return kUsageError;
    if (!c.start()) return c.status;
    call.apply(c.session.settings, c.err);
    bool found = c.session.ScanCache();
    if (found && states) c.session.fillStates();
    for (const auto& r : c.session.fileList().rows()) {
        c.out << (r.ticked ? '1' : '0') << '\t' << escapeControls(r.text) << '\t' << r.date << '\t'
              << (r.neverMove ? "True" : "");
        if (states) c.out << '\t' << stateText(r.state);
        c.out << '\n';
    }
    c.out << escapeControls(c.session.statusText) << '\n';
    return found ? kDone : kNotDone;
}

int cmdRun(Command& c, ArgReader& args) {
    CallSettings call;
    std::vector<std::string> only;
    bool dryRun = false;
    while (!args.done()) {
        std::string a = args.take(), v;
        if (call.takeSelection(a, args) || call.takeDestination(a, args))
            continue;
        else if (a == "--only") {
            if (args.value(a, "a name", v)) only.push_back(v);
        } else if (a == "--backup")
            call.backup = true;
        else if (a == "--no-backup")
            call.backup = false;
        else if (a == "--dry-run")
            dryRun = true;
        else
            args.unexpected(a);
    }
    if (args.failed() || !call.checkTypes(c.err)) return kUsageError;
    // A dry run reads only: no repair, no purge period, no lock file.
    c.session.dryRun = dryRun;
    if (!c.start()) return c.status;
    call.apply(c.session.settings, c.err);
    if (!c.session.ScanCache()) return kNotDone;
    if (!only.empty()) {
        FileList& list = c.session.fileList();
        for (size_t i = 0; i < list.size(); ++i)
            list.row(i).ticked =
                std::find(only.begin(), only.end(), list.rows()[i].text) != only.end();
    }
    if (!c.session.checkRunDestination()) return kNotDone;
    bool ran = c.session.runCommand(dryRun);
    if (!dryRun) c.out << escapeControls(c.session.statusText) << '\n';
    if (c.session.lastFailed) return kFailed;
    if (!ran) return kNotDone;
    return c.session.lastRun.cacheIniFound ? kDone : kNotDone;
}

// A UMOD installer: what it holds, then its files installed.
int installUmodCli(Command& c, const std::string& archive) {
    auto package = c.session.loadUmodArchive(archive);
    if (!package) return kFailed;
    // Everything here comes from the installer: no field may steer the
    // terminal or forge a line.
    c.out << "Product: " << escapeControls(package->product) << '\n';
    if (!package->version.empty()) c.out << "Version: " << escapeControls(package->version) << '\n';
    if (!package->description.empty())
        c.out << "Description:\n" << escapeControlsKeepingLines(package->description) << '\n';
    c.out << "Files:\n";
    for (const auto& f : package->directory.files)
        c.out << "  " << escapeControls(f.path) << " (" << f.size << " bytes)\n";
    if (!package->notCarriedOut.empty()) {
        c.out << "Not carried out (do these by hand if the add-on needs them):\n";
        for (const auto& line : package->notCarriedOut)
            c.out << "  " << escapeControls(line) << '\n';
    }
    if (!c.session.installUmodArchive(*package)) return c.session.lastFailed ? kFailed : kNotDone;
    c.out << escapeControls(c.session.statusText) << '\n';
    return c.session.lastFailed ? kFailed : kDone;
}

int cmdZip(Command& c, ArgReader& args) {
    CallSettings call;
    std::vector<std::string> archives;
    while (!args.done()) {
        std::string a = args.take();
        if (a == "--no-preview")
            call.noPreview = true;
        else if (call.takeDestination(a, args))
            continue;
        else if (a.rfind("-", 0) == 0 && a.size() > 1)
            args.unexpected(a);
        else
            archives.push_back(wholePath(a));
    }
    if (args.failed()) return kUsageError;
    if (archives.empty()) {
        c.err << "tessvane-cli: zip needs an archive\n";
        return kUsageError;
    }
    if (!c.start()) return c.status;
    call.apply(c.session.settings, c.err);
    bool failed = false, refused = false;
    const bool several = archives.size() > 1;
    for (const auto& archive : archives) {
        if (isUmodName(archive)) {
            const int umod = installUmodCli(c, archive);
            failed = failed || umod == kFailed;
            refused = refused || umod == kNotDone;
            continue;
        }
        auto load = c.session.loadZipArchive(archive, several);
        failed = failed || c.session.lastFailed;
        refused = refused || load == MapArchiveInstaller::Load::Refused ||
                  load == MapArchiveInstaller::Load::Empty;
        if (load != MapArchiveInstaller::Load::Previewed) continue;
        const ArchivePreview& p = c.session.archives.preview();
        c.out << "Map Name: " << escapeControls(p.mapName) << '\n';
        // Each field of the description ends in its own line break.
        if (!p.description.empty())
            c.out << "Description:\n" << escapeControlsKeepingLines(p.description);
        if (!c.session.checkArchiveDestination()) return kNotDone;
        c.session.processLoadedZip();
        failed = failed || c.session.lastFailed;
        c.out << escapeControls(c.session.statusText) << '\n';
    }
    if (failed) return kFailed;
    return refused ? kNotDone : kDone;
}

int undoList(Command& c) {
    std::vector<UndoRecord> records;
    std::string error;
    if (!readUndoRecords(c.session.undoDatabase(), records, &error)) {
        c.err << "Tessvane: the undo log cannot be read: " << escapeControls(error) << '\n';
        return kNotDone;
    }
    // The log is a file like any other: each field escaped, the tabs kept.
    for (const auto& r : records)
        c.out << escapeControls(r.MoveDate) << '\t' << escapeControls(r.NewFName) << '\t'
              << escapeControls(r.OldFName) << '\n';
    // Files archives installed: where the cache file would be, the archive.
    for (const auto& in : c.session.installations())
        for (const auto& f : in.files)
            c.out << escapeControls(in.date) << '\t' << escapeControls(f.path) << '\t'
                  << "installed from " << escapeControls(in.archive) << '\n';
    return kDone;
}

int cmdUndo(Command& c, ArgReader& args) {
    bool list = false, all = false, yes = false;
    std::vector<std::string> names;
    while (!args.done()) {
        std::string a = args.take();
        if (a == "--list")
            list = true;
        else if (a == "--all")
            all = true;
        else if (a == "--yes")
            yes = true;
        else if (a.rfind("--", 0) == 0)
            args.unexpected(a);
        else
            names.push_back(wholePath(a));
    }
    if (list && (all || yes || !names.empty())) {
        c.err << "tessvane-cli: undo --list takes nothing else\n";
        return kUsageError;
    }
    if (args.failed()) return kUsageError;
    if (!c.start()) return c.status;
    if (list) return undoList(c);
    c.prompter.setAnswerYes(yes);
    std::vector<UndoRecord> records;
    readUndoRecords(c.session.undoDatabase(), records);
    // Files archives installed are taken back on their own.
    std::vector<std::string> installed;
    for (const auto& in : c.session.installations())
        for (const auto& f : in.files)
            installed.push_back(f.path);
    auto isInstalled = [&](const std::string& name) {
        return std::find(installed.begin(), installed.end(), name) != installed.end();
    };
    // A path named on the command line must be one the log holds: a typing
    // slip must not pass for an undo that had nothing to do.
    for (const auto& name : names) {
        if (!isInstalled(name) &&
            std::none_of(records.begin(), records.end(),
                         [&](const UndoRecord& r) { return r.NewFName == name; })) {
            c.err << "tessvane-cli: " << escapeControls(name)
                  << " has no undo record (tessvane-cli undo --list lists them)\n";
            return kUsageError;
        }
    }
    if (all) {
        for (const auto& r : records)
            names.push_back(r.NewFName);
        names.insert(names.end(), installed.begin(), installed.end());
    }
    c.workOutFolders();
    if (!c.session.confirmUndo(names)) return c.session.lastFailed ? kFailed : kNotDone;
    std::vector<std::string> moves, installs;
    for (auto& n : names)
        (isInstalled(n) ? installs : moves).push_back(n);
    bool undone = true, failed = false;
    if (!moves.empty()) {
        undone = c.session.undoSelections(moves);
        failed = c.session.lastFailed;
    }
    if (!installs.empty()) {
        undone = c.session.undoInstalledFiles(installs) && undone;
        failed = failed || c.session.lastFailed;
    }
    if (failed) return kFailed;
    return undone ? kDone : kNotDone;
}

// Commands that take no argument but --yes where they ask.
bool takeOnlyYes(ArgReader& args, bool asks, bool& yes) {
    while (!args.done()) {
        std::string a = args.take();
        if (asks && a == "--yes")
            yes = true;
        else
            args.unexpected(a);
    }
    return !args.failed();
}

int cmdPurge(Command& c, ArgReader& args) {
    bool yes = false;
    if (!takeOnlyYes(args, true, yes)) return kUsageError;
    if (!c.start()) return c.status;
    c.prompter.setAnswerYes(yes);
    c.workOutFolders();
    if (!c.session.confirmPurge()) return c.session.lastFailed ? kFailed : kNotDone;
    bool purged = c.session.purgeCache();
    if (c.session.lastFailed) return kFailed;
    return purged ? kDone : kNotDone;
}

int cmdSetPurge(Command& c, ArgReader& args) {
    std::vector<std::string> values;
    while (!args.done()) {
        std::string a = args.take();
        if (a.rfind("-", 0) == 0 && a.size() > 1 &&
            a.find_first_not_of("-0123456789") != std::string::npos)
            args.unexpected(a);
        else
            values.push_back(a);
    }
    if (args.failed()) return kUsageError;
    if (values.size() != 1) {
        c.err << "tessvane-cli: set-purge needs one number of days\n";
        return kUsageError;
    }
    if (!purgeDaysValid(values[0])) {
        c.err << "tessvane-cli: " << purgePeriodRefusal(values[0]) << '\n';
        return kUsageError;
    }
    if (!c.start()) return c.status;
    c.workOutFolders();
    c.session.housekeeping().setPurgeDaysText(values[0]);
    return c.session.SetPurgeDays() ? kDone : kFailed;
}

int cmdSimple(Command& c, const std::string& name, ArgReader& args) {
    bool yes = false;
    if (!takeOnlyYes(args, name == "empty-undo", yes)) return kUsageError;
    if (!c.start()) return c.status;
    c.prompter.setAnswerYes(yes);
    c.workOutFolders();
    if (name == "clean-tmp")
        c.session.deleteTempFiles();
    else if (name == "compact")
        c.session.compactUndoLog();
    else if (name == "empty-undo" &&
             (!c.session.confirmEmptyUndoLog() || !c.session.emptyUndoLog()))
        return c.session.lastFailed ? kFailed : kNotDone;
    if (name != "clean-tmp") c.out << escapeControls(c.session.statusText) << '\n';
    return c.session.lastFailed ? kFailed : kDone;
}

int cmdNeverMove(Command& c, ArgReader& args) {
    std::vector<std::string> words;
    while (!args.done())
        words.push_back(args.take());
    const bool list = words.size() == 1 && words[0] == "list";
    const bool edit = words.size() == 2 && (words[0] == "add" || words[0] == "remove");
    if (!list && !edit) {
        c.err << "tessvane-cli: never-move takes list, add TEXT or remove TEXT\n";
        return kUsageError;
    }
    if (!c.start()) return c.status;
    c.session.LoadNeverMoveList();
    const auto& lines = c.session.neverMoveEdits().lines();
    if (list) {
        for (const auto& l : lines)
            c.out << escapeControls(l) << '\n';
        return kDone;
    }
    if (words[0] == "add") {
        if (!c.session.neverMoveEdits().add(words[1])) return kNotDone;
    } else {
        std::vector<int> matching;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == words[1]) matching.push_back(static_cast<int>(i));
        if (matching.empty()) {
            c.err << "Tessvane: " << escapeControls(words[1]) << " is not on the never move list\n";
            return kNotDone;
        }
        if (matching.size() == 1)
            c.session.neverMoveEdits().remove(matching, matching[0]);
        else
            c.session.neverMoveEdits().remove(matching, -1);
    }
    if (c.session.neverMoveSave()) return kDone;
    return c.session.lastFailed ? kFailed : kNotDone;
}

int cmdDemo(ArgReader& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> folders;
    while (!args.done()) {
        std::string a = args.take();
        if (a.rfind("-", 0) == 0 && a.size() > 1)
            args.unexpected(a);
        else
            folders.push_back(a);
    }
    if (args.failed()) return kUsageError;
    if (folders.size() != 1) {
        err << "tessvane-cli: demo needs one folder\n";
        return kUsageError;
    }
    std::string start, error;
    if (!createDemo(folders[0], start, error)) {
        err << "tessvane-cli: " << error << '\n';
        return kNotDone;
    }
    out << "A sample game folder was created in " << folders[0] << ".\n"
        << "Start the window on it with:\n  " << start << '\n';
    return kDone;
}

int cmdCheckUpdate(ArgReader& args, std::ostream& out, std::ostream& err) {
    while (!args.done())
        args.unexpected(args.take());
    if (args.failed()) return kUsageError;
#ifdef TESSVANE_HAVE_UPDATE
    return runUpdateModule(out, err);
#else
    (void)out;
    err << "tessvane-cli: this build has no update check (built without Quillet)\n";
    return kNotDone;
#endif
}

// Each command with the function that carries it out.
struct Call {
    const Options& opt;
    std::ostream& out;
    std::ostream& err;
};
using Handler = int (*)(const Call&, ArgReader&);

template <int (*F)(Command&, ArgReader&)> int withSession(const Call& call, ArgReader& args) {
    Command c(call.opt, call.out, call.err);
    return F(c, args);
}

template <const char* Name> int simple(const Call& call, ArgReader& args) {
    Command c(call.opt, call.out, call.err);
    return cmdSimple(c, Name, args);
}

constexpr char kCleanTmp[] = "clean-tmp";
constexpr char kCompact[] = "compact";
constexpr char kEmptyUndo[] = "empty-undo";

const std::pair<const char*, Handler> kHandlers[] = {
    {"games", withSession<cmdGames>},
    {"scan", withSession<cmdScan>},
    {"run", withSession<cmdRun>},
    {"undo", withSession<cmdUndo>},
    {"purge", withSession<cmdPurge>},
    {"tidy", withSession<cmdTidy>},
    {"uz2",
     [](const Call& c, ArgReader& args) {
         const std::string verb = args.done() ? std::string() : args.take();
         return runUz2Command(verb, args, c.out, c.err);
     }},
    {kCleanTmp, simple<kCleanTmp>},
    {"set-purge", withSession<cmdSetPurge>},
    {"zip", withSession<cmdZip>},
    {"check-update",
     [](const Call& c, ArgReader& args) { return cmdCheckUpdate(args, c.out, c.err); }},
    {kCompact, simple<kCompact>},
    {kEmptyUndo, simple<kEmptyUndo>},
    {"never-move", withSession<cmdNeverMove>},
    {"demo", [](const Call& c, ArgReader& args) { return cmdDemo(args, c.out, c.err); }},
};

const cmdline::CommandTable& commandTable() {
    static const cmdline::CommandTable table(kProgram, kUsageHead,
                                             {std::begin(kHelp), std::end(kHelp)}, kUsageTail);
    return table;
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const cmdline::CommandTable& table = commandTable();
    Options opt;
    ArgReader global(kProgram, args, err, kUnexpectedHint);
    while (!global.done() && (global.peek() == "--game" || global.peek() == "--cache")) {
        const std::string option = global.take();
        std::string& folder = option == "--game" ? opt.game : opt.cache;
        if (!global.value(option, "a folder", folder)) return kUsageError;
        // A plain number is a place in the games list; a folder named so is ./N.
        if (option == "--game" && !folder.empty() &&
            folder.find_first_not_of("0123456789") == std::string::npos) {
            opt.gameNumber = folder.size() > 6 ? SIZE_MAX : std::stoul(folder);
            folder.clear();
            if (opt.gameNumber == 0) {
                err << "tessvane-cli: --game numbers start at 1\n";
                return kUsageError;
            }
            continue;
        }
        folder = wholePath(folder);
    }
    if (global.done()) {
        err << table.usage();
        return kUsageError;
    }
    const std::string name = global.take();
    if (name == "--help" || name == "-h") {
        out << table.usage();
        return cmdline::kDone;
    }
    const cmdline::Command* help = table.find(name);
    auto handler = std::find_if(std::begin(kHandlers), std::end(kHandlers),
                                [&](const auto& h) { return name == h.first; });
    if (!help || handler == std::end(kHandlers)) {
        err << kProgram << ": unknown command '" << name << "'\n" << table.usage();
        return kUsageError;
    }
    // "COMMAND --help" only prints: it never runs the command.
    const std::vector<std::string> rest = global.rest();
    if (cmdline::asksForHelp(rest)) {
        out << "usage: tessvane-cli [--game DIR|N] [--cache DIR] " << help->help.substr(2);
        return cmdline::kDone;
    }
    ArgReader reader(kProgram, rest, err, kUnexpectedHint);
    return handler->second(Call{opt, out, err}, reader);
}

} // namespace tv
