#include "session.h"

#include "engine/cache_purge.h"

#include "engine/backup.h"
#include "engine/package_state.h"
#include "engine/repair.h"
#include "engine/undo_moves.h"
#include "formats/cls_registry.h"
#include "formats/ini.h"
#include "games/discovery.h"
#include "games/game_process.h"
#include "platform/cfile.h"
#include "platform/file_ops.h"
#include "platform/operation_lock.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/purge.h"
#include "store/undo_log.h"
#include "ui/prompter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tv {

bool isFailureLine(const std::string& line) {
    return line.rfind("**ERROR**", 0) == 0 || line.rfind("Not undone: ", 0) == 0;
}

Session::Session(std::string folder, RegistryStore& registry, Prompter& prompter)
    : m_programFolder(std::move(folder)), m_registry(registry), m_prompter(prompter),
      m_neverMove(m_programFolder, prompter), m_housekeeping(m_programFolder, prompter) {
    // Tests list their own "running programs".
    if (const char* proc = std::getenv("TESSVANE_PROC_ROOT"); proc && *proc) m_procRoot = proc;
}

bool Session::checkRequiredFiles() {
    static const char* const required[][2] = {
        {"Tessvane.ini", "Tessvane.ini"},
        {"TessvaneDontMove.ini", "TessvaneDontMove.ini"},
        {"search.gif", "Search.gif"},
        {"tessvane.mdb", "Tessvane.mdb"},
    };
    const std::string shipped = shippedFolder(m_programFolder);
    for (const auto& r : required) {
        // The read-only ones may come from an installed share folder.
        auto found = lookupInFolder(m_programFolder, r[0]);
        if (!found) found = lookupInFolder(shipped, r[0]);
        if (found && fileExists(*found)) continue;
        m_prompter.message(std::string("A critical file (") + r[1] +
                           ") is missing...please re-install the program.");
        m_prompter.message("Remember to copy the latest EXE over the one installed...");
        return false;
    }
    return true;
}

bool Session::readGameFolder() {
    if (m_installOverride) {
        m_install = *m_installOverride;
        return true;
    }
    if (!m_gameFolderOverride.empty()) {
        m_install =
            installFromFolder(m_gameFolderOverride, DiscoveryPlaces::fromEnvironment().home);
        return true;
    }
    m_install = storedInstall();
    if (!m_install.gameFolder.empty()) return true;
    return chooseGame(true);
}

bool Session::ChooseGameFolder(bool mustChoose) {
    std::string chosen;
    for (;;) {
        chosen = m_prompter.browseForFolder("Choose the root UT folder:");
        if (chosen.empty()) {
            if (!mustChoose) return false;
            // The user may also leave: nothing has been written yet.
            if (!m_prompter.question("You MUST select the root UT folder..\n\n"
                                     "Choose it now? (No ends Tessvane.)"))
                return false;
            continue;
        }
        if (looksLikeGameFolder(chosen) || m_prompter.question(kNotAGameFolderQuestion)) break;
        if (!mustChoose) return false;
    }
    clsRegistry game(m_registry, &m_prompter);
    useGameKey(game);
    game.WriteEntry("Folder", chosen);
    return true;
}

void Session::setUtDir() {
    if (!browseForGame(false)) return;
    // The label follows the new game's cache folder.
    m_settings.cacheDir.clear();
    refreshFolders();
}

void Session::ensureInstallPath() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    if (reg.ReadEntry("InstallPath", "").empty()) reg.WriteEntry("InstallPath", m_programFolder);
}

void Session::loadSettings() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    tv::loadSettings(reg, m_settings);
    // The cache folder label of another game (one chosen before, or the
    // install given on the command line) is worked out anew for this one.
    if (!storedCacheDirIsTheGames()) m_settings.cacheDir.clear();
    if (!m_settings.cacheDir.empty() && m_settings.cacheDir.front() != '/')
        m_settings.cacheDir = wholePath(m_settings.cacheDir);
}

void Session::saveSettings() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    tv::saveSettings(reg, m_settings);
    storeCacheDirOwner();
}

void Session::refreshFolders() {
    m_folders = workOutFolders(m_programFolder, m_install, m_settings.cacheDir);
}

