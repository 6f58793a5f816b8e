#include "cli.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/purge.h"
#include "ui/console_prompter.h"
#ifdef TESSVANE_HAVE_UPDATE
#include "update_loader.h"
#endif
#include "session/session.h"

#include <algorithm>
#include <optional>

namespace tv {

namespace {

// Each command's own help, in the order the usage lists them.
struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kCommands[] = {
    {"scan", "  scan [--select all | --types LIST]\n"
             "      lists the cache as the File List shows it: ticked (1/0), name, date and\n"
             "      never-move mark, then the status text\n"},
    {"run",
     "  run [--select all | --types LIST] [--only NAME]... [--to DIR | --to-structured DIR]\n"
     "      [--backup | --no-backup] [--dry-run]\n"
     "      moves the ticked files (or exactly the rows named by --only) as \"&Run\" does;\n"
     "      --to: all into one folder, --to-structured: into another folder with the\n"
     "      game's structure; --dry-run prints the moves and writes nothing at all\n"},
    {"undo", "  undo --list | undo [--yes] (--all | NEWPATH...)\n"
             "      lists the undo log, or moves files back into the cache\n"},
    {"purge", "  purge [--yes]          deletes every cache file (asks; --yes answers Yes)\n"},
    {"clean-tmp", "  clean-tmp              deletes the *.tmp files of the game folder\n"},
    {"set-purge", "  set-purge DAYS         sets the game's own purge period (0 to 3650 days)\n"},
    {"zip", "  zip [--no-preview] [--to DIR | --to-structured DIR] ARCHIVE...\n"
            "      installs map archives: one archive is previewed (map name and description)\n"
            "      and installed as \"Process Loaded ZIP\" does; several, or --no-preview, put\n"
            "      their maps straight into the Maps folder\n"},
    {"check-update",
     "  check-update           asks the maker's server for a newer version (exit status 10\n"
     "                         when there is one, 1 when the check failed)\n"},
    {"compact", "  compact                compacts the undo log\n"},
    {"empty-undo", "  empty-undo [--yes]     deletes every undo record\n"},
    {"never-move", "  never-move list | add TEXT | remove TEXT\n"},
    {"demo", "  demo DIR               creates a sample game folder in DIR and prints how to\n"
             "                         start the window on it\n"},
};

const char* const kUsageHead = "usage: tessvane-cli [--game DIR] [--cache DIR] COMMAND ...\n\n";
const char* const kUsageTail =
    "\n"
    "  --game DIR       use DIR as the game folder (the stored one is not changed)\n"
    "  --cache DIR      use DIR as the cache folder, as the \"...\" button does\n"
    "  --select all     tick every file for this call\n"
    "  --types LIST     tick only these types for this call: UT2,UTX,UMX,UAX,USX,UKX,U\n"
    "  COMMAND --help   that command's help\n"
    "Folders and archives may be named relative to the current folder; they are\n"
    "made whole paths before anything runs.\n"
    "Questions are answered No unless --yes is given; messages go to standard error.\n"
    "Exit status: 0 done; 1 nothing done (Cache.ini missing, a question answered No,\n"
    "nothing selected); 2 wrong arguments; 3 something failed: a move, copy, deletion,\n"
    "undo or Cache.ini rewrite, the undo log could not be written, or another Tessvane\n"
    "was working on the game.\n";

std::string usageText() {
    std::string text = kUsageHead;
    for (const auto& c : kCommands)
        text += c.text;
    return text + kUsageTail;
}

const CommandHelp* findCommand(const std::string& name) {
    for (const auto& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// Something the user asked for failed (see the usage text).
constexpr int kFailed = 3;
constexpr int kUsageError = 2;

// The longest purge period the game is given, ten years.
constexpr int kMaxPurgeDays = 3650;

// The arguments of one command, checked one by one before anything runs.
class ArgReader {
public:
    ArgReader(std::vector<std::string> args, std::ostream& err)
        : m_args(std::move(args)), m_err(err) {}
    bool done() const { return m_next >= m_args.size(); }
    const std::string& peek() const { return m_args[m_next]; }
    std::string take() { return m_args[m_next++]; }
    // The value of the option just taken; `what` names it in the message
    // ("--to needs a folder"). A value that looks like another option is no
    // value: "--to --backup" must not make a folder named --backup.
    bool value(const std::string& option, const char* what, std::string& out) {
        if (done() || peek().rfind("--", 0) == 0) {
            m_err << "tessvane-cli: " << option << " needs " << what << '\n';
            m_failed = true;
            return false;
        }
        out = take();
        return true;
    }
    // An argument the command does not take.
    bool unexpected(const std::string& arg) {
        m_err << "tessvane-cli: "
              << (arg.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") << arg
              << "' (tessvane-cli --help lists the commands)\n";
        m_failed = true;
        return false;
    }
    bool failed() const { return m_failed; }

private:
    std::vector<std::string> m_args;
    size_t m_next = 0;
    std::ostream& m_err;
    bool m_failed = false;
};

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

struct Command {
    Options opt;
    std::ostream& out;
    std::ostream& err;
    RegistryStore store;
    ConsolePrompter prompter;
    Session session;
    int status = 0;

    Command(const Options& o, std::ostream& os, std::ostream& es)
        : opt(o), out(os), err(es), prompter(es, false), session(programFolder(), store, prompter) {
        session.onStatusLine = [this](const std::string& l) { out << l << '\n'; };
    }
    bool start() { return startSession(session, opt, err, status); }
    // The folders a scan works out, without scanning.
    void workOutFolders() {
        session.folders = tv::workOutFolders(session.programFolder, session.gameFolder,
                                             session.settings.cacheDir);
    }
};

int cmdScan(Command& c, ArgReader& args) {
    CallSettings call;
    while (!args.done()) {
        std::string a = args.take();
        if (!call.takeSelection(a, args)) args.unexpected(a);
    }
    if (args.failed() || !call.checkTypes(c.err)) return kUsageError;
    if (!c.start()) return c.status;
    call.apply(c.session.settings, c.err);
    bool found = c.session.ScanCache();
    for (const auto& r : c.session.rows)
        c.out << (r.ticked ? '1' : '0') << '\t' << r.text << '\t' << r.date << '\t'
              << (r.neverMove ? "True" : "") << '\n';
    c.out << c.session.statusText << '\n';
    return found ? 0 : 1;
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
        auto load = c.session.loadZipArchive(archive, several);
        failed = failed || c.session.lastFailed;
        refused = refused || load == MapArchiveInstaller::Load::Refused ||
                  load == MapArchiveInstaller::Load::Empty;
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

int undoList(Command& c) {
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
    // A path named on the command line must be one the log holds: a typing
    // slip must not pass for an undo that had nothing to do.
    for (const auto& name : names) {
        if (std::none_of(records.begin(), records.end(),
                         [&](const UndoRecord& r) { return r.NewFName == name; })) {
            c.err << "tessvane-cli: " << name
                  << " has no undo record (tessvane-cli undo --list lists them)\n";
            return kUsageError;
        }
    }
    if (all) {
        for (const auto& r : records)
            names.push_back(r.NewFName);
    }
    c.workOutFolders();
    if (!c.session.confirmUndo(names)) return c.session.lastFailed ? kFailed : 1;
    bool undone = c.session.undoSelections(names);
    if (c.session.lastFailed) return kFailed;
    return undone ? 0 : 1;
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
    if (!c.session.confirmPurge()) return c.session.lastFailed ? kFailed : 1;
    bool purged = c.session.purgeCache();
    if (c.session.lastFailed) return kFailed;
    return purged ? 0 : 1;
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
    c.session.purgeDaysText = values[0];
    return c.session.SetPurgeDays() ? 0 : kFailed;
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
        return c.session.lastFailed ? kFailed : 1;
    if (name != "clean-tmp") c.out << c.session.statusText << '\n';
    return c.session.lastFailed ? kFailed : 0;
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
    auto& lines = c.session.neverMoveLines;
    if (list) {
        for (const auto& l : lines)
            c.out << l << '\n';
        return 0;
    }
    if (words[0] == "add") {
        if (!c.session.neverMoveAdd(words[1])) return 1;
    } else {
        std::vector<int> matching;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == words[1]) matching.push_back(static_cast<int>(i));
        if (matching.empty()) {
            c.err << "Tessvane: " << words[1] << " is not on the never move list\n";
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
        return 1;
    }
    out << "A sample game folder was created in " << folders[0] << ".\n"
        << "Start the window on it with:\n  " << start << '\n';
    return 0;
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
    return 1;
#endif
}

bool isHelp(const std::string& a) {
    return a == "--help" || a == "-h";
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options opt;
    ArgReader global(args, err);
    while (!global.done()) {
        const std::string& a = global.peek();
        if (a == "--game") {
            global.take();
            if (global.value("--game", "a folder", opt.game)) opt.game = wholePath(opt.game);
        } else if (a == "--cache") {
            global.take();
            if (global.value("--cache", "a folder", opt.cache)) opt.cache = wholePath(opt.cache);
        } else {
            break;
        }
        if (global.failed()) return kUsageError;
    }
    if (global.done()) {
        err << usageText();
        return kUsageError;
    }
    const std::string name = global.take();
    if (isHelp(name)) {
        out << usageText();
        return 0;
    }
    const CommandHelp* help = findCommand(name);
    if (!help) {
        err << "tessvane-cli: unknown command '" << name << "'\n" << usageText();
        return kUsageError;
    }
    std::vector<std::string> rest;
    while (!global.done())
        rest.push_back(global.take());
    // "COMMAND --help" only prints: it never runs the command.
    if (std::any_of(rest.begin(), rest.end(), isHelp)) {
        out << "usage: tessvane-cli [--game DIR] [--cache DIR] " << (help->text + 2);
        return 0;
    }
    ArgReader reader(rest, err);
    if (name == "demo") return cmdDemo(reader, out, err);
    if (name == "check-update") return cmdCheckUpdate(reader, out, err);
    Command c(opt, out, err);
    if (name == "scan") return cmdScan(c, reader);
    if (name == "run") return cmdRun(c, reader);
    if (name == "undo") return cmdUndo(c, reader);
    if (name == "purge") return cmdPurge(c, reader);
    if (name == "zip") return cmdZip(c, reader);
    if (name == "set-purge") return cmdSetPurge(c, reader);
    if (name == "never-move") return cmdNeverMove(c, reader);
    return cmdSimple(c, name, reader);
}

} // namespace tv
