// The run and what goes with it: the destination, the undo log and undoing moves.
#include "session.h"

#include "engine/backup.h"
#include "engine/undo_moves.h"
#include "platform/cfile.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "store/undo_log.h"
#include "ui/prompter.h"

#include <chrono>
#include <cstdio>

namespace tv {

// ---- the run --------------------------------------------------------------------------

bool Session::checkRunDestination() {
    // With no option chosen (a stored state) the run uses the structured
    // folder, so that folder is checked too: an empty one would send the
    // files into whatever the current folder is.
    return checkDestination(runOptions().mode);
}

bool Session::checkArchiveDestination() {
    return checkDestination(archiveOptions().mode);
}

bool Session::checkDestination(RunOptions::Mode mode) {
    if ((mode == RunOptions::Mode::Dir && m_settings.moveDirText.size() < 2) ||
        (mode == RunOptions::Mode::Dir2 && m_settings.moveDir2Text.size() < 2)) {
        m_prompter.message("You must select a destination folder");
        return false;
    }
    // A relative folder would land wherever the program was started from,
    // and its undo records would name a different place from elsewhere.
    const std::string& folder = mode == RunOptions::Mode::Dir    ? m_settings.moveDirText
                                : mode == RunOptions::Mode::Dir2 ? m_settings.moveDir2Text
                                                                 : std::string();
    if (mode != RunOptions::Mode::Norm && folder.front() != '/') {
        m_prompter.message("\"" + folder +
                           "\" is not a full path. A full path is needed (one "
                           "that starts with /), for example /home/you/ut-files.");
        return false;
    }
    return true;
}

RunOptions Session::runOptions() const {
    RunOptions o;
    o.mode = m_settings.moveNorm  ? RunOptions::Mode::Norm
             : m_settings.moveDir ? RunOptions::Mode::Dir
                                  : RunOptions::Mode::Dir2;
    o.moveDir = m_settings.moveDirText;
    o.moveDir2 = m_settings.moveDir2Text;
    return o;
}

RunOptions Session::archiveOptions() const {
    RunOptions o = runOptions();
    // No option chosen: the game's own folders.
    if (!m_settings.moveNorm && !m_settings.moveDir && !m_settings.moveDir2)
        o.mode = RunOptions::Mode::Norm;
    return o;
}

bool Session::undoRecords(std::vector<UndoRecord>& out, std::string* error) const {
    return readUndoRecords(undoDatabase(), out, error);
}

std::string Session::undoDatabase() const {
    return undoDatabasePath(m_programFolder);
}

bool Session::openUndoForWriting(UndoLog& undo, const std::string& nothingDone) {
    if (!undo.open(undoDatabase()))
        return refuse("The undo log " + undoDatabase() + " cannot be opened: " + undo.lastError() +
                      "\n\n" + nothingDone);
    if (!undo.beginWrite())
        return refuse("The undo log " + undoDatabase() + " " + undo.lastError() + ".\n\n" +
                      nothingDone);
    return true;
}

bool Session::prepareDestinationFolders(RunOptions::Mode mode, const char* nothingDone) {
    std::string error;
    bool ok = true;
    if (mode == RunOptions::Mode::Dir)
        ok = makeFolder(m_settings.moveDirText, &error);
    else if (mode == RunOptions::Mode::Dir2)
        ok = makeFolder(m_settings.moveDir2Text, &error);
    if (ok && mode == RunOptions::Mode::Dir2) {
        for (const char* sub :
             {"Maps", "Music", "Sounds", "System", "Textures", "StaticMeshes", "Animations"}) {
            if (lookupInFolder(m_settings.moveDir2Text, sub)) continue;
            const std::string folder = joinPath(m_settings.moveDir2Text, sub);
            if (!makeFolder(folder, &error)) {
                ok = false;
                break;
            }
            addStatusLine("Created folder " + folder);
        }
    }
    if (!ok) return refuse(error + "\n\n" + nothingDone);
    return true;
}

void Session::dropTrailingSeparators() {
    auto drop = [](std::string& t) {
        if (!t.empty() && t.back() == '/') t.pop_back();
    };
    drop(m_settings.moveDirText);
    drop(m_settings.moveDir2Text);
}

bool Session::runCommand(bool dryRun) {
    m_lastRun = RunResult{};
    // A dry run reads only: no lock, the game may run.
    return operate(dryRun ? readsOnly() : Needs{},
                   [&](const Work& work) { return runBody(work, dryRun); });
}

// The backup a run makes first; false when it was stopped (nothing moves).
bool Session::backUpBeforeTheRun(const Work& work) {
    const std::string backing = "Backing up all cache files first";
    setStatusText(backing);
    WorkSink sink = workSink();
    // Said a few times a second: one word per file would flood the window,
    // which would then show (and hear Stop) long after the work.
    auto said = std::chrono::steady_clock::time_point{};
    sink.progress = [&](size_t done, size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done != total && now - said < std::chrono::milliseconds(100)) return;
        said = now;
        setStatusText(backing + ": " + std::to_string(done) + " of " + std::to_string(total));
        m_observer->progress(done, total);
    };
    const BackupOutcome outcome = BackupCacheFiles(work.folders.cacheFolder, sink);
    if (outcome == BackupOutcome::Stopped) {
        m_lastRun.stopped = true;
        const std::string stopped =
            "Stopped during the backup; no file was moved and the backups are as they were";
        addStatusLine(stopped);
        setStatusText(stopped);
        return false;
    }
    if (outcome == BackupOutcome::Failed) m_lastFailed = true;
    // The backup is done: the status bar says what happens now.
    setStatusText("Processing files...");
    return true;
}

