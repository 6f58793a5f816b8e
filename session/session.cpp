// Start-up, the game's settings, the File List and the runner every operation goes through.
#include "session.h"

#include "engine/package_state.h"
#include "engine/repair.h"
#include "formats/cls_registry.h"
#include "formats/ini.h"
#include "games/discovery.h"
#include "games/game_process.h"
#include "platform/file_ops.h"
#include "platform/operation_lock.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

#include <cstdlib>
#include <optional>

namespace tv {

bool isFailureLine(const std::string& line) {
    return line.rfind("**ERROR**", 0) == 0 || line.rfind("Not undone: ", 0) == 0;
}

namespace {

// Where running programs are listed: tests list their own.
std::string procRoot() {
    const char* proc = std::getenv("TESSVANE_PROC_ROOT");
    return proc && *proc ? proc : "/proc";
}

} // namespace

Session::Session(std::string folder, RegistryStore& registry, Prompter& prompter)
    : m_programFolder(std::move(folder)), m_runner(m_programFolder, procRoot()),
      m_registry(registry), m_prompter(prompter), m_neverMove(m_programFolder, prompter),
      m_housekeeping(m_programFolder, prompter) {
    m_runner.onRunningChanged([this] { inWindow([this] { m_observer->runningChanged(); }); });
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
        if (const std::string why = gameFolderRefusal(wholePath(m_gameFolderOverride));
            !why.empty()) {
            m_prompter.message(why);
            return false;
        }
        m_install =
            installFromFolder(m_gameFolderOverride, DiscoveryPlaces::fromEnvironment().home);
        return true;
    }
    m_install = storedInstall();
    if (!m_install.gameFolder.empty()) return true;
    return chooseGame(true);
}

std::string Session::ChooseGameFolder(bool mustChoose) {
    for (;;) {
        std::string chosen = m_prompter.browseForFolder("Choose the root UT folder:");
        if (chosen.empty()) {
            if (!mustChoose) return {};
            // The user may also leave: nothing has been written yet.
            if (!m_prompter.question("You MUST select the root UT folder..\n\n"
                                     "Choose it now? (No ends Tessvane.)"))
                return {};
            continue;
        }
        if (const std::string why = gameFolderRefusal(chosen); !why.empty()) {
            m_prompter.message(why);
            if (!mustChoose) return {};
            continue;
        }
        if (looksLikeGameFolder(chosen) || m_prompter.question(kNotAGameFolderQuestion))
            return chosen;
        if (!mustChoose) return {};
    }
}

void Session::setUtDir() {
    // The label follows the new game's cache folder (useInstall clears it).
    browseForGame(false);
}

void Session::ensureInstallPath() {
    clsRegistry reg(m_registry, noticesTo(m_prompter));
    useSettingsKey(reg);
    if (reg.ReadEntry("InstallPath", "").empty()) reg.WriteEntry("InstallPath", m_programFolder);
}

void Session::loadSettings() {
    clsRegistry reg(m_registry, noticesTo(m_prompter));
    useSettingsKey(reg);
    tv::loadSettings(reg, m_settings);
    // The cache folder label of another game (one chosen before, or the
    // install given on the command line) is worked out anew for this one.
    if (!storedCacheDirIsTheGames()) m_settings.cacheDir.clear();
    if (!m_settings.cacheDir.empty() && m_settings.cacheDir.front() != '/')
        m_settings.cacheDir = wholePath(m_settings.cacheDir);
}

void Session::saveSettings() {
    clsRegistry reg(m_registry, noticesTo(m_prompter));
    useSettingsKey(reg);
    tv::saveSettings(reg, m_settings);
    storeCacheDirOwner();
}

void Session::refreshFolders() {
    m_folders = workOutFolders(m_programFolder, m_install, m_settings.cacheDir);
}

CacheFolders Session::foldersOf(const GameInstall& install) const {
    std::string label = m_settings.cacheDir; // worked out here, not kept
    return workOutFolders(m_programFolder, install, label);
}

std::string Session::playerName() const {
    return INIGetSettingString("DefaultPlayer", "Name", m_folders.userIni, "");
}

bool Session::ScanCache() {
    const Outcome<ScanResult> scanned = scan();
    if (const Refused* no = scanned.refused()) tell(*no);
    return scanned.done();
}

Outcome<ScanResult> Session::scan(const ScanRequest& request) {
    // The rows are built aside and shown in one step, whatever thread scans;
    // the folders and the label they were read with go in with them.
    std::string label = m_settings.cacheDir;
    const CacheFolders folders = workOutFolders(m_programFolder, m_install, label);
    std::vector<FileRow> fresh;
    std::vector<ScanTableEntry> table;
    bool missingExtension = false;
    const std::optional<Refused> unread =
        scanInto(folders, request.readOnly, fresh, table, missingExtension);
    const size_t rows = fresh.size();
    changeRows([&] {
        m_fileList.replace(std::move(fresh), std::move(table));
        m_folders = folders;
        if (m_settings.cacheDir.empty()) m_settings.cacheDir = label;
    });
    // The Status tab and the title say which game and cache this is.
    m_observer->cacheFolderLabel("Cache Directory = " + folders.cacheFolder);
    const char* home = std::getenv("HOME");
    m_observer->gameShown(installLabel(m_install, folders.cacheFolder, home ? home : ""));
    if (unread) return *unread;
    updateFoundText();
    // The repair scans again when it has mended Cache.ini.
    if (missingExtension && !m_repairDone && !request.readOnly)
        FixMissingExtensions(folders.cacheFolder);
    return ScanResult{rows};
}

