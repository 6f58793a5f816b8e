// The run and what goes with it: the destination, the undo log and undoing moves.
#include "session.h"
#include "session_internal.h"

#include "engine/backup.h"
#include "engine/undo_moves.h"
#include "platform/cfile.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "store/undo_log.h"
#include "ui/prompter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tv {

// ---- the run --------------------------------------------------------------------------

bool Session::checkRunDestination() {
    // With no option chosen (a stored state) the run uses the structured
    // folder, so that folder is checked too: an empty one would send the
    // files into whatever the current folder is.
    return checkDestination(runOptions(m_settings).mode);
}

bool Session::checkArchiveDestination() {
    return checkDestination(archiveOptions(m_settings).mode);
}

bool Session::checkDestination(RunOptions::Mode mode) {
    // A trailing separator goes from both folder boxes.
    for (std::string* box : {&m_settings.moveDirText, &m_settings.moveDir2Text})
        if (box->size() > 1 && box->back() == '/') box->pop_back();
    const std::optional<Refused> no = destinationRefusal(mode);
    if (no) tell(*no);
    return !no;
}

std::optional<Refused> Session::destinationRefusal(RunOptions::Mode mode) const {
    const std::string& folder = mode == RunOptions::Mode::Dir    ? m_settings.moveDirText
                                : mode == RunOptions::Mode::Dir2 ? m_settings.moveDir2Text
                                                                 : std::string();
    if (mode == RunOptions::Mode::Norm) return std::nullopt;
    if (folder.size() < 2)
        return Refused{"You must select a destination folder", RefusalKind::Invalid};
    // A relative folder would land wherever the program was started from,
    // and its undo records would name a different place from elsewhere.
    if (folder.front() != '/')
        return Refused{"\"" + folder +
                           "\" is not a full path. A full path is needed (one "
                           "that starts with /), for example /home/you/ut-files.",
                       RefusalKind::Invalid};
    return std::nullopt;
}

RunOptions Session::runOptions(const Settings& settings) {
    RunOptions o;
    o.mode = settings.moveNorm  ? RunOptions::Mode::Norm
             : settings.moveDir ? RunOptions::Mode::Dir
                                : RunOptions::Mode::Dir2;
    // A trailing separator goes from both folder boxes.
    auto trimmed = [](std::string t) {
        if (!t.empty() && t.back() == '/') t.pop_back();
        return t;
    };
    o.moveDir = trimmed(settings.moveDirText);
    o.moveDir2 = trimmed(settings.moveDir2Text);
    return o;
}

RunOptions Session::archiveOptions(const Settings& settings) {
    RunOptions o = runOptions(settings);
    // No option chosen: the game's own folders.
    if (!settings.moveNorm && !settings.moveDir && !settings.moveDir2)
        o.mode = RunOptions::Mode::Norm;
    return o;
}

RunRequest Session::runRequest() const {
    return {m_fileList.selectedNames(), m_fileList.scanTable(), runOptions(m_settings),
            m_settings.backupCache, false};
}

RunRequest Session::runRequest(const std::vector<std::string>& names) const {
    RunRequest request = runRequest();
    request.names.clear();
    // Named rows move whatever their ticks and states; never-move rows stay.
    for (const FileRow& r : m_fileList.rows())
        if (!r.neverMove && std::find(names.begin(), names.end(), r.text) != names.end())
            request.names.insert(r.text);
    return request;
}

bool Session::undoRecords(std::vector<UndoRecord>& out, std::string* error) const {
    return readUndoRecords(undoDatabase(), out, error);
}

std::string Session::undoDatabase() const {
    return undoDatabasePath(m_programFolder);
}

std::optional<Refused> openUndoForWriting(UndoLog& undo, const std::string& database,
                                          const std::string& nothingDone) {
    if (!undo.open(database))
        return Refused{"The undo log " + database + " cannot be opened: " + undo.lastError() +
                           "\n\n" + nothingDone,
                       RefusalKind::Unavailable};
    if (!undo.beginWrite())
        return Refused{"The undo log " + database + " " + undo.lastError() + ".\n\n" + nothingDone,
                       RefusalKind::Unavailable};
    return std::nullopt;
}