bool Session::runBody(const Work& work, bool dryRun) {
    setStatusText("Processing files...");
    dropTrailingSeparators();

    UndoLog undo;
    if (!dryRun) {
        // The undo log is locked for writing before anything is touched.
        if (!openUndoForWriting(undo, "The run was not started; no file was moved.")) return false;
        if (!prepareDestinationFolders(runOptions().mode,
                                       "The run was not started; no file was moved."))
            return false;
        if (m_settings.backupCache && !backUpBeforeTheRun(work)) return true;
    }

    m_observer->cacheFolderLabel("Cache Directory = " + work.folders.cacheFolder);
    RunOptions options = runOptions();
    options.dryRun = dryRun;
    options.moveDate = shortDate(m_clock());
    m_lastRun = RunCache(work.folders, selectedNames(), m_fileList.scanTable(), options,
                         dryRun ? nullptr : &undo, m_programFolder, workSink());
    undo.close();
    if (m_lastRun.failed()) m_lastFailed = true;
    if (!m_lastRun.undoError.empty())
        m_prompter.message("The undo log " + undoDatabase() + " " + m_lastRun.undoError +
                           ".\n\nNo file was moved without its undo record; the files not moved "
                           "stay in the cache.");
    if (!m_lastRun.indexError.empty())
        m_prompter.message("Cache.ini could not be rewritten: " + m_lastRun.indexError);
    if (dryRun) return true;
    const std::string doneText = m_lastRun.stopped ? stoppedRunText(m_lastRun)
                                 : m_lastFailed
                                     ? "Done processing files, with errors (see the Status tab)"
                                     : "Done processing files";
    if (!m_lastRun.cacheIniFound) {
        // Nothing was done; the scan has already said that Cache.ini is missing.
        setStatusText(doneText);
        return true;
    }
    setStatusText(doneText);
    ClearScanTable();
    setStatusText("Re-scanning files...");
    ScanCache();
    setStatusText(doneText);
    return true;
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

bool Session::confirmUndo(const std::vector<std::string>& newNames) {
    m_lastFailed = false;
    if (!fileExists(undoDatabase()))
        return refuse("The undo log " + undoDatabase() + " cannot be opened: it does not exist");
    if (newNames.empty()) {
        m_prompter.message("Please select files to undo before running.");
        return false;
    }
    return m_prompter.question("Are you sure you want to undo the selected items?",
                               "This is the **ONLY** Undo Warning");
}

bool Session::undoSelections(const std::vector<std::string>& newNames) {
    m_lastFailed = false;
    if (newNames.empty()) return false;
    return operate({}, [&](const Work& work) { return undoBody(work, newNames); });
}

bool Session::undoBody(const Work& work, const std::vector<std::string>& newNames) {
    UndoLog undo;
    if (!undo.open(undoDatabase()))
        return refuse("The undo log " + undoDatabase() + " cannot be opened: " + undo.lastError());
    if (!undo.beginWrite())
        return refuse("The undo log " + undoDatabase() + " " + undo.lastError() +
                      ".\n\nNothing was undone.");
    const CacheFolders& f = work.folders;
    const std::vector<std::string> gameFolders = {f.maps,         f.textures,   f.sounds, f.music,
                                                  f.staticMeshes, f.animations, f.system};
    setStatusText("Moving the selected files back into the cache...");
    UndoResult r = undoMoves(undo, newNames, f.cacheFolder, f.cacheExt, gameFolders, workSink());
    undo.close();
    if (r.failed()) m_lastFailed = true;
    if (!r.undoError.empty() && r.undone == 0 && r.failures.empty())
        return refuse("The undo log " + undoDatabase() + " " + r.undoError +
                      ".\n\nNothing was undone.");
    if (!r.undoError.empty())
        markFailure("**ERROR** The undo log " + undoDatabase() + " " + r.undoError);
    ScanCache();
    if (r.stopped)
        setStatusText("Stopped after " + std::to_string(r.done) + " of " +
                      std::to_string(r.planned) + " files");
    return true;
}

bool Session::confirmEmptyUndoLog() {
    return m_prompter.question("Are you sure you want to delete ALL Undo entries?",
                               "Delete All Undo Entries", MessageIcon::Exclamation);
}

bool Session::emptyUndoLog() {
    const bool emptied = operate({.busy = false, .gameStopped = false}, [&](const Work&) {
        UndoLog undo;
        if (!openUndoForWriting(undo, "No record was deleted.")) return false;
        if (!undo.removeAll() || !undo.commit())
            return refuse("The undo log could not be emptied: " + undo.lastError());
        return true;
    });
    if (emptied) compactUndoLog();
    return emptied;
}

void Session::compactUndoLog() {
    operate({.busy = false, .gameStopped = false}, [&](const Work&) {
        compactBody();
        return true;
    });
}

void Session::compactBody() {
    setStatusText("Compacting database...");
    auto db = lookupInFolder(m_programFolder, "tessvane.mdb");
    if (!db || !fileExists(*db)) {
        m_prompter.message("Tessvane.mdb Is missing - can 't compact.");
        return;
    }
    std::string bak = findInFolder(m_programFolder, "tessvanebak.mdb");
    if (fileExists(bak)) removeFile(bak);
    bak = joinPath(m_programFolder, "tessvanebak.mdb");
    std::string error;
    bool made = compactUndoDatabase(*db, bak, &error) && fileExists(bak);
    // The compacted copy takes the old file's place in one step.
    if (made && std::rename(bak.c_str(), db->c_str()) == 0) {
        setStatusText("Database compacted");
    } else {
        if (fileExists(bak)) removeFile(bak);
        m_lastFailed = true;
        setStatusText("<<< Database DID NOT compact >>>");
    }
}

} // namespace tv