std::optional<Refused> Session::scanInto(const CacheFolders& folders, bool readOnly,
                                         std::vector<FileRow>& fresh,
                                         std::vector<ScanTableEntry>& table,
                                         bool& missingExtension) {
    // A dry run leaves the game's configuration as it is; so does a scan
    // while the game runs (it writes its configuration back when it ends):
    // the next scan with the game stopped raises the period.
    const bool leaveConfiguration = readOnly || gameInUse();
    if (const std::string raised =
            m_housekeeping.readPurgeDays(folders.gameIni, leaveConfiguration);
        !raised.empty())
        addStatusLine(raised);

    // The cache folder is read once, for Cache.ini and for the files.
    const size_t first = fresh.size();
    const size_t firstEntry = table.size();
    const ListedCacheIndex index = readListedCacheIndex(
        folders.cacheFolder,
        [&](std::vector<std::string>& lines) {
            missingExtension = parseCacheIndex(lines, folders, fresh, table);
        },
        [&] {
            fresh.resize(first);
            table.resize(firstEntry);
            missingExtension = false;
        });
    if (index.path.empty()) {
        setStatusText("Cache.INI is missing in " + folders.cacheFolder);
        return Refused{"Cache.INI is MISSING...can't proceed!", RefusalKind::Unavailable,
                       "Critical file missing!"};
    }
    if (!index.read)
        // Present but unreadable (no permission, an I/O error): say so rather
        // than show an empty cache.
        return Refused{"Cache.INI could not be read: " + index.path, RefusalKind::Unavailable,
                       "Critical file missing!"};
    findCacheFiles(folders, *index.folder, fresh, table, first);
    LoadNeverMoveList();
    applySelectionRules(fresh, m_neverMove.list(), m_settings);
    return std::nullopt;
}

void Session::changeRows(const std::function<void()>& change) {
    inWindow([&] {
        change();
        rowsChanged();
    });
}

void Session::setTicked(size_t row, bool ticked) {
    if (row >= m_fileList.size()) return;
    m_fileList.row(row).ticked = ticked;
}

void Session::checkAll() {
    m_fileList.checkAll();
    rowsChanged();
    updateFoundText();
}

void Session::tickWhatItNeeds(size_t i) {
    if (i >= m_fileList.size()) return;
    const size_t ticked = m_fileList.tickNeeded(i);
    rowsChanged();
    if (ticked > 0) updateFoundText();
}

void Session::uncheckAll() {
    m_fileList.uncheckAll();
    rowsChanged();
    updateFoundText();
}

void Session::updateFoundText() {
    // What a run would move: installed and identical rows stay in the cache.
    setStatusText(foundText(m_fileList.toProcess()));
}

Session::StateRequest Session::stateRequest() const {
    return {m_fileList.generation(), m_fileList.scanTable(), m_folders};
}

PackagesFacts Session::workOutStates(const StateRequest& request,
                                     const std::function<bool()>& stop) {
    return packageFacts(request.table, request.folders, stop);
}

void Session::applyStates(uint64_t generation, PackagesFacts facts) {
    bool applied = false;
    const size_t tickedBefore = m_fileList.ticked();
    changeRows([&] { applied = m_fileList.setStates(generation, std::move(facts)); });
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

// ---- reporting ----------------------------------------------------------------------

void Session::addStatusLine(std::string text) {
    // One entry, one line: a name with a line break cannot forge another.
    if (m_statusList.size() >= 2 * kStatusLinesKept)
        m_statusList.erase(m_statusList.begin(), m_statusList.end() - kStatusLinesKept);
    if (hasControls(text)) text = escapeControls(text);
    m_statusList.push_back(std::move(text));
    m_observer->statusLine(m_statusList.back());
}

void Session::setStatusText(const std::string& text) {
    m_statusText = text;
    m_observer->statusText(text);
}

// ---- repair ---------------------------------------------------------------------------

void Session::FixMissingExtensions(const std::string& cacheFolder) {
    // Part of the scan that found the damage (inside a run's rescan, too):
    // another Tessvane at work on the game means the next scan repairs; the
    // game running is said, and a later scan repairs.
    const Outcome<Completed> repaired = m_runner.run<Completed>(
        {.busy = false, .waitForLock = false}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<Completed> {
            RepairResult r = tv::FixMissingExtensions(cacheFolder);
            m_repairDone = true;
            if (!r.written)
                // The index stays as it was; the rows keep their error text.
                return Refused{"Cache.ini could not be repaired: " + r.error,
                               RefusalKind::Unavailable};
            if (work.settings.extAlert)
                m_prompter.message(
                    r.stillMissing ? "A file extension is still missing...only maps can be fixed."
                                   : "Auto-corrected all missing map extensions...");
            return Completed{};
        });
    if (const Refused* no = repaired.refused()) tell(*no);
    if (repaired.done()) ScanCache();
}

// ---- the runner ---------------------------------------------------------------------

void Session::tell(const Refused& refused) {
    if (refused.reason.empty()) return;
    if (refused.title.empty())
        m_prompter.message(refused.reason);
    else
        m_prompter.message(refused.reason, refused.title);
}

WorkSink Session::workSink() {
    WorkSink sink;
    sink.statusLine = [this](std::string l) { addStatusLine(std::move(l)); };
    sink.progress = [this](size_t done, size_t total) { m_observer->progress(done, total); };
    sink.stopRequested = [this] { return m_observer->stopRequested(); };
    return sink;
}

OperationWork Session::snapshot() const {
    return {m_install, foldersOf(m_install), m_settings, m_clock()};
}

} // namespace tv