std::string Session::playerName() const {
    return INIGetSettingString("DefaultPlayer", "Name", m_folders.userIni, "");
}

bool Session::ScanCache() {
    // The rows are built aside and shown in one step, whatever thread scans.
    std::vector<FileRow> fresh;
    std::vector<ScanTableEntry> table;
    bool missingExtension = false;
    const bool read = scanInto(fresh, table, missingExtension);
    changeRows([&] { m_fileList.replace(std::move(fresh), std::move(table)); });
    if (read) updateFoundText();
    // The repair scans again when it has mended Cache.ini.
    if (missingExtension && !m_repairDone && !m_dryRun) FixMissingExtensions(m_folders.cacheFolder);
    return read;
}

bool Session::scanInto(std::vector<FileRow>& fresh, std::vector<ScanTableEntry>& table,
                       bool& missingExtension) {
    refreshFolders();
    // A dry run leaves the game's configuration as it is.
    m_housekeeping.readPurgeDays(m_folders.gameIni, m_dryRun);

    auto cacheIni = lookupInFolder(m_folders.cacheFolder, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) {
        setStatusText("Cache.INI is missing in " + m_folders.cacheFolder);
        m_prompter.message("Cache.INI is MISSING...can't proceed!", "Critical file missing!");
        return false;
    }
    auto lines = readLines(*cacheIni);
    if (!lines) {
        // Present but unreadable (no permission, an I/O error): say so rather
        // than show an empty cache.
        m_prompter.message("Cache.INI could not be read: " + *cacheIni, "Critical file missing!");
        return false;
    }
    missingExtension = readCacheIndex(*lines, m_folders, fresh, table);
    LoadNeverMoveList();
    applySelectionRules(fresh, m_neverMove.list(), m_settings);
    return true;
}

void Session::changeRows(const std::function<void()>& change) {
    inWindow([&] {
        change();
        rowsChanged();
    });
}

void Session::checkAll() {
    m_fileList.checkAll();
    rowsChanged();
}

void Session::uncheckAll() {
    m_fileList.uncheckAll();
    rowsChanged();
}

void Session::updateFoundText() {
    setStatusText(foundText(m_fileList.ticked()));
}

Session::StateRequest Session::stateRequest() const {
    return {m_fileList.generation(), m_fileList.scanTable(), m_folders};
}

std::vector<PackageState> Session::workOutStates(const StateRequest& request,
                                                 const std::function<bool()>& stop) {
    return packageStates(request.table, request.folders, stop);
}

void Session::applyStates(uint64_t generation, const std::vector<PackageState>& states) {
    bool applied = false;
    const size_t tickedBefore = m_fileList.ticked();
    changeRows([&] { applied = m_fileList.setStates(generation, states); });
    // Only a change of the count is news: the status bar keeps what it says.
    if (applied && m_fileList.ticked() != tickedBefore) updateFoundText();
}

void Session::fillStates() {
    const StateRequest request = stateRequest();
    applyStates(request.generation, workOutStates(request));
}

void Session::chooseCacheFolder(const std::string& folder) {
    if (folder.empty()) return;
    m_settings.cacheDir = folder;
    ScanCache();
}

bool Session::SetPurgeDays() {
    return m_housekeeping.setPurgeDays(m_folders.gameIni);
}

// ---- reporting ----------------------------------------------------------------------

void Session::addStatusLine(const std::string& text) {
    // One entry, one line: a name with a line break cannot forge another.
    const std::string line = escapeControls(text);
    m_statusList.push_back(line);
    m_observer->statusLine(line);
}

void Session::setStatusText(const std::string& text) {
    m_statusText = text;
    m_observer->statusText(text);
}

// ---- repair ---------------------------------------------------------------------------