std::optional<Refused> prepareDestinationFolders(const RunOptions& options, const WorkSink& sink,
                                                 const std::string& nothingDone) {
    std::string error;
    bool ok = true;
    if (options.mode == RunOptions::Mode::Dir)
        ok = makeFolder(options.moveDir, &error);
    else if (options.mode == RunOptions::Mode::Dir2)
        ok = makeFolder(options.moveDir2, &error);
    if (ok && options.mode == RunOptions::Mode::Dir2) {
        for (const char* sub :
             {"Maps", "Music", "Sounds", "System", "Textures", "StaticMeshes", "Animations"}) {
            if (lookupInFolder(options.moveDir2, sub)) continue;
            const std::string folder = joinPath(options.moveDir2, sub);
            if (!makeFolder(folder, &error)) {
                ok = false;
                break;
            }
            sink.status("Created folder " + folder);
        }
    }
    if (!ok) return Refused{error + "\n\n" + nothingDone, RefusalKind::Unavailable};
    return std::nullopt;
}

namespace {

// Where a run's body reports: the engine's sink, and the status bar.
struct RunSink {
    WorkSink work;
    std::function<void(const std::string&)> statusText;
};

// The backup a run makes first; false when it was stopped (nothing moves).
bool backUpBeforeTheRun(const OperationWork& work, const RunSink& sink, RunResult& result) {
    const std::string backing = "Backing up all cache files first";
    sink.statusText(backing);
    WorkSink backup = sink.work;
    // Said a few times a second: one word per file would flood the window,
    // which would then show (and hear Stop) long after the work.
    auto said = std::chrono::steady_clock::time_point{};
    backup.progress = [&](size_t done, size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done != total && now - said < std::chrono::milliseconds(100)) return;
        said = now;
        sink.statusText(backing + ": " + std::to_string(done) + " of " + std::to_string(total));
        sink.work.reportProgress(done, total);
    };
    const BackupOutcome outcome = BackupCacheFiles(work.folders.cacheFolder, backup);
    if (outcome == BackupOutcome::Stopped) {
        result.stopped = true;
        const std::string stopped =
            "Stopped during the backup; no file was moved and the backups are as they were";
        sink.work.status(stopped);
        sink.statusText(stopped);
        return false;
    }
    result.backupFailed = outcome == BackupOutcome::Failed;
    // The backup is done: the status bar says what happens now.
    sink.statusText("Processing files...");
    return true;
}

// The run on what it was given and nothing else.
Outcome<RunResult> runBody(const OperationWork& work, const RunRequest& request,
                           const std::string& programFolder, const std::string& undoDatabase,
                           const RunSink& sink) {
    sink.statusText("Processing files...");
    RunResult backedUp;
    UndoLog undo;
    if (!request.dryRun) {
        const std::string nothingDone = "The run was not started; no file was moved.";
        // The undo log is locked for writing before anything is touched.
        if (auto no = openUndoForWriting(undo, undoDatabase, nothingDone)) return *no;
        if (auto no = prepareDestinationFolders(request.options, sink.work, nothingDone))
            return *no;
        if (request.backup && !backUpBeforeTheRun(work, sink, backedUp)) return backedUp;
    }
    RunOptions options = request.options;
    options.dryRun = request.dryRun;
    options.moveDate = shortDate(work.today);
    RunResult result = RunCache(work.folders, request.names, request.table, options,
                                request.dryRun ? nullptr : &undo, programFolder, sink.work);
    result.backupFailed = backedUp.backupFailed;
    return result;
}

} // namespace

Outcome<RunResult> Session::run(const RunRequest& request) {
    if (std::optional<Refused> no = destinationRefusal(request.options.mode)) return *no;
    const RunSink sink{workSink(), [this](const std::string& t) { setStatusText(t); }};
    // A dry run reads only: no lock, the game may run.
    Outcome<RunResult> outcome = m_runner.run<RunResult>(
        request.dryRun ? OperationNeeds::readsOnly() : OperationNeeds{},
        [this] { return snapshot(); },
        [&](const OperationWork& work) {
            m_observer->cacheFolderLabel("Cache Directory = " + work.folders.cacheFolder);
            Outcome<RunResult> done = runBody(work, request, m_programFolder, undoDatabase(), sink);
            if (done.done()) afterRun(request, *done.result());
            return done;
        });
    return outcome;
}

void Session::afterRun(const RunRequest& request, const RunResult& result) {
    if (!result.undoError.empty())
        m_prompter.message("The undo log " + undoDatabase() + " " + result.undoError +
                           ".\n\nNo file was moved without its undo record; the files not moved "
                           "stay in the cache.");
    if (!result.indexError.empty())
        m_prompter.message("Cache.ini could not be rewritten: " + result.indexError);
    // Stopped during the backup: nothing moved, the backup said so.
    if (request.dryRun || (result.stopped && !result.cacheIniFound)) return;
    const std::string doneText = result.stopped ? stoppedRunText(result)
                                 : result.failed()
                                     ? "Done processing files, with errors (see the Status tab)"
                                     : "Done processing files";
    setStatusText(doneText);
    // Nothing was done without Cache.ini; the scan has said that it is missing.
    if (!result.cacheIniFound) return;
    ClearScanTable();
    setStatusText("Re-scanning files...");
    ScanCache();
    setStatusText(doneText);
}

// ---- the undo log ---------------------------------------------------------------------

std::string Session::undoLogSize() const {
    try {
        CFile f;
        f.Init(undoDatabase());
        return std::to_string(f.Size());
    } catch (const ComponentError&) {
        return {};
    }
}

std::optional<Refused> Session::confirmUndo(const std::vector<std::string>& newNames) {
    std::optional<Refused> no;
    if (!fileExists(undoDatabase()))
        no = Refused{"The undo log " + undoDatabase() + " cannot be opened: it does not exist",
                     RefusalKind::Unavailable};
    else if (newNames.empty())
        no = Refused{"Please select files to undo before running.", RefusalKind::NothingThere};
    else if (!m_prompter.question("Are you sure you want to undo the selected items?",
                                  "This is the **ONLY** Undo Warning"))
        no = Refused{{}, RefusalKind::Declined};
    if (no) tell(*no);
    return no;
}

Outcome<UndoResult> Session::undo(const UndoRequest& request) {
    if (request.newNames.empty()) return Refused{{}, RefusalKind::NothingThere};
    const std::string database = undoDatabase();
    return m_runner.run<UndoResult>(
        OperationNeeds{}, [this] { return snapshot(); },
        [&](const OperationWork& work) -> Outcome<UndoResult> {
            UndoLog log;
            if (auto no = openUndoForWriting(log, database, "Nothing was undone.")) return *no;
            const CacheFolders& f = work.folders;
            const std::vector<std::string> gameFolders = {
                f.maps, f.textures, f.sounds, f.music, f.staticMeshes, f.animations, f.system};
            setStatusText("Moving the selected files back into the cache...");
            UndoResult r = undoMoves(log, request.newNames, f.cacheFolder, f.cacheExt, gameFolders,
                                     workSink());
            log.close();
            if (!r.undoError.empty() && r.undone == 0 && r.failures.empty())
                return Refused{"The undo log " + database + " " + r.undoError +
                                   ".\n\nNothing was undone.",
                               RefusalKind::Unavailable};
            if (!r.undoError.empty())
                addStatusLine("**ERROR** The undo log " + database + " " + r.undoError);
            ScanCache();
            if (r.stopped)
                setStatusText("Stopped after " + std::to_string(r.done) + " of " +
                              std::to_string(r.planned) + " files");
            return r;
        });
}

bool Session::confirmEmptyUndoLog() {
    return m_prompter.question("Are you sure you want to delete ALL Undo entries?",
                               "Delete All Undo Entries", MessageIcon::Exclamation);
}

Outcome<Completed> Session::emptyUndoLog() {
    Outcome<Completed> emptied = m_runner.run<Completed>(
        {.busy = false, .gameStopped = false}, [this] { return snapshot(); },
        [&](const Work&) -> Outcome<Completed> {
            UndoLog undo;
            if (auto no = openUndoForWriting(undo, undoDatabase(), "No record was deleted."))
                return *no;
            if (!undo.removeAll() || !undo.commit())
                return Refused{"The undo log could not be emptied: " + undo.lastError(),
                               RefusalKind::Unavailable};
            return Completed{};
        });
    if (!emptied.done()) return emptied;
    return compactUndoLog();
}

Outcome<Completed> Session::compactUndoLog() {
    return m_runner.run<Completed>(
        {.busy = false, .gameStopped = false}, [this] { return snapshot(); },
        [&](const Work&) -> Outcome<Completed> { return compactBody(); });
}

Outcome<Completed> Session::compactBody() {
    setStatusText("Compacting database...");
    auto db = lookupInFolder(m_programFolder, "tessvane.mdb");
    if (!db || !fileExists(*db))
        return Refused{"Tessvane.mdb Is missing - can 't compact.", RefusalKind::Unavailable};
    std::string bak = findInFolder(m_programFolder, "tessvanebak.mdb");
    if (fileExists(bak)) removeFile(bak);
    bak = joinPath(m_programFolder, "tessvanebak.mdb");
    std::string error;
    bool made = compactUndoDatabase(*db, bak, &error) && fileExists(bak);
    // The compacted copy takes the old file's place in one step.
    if (made && std::rename(bak.c_str(), db->c_str()) == 0) {
        setStatusText("Database compacted");
        return Completed{};
    }
    if (fileExists(bak)) removeFile(bak);
    setStatusText("<<< Database DID NOT compact >>>");
    return Completed{true};
}

} // namespace tv