void Session::FixMissingExtensions(const std::string& cacheFolder) {
    // Another Tessvane at work on the game: the next scan repairs.
    OperationLock lock(m_programFolder, std::chrono::milliseconds(0));
    if (!lock.held()) return;
    // The game may be writing the index: said, and repaired at a later scan.
    if (gameIsRunning(m_install.game, m_procRoot)) {
        m_prompter.message(gameRunningText(m_install.game));
        return;
    }
    RepairResult r = tv::FixMissingExtensions(cacheFolder);
    m_repairDone = true;
    if (!r.written) {
        // The index stays as it was; the rows keep their error text.
        m_prompter.message("Cache.ini could not be repaired: " + r.error);
        return;
    }
    if (m_settings.extAlert)
        m_prompter.message(r.stillMissing
                               ? "A file extension is still missing...only maps can be fixed."
                               : "Auto-corrected all missing map extensions...");
    ScanCache();
}

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

std::string Session::undoDatabase() const {
    return undoDatabasePath(m_programFolder);
}

bool Session::refuse(const std::string& message) {
    m_lastFailed = true;
    m_prompter.message(message);
    return false;
}

void Session::markFailure(const std::string& line) {
    m_lastFailed = true;
    if (!line.empty()) addStatusLine(line);
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

WorkSink Session::workSink() {
    WorkSink sink;
    sink.statusLine = [this](const std::string& l) { addStatusLine(l); };
    sink.progress = [this](size_t done, size_t total) { m_observer->progress(done, total); };
    sink.stopRequested = [this] { return m_observer->stopRequested(); };
    return sink;
}

Session::Busy::Busy(Session& s) : m_session(s) {
    m_held = !m_session.m_running.exchange(true);
    if (m_held) m_session.inWindow([this] { m_session.m_observer->runningChanged(); });
}

Session::Busy::~Busy() {
    if (!m_held) return;
    m_session.m_running = false;
    m_session.inWindow([this] { m_session.m_observer->runningChanged(); });
}

bool Session::operate(const Needs& needs, const std::function<bool()>& body) {
    m_lastFailed = false;
    std::optional<Busy> busy;
    if (needs.busy && !busy.emplace(*this).held()) return false;
    std::optional<OperationLock> lock;
    if (needs.lock && !lock.emplace(m_programFolder).held()) return refuse(lock->error());
    if (needs.gameStopped && refuseWhileGameRuns()) return false;
    if (needs.folders) refreshFolders();
    return body();
}

bool Session::runCommand(bool dryRun) {
    m_lastRun = RunResult{};
    // A dry run reads only: no lock, the game may run.
    return operate(dryRun ? readsOnly() : Needs{true, true, true, false},
                   [&] { return runBody(dryRun); });
}

bool Session::runBody(bool dryRun) {
    setStatusText("Processing files...");
    dropTrailingSeparators();

    UndoLog undo;
    if (!dryRun) {
        // The undo log is locked for writing before anything is touched.
        if (!openUndoForWriting(undo, "The run was not started; no file was moved.")) return false;
        if (!prepareDestinationFolders(runOptions().mode,
                                       "The run was not started; no file was moved."))
            return false;
        if (m_settings.backupCache) {
            setStatusText("Backing up all cache files first");
            if (!BackupCacheFiles(m_settings.cacheDir,
                                  [this](const std::string& l) { addStatusLine(l); }))
                m_lastFailed = true;
            // The backup is done: the status bar says what happens now.
            setStatusText("Processing files...");
        }
    }

    refreshFolders();
    m_observer->cacheFolderLabel("Cache Directory = " + m_folders.cacheFolder);
    RunOptions options = runOptions();
    options.dryRun = dryRun;
    options.moveDate = shortDate(m_clock());
    m_lastRun = RunCache(m_folders, selectedNames(), m_fileList.scanTable(), options,
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
    const std::string doneText =
        m_lastRun.stopped ? "Stopped after " + std::to_string(m_lastRun.movesDone) + " of " +
                                std::to_string(m_lastRun.movesPlanned) + " files"
        : m_lastFailed ? "Done processing files, with errors (see the Status tab)"
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
    return operate({}, [&] { return undoBody(newNames); });
}

bool Session::undoBody(const std::vector<std::string>& newNames) {
    UndoLog undo;
    if (!undo.open(undoDatabase()))
        return refuse("The undo log " + undoDatabase() + " cannot be opened: " + undo.lastError());
    if (!undo.beginWrite())
        return refuse("The undo log " + undoDatabase() + " " + undo.lastError() +
                      ".\n\nNothing was undone.");
    const std::vector<std::string> gameFolders = {
        m_folders.maps,         m_folders.textures,   m_folders.sounds, m_folders.music,
        m_folders.staticMeshes, m_folders.animations, m_folders.system};
    setStatusText("Moving the selected files back into the cache...");
    UndoResult r =
        undoMoves(undo, newNames, m_settings.cacheDir, m_folders.cacheExt, gameFolders, workSink());
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
    const bool emptied = operate({false, true, false, false}, [&] {
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
    operate({false, true, false, false}, [&] {
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

// ---- tidying the cache ------------------------------------------------------------------

TidyPlan Session::planTidy(const TidyOptions& options) {
    refreshFolders();
    return tv::planTidy(m_folders, options);
}

bool Session::tidyCache(const TidyOptions& options) {
    m_lastTidy = TidyResult{};
    // A dry run needs neither the lock nor the game stopped: it writes nothing.
    return operate(options.dryRun ? readsOnly() : Needs{}, [&] { return tidyBody(options); });
}

bool Session::tidyBody(const TidyOptions& options) {
    setStatusText("Tidying the cache...");
    m_lastTidy = tv::tidyCache(m_folders, options, m_programFolder, workSink());
    if (!m_lastTidy.plan.indexFound) {
        setStatusText("Cache.INI is missing in " + m_folders.cacheFolder);
        m_prompter.message("Cache.INI is MISSING...can't proceed!", "Critical file missing!");
        return false;
    }
    if (m_lastTidy.failed()) m_lastFailed = true;
    const bool changed =
        !options.dryRun && (m_lastTidy.filesDeleted > 0 || m_lastTidy.linesRemoved > 0);
    if (changed) ScanCache();
    setStatusText(tidySummary(m_lastTidy));
    return true;
}

// ---- housekeeping ---------------------------------------------------------------------

bool Session::confirmPurge() {
    m_lastFailed = false;
    int entries = m_housekeeping.entriesToPurge(m_install);
    if (entries < 0) {
        m_lastFailed = entries == kPurgeIndexUnreadable;
        return false;
    }
    if (entries == 0) {
        m_prompter.message("Cache already empty...");
        return false;
    }
    if (!m_prompter.question("Are you sure you want to DELETE all cache files?")) {
        m_prompter.message("Purge cancelled.");
        return false;
    }
    return true;
}

bool Session::purgeCache() {
    return operate({false, true, true, false}, [&] {
        PurgeResult r =
            m_housekeeping.purge(m_install, [this](const std::string& l) { addStatusLine(l); });
        if (r.failed) m_lastFailed = true;
        if (!r.purged) return false;
        setStatusText("Re-scanning files...");
        ScanCache();
        return true;
    });
}

void Session::deleteTempFiles() {
    m_lastFailed = !m_housekeeping.deleteTempFiles(
        m_install.userFolder.empty() ? m_install.gameFolder : m_install.userFolder);
}

// ---- the never-move list --------------------------------------------------------------

void Session::applyNeverMoveList() {
    m_fileList.applyChangedNeverMove(m_neverMove.list(), m_settings);
    updateFoundText();
    rowsChanged();
}

void Session::reloadNeverMoveList() {
    m_neverMove.reload();
    applyNeverMoveList();
}

bool Session::neverMoveSave() {
    return operate({false, true, false, false}, [&] {
        std::string error;
        if (!m_neverMove.save(&error))
            return refuse("The never-move list could not be saved: " + error);
        applyNeverMoveList();
        return true;
    });
}

bool Session::confirmAddRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove) return false;
    return m_prompter.question(
        "Add " + toUpper(m_fileList.rows()[row].text) + " to the never move list?", "Add File");
}

bool Session::addRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove) return false;
    return operate({false, true, false, false}, [&] {
        std::string error;
        if (!m_neverMove.appendName(m_fileList.rows()[row].text, &error))
            return refuse("The never-move list could not be saved: " + error);
        m_fileList.markNeverMove(m_neverMove.list());
        rowsChanged();
        return true;
    });
}

} // namespace tv
