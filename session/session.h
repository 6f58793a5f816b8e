#pragma once

#include "archives/map_archive.h"
#include "archives/take_back.h"
#include "archives/umod_installer.h"
#include "desktop/watch_service.h"
#include "engine/cache_index.h"
#include "engine/cache_purge.h"
#include "engine/cache_run.h"
#include "engine/cache_tidy.h"
#include "engine/undo_moves.h"
#include "file_list.h"
#include "games/game_install.h"
#include "housekeeping.h"
#include "never_move_editor.h"
#include "operation.h"
#include "operation_runner.h"
#include "platform/dates.h"
#include "session_observer.h"
#include "store/never_move.h"
#include "store/settings.h"
#include "store/undo_log.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

class Prompter;
class RegistryStore;

// A Status line that reports a failure ("**ERROR** ...", "Not undone: ...").
bool isFailureLine(const std::string& line);

// What a run moves and how: the recorded names (the rows' texts), the scan
// they were chosen from, where they go, whether the cache is backed up
// first, whether it only says what it would do.
struct RunRequest {
    std::unordered_set<std::string> names;
    std::vector<ScanTableEntry> table;
    RunOptions options;
    bool backup = false;
    bool dryRun = false;
};

// What loading an archive did: previewed, its maps installed straight away,
// refused (said to the user), unreadable, empty.
struct ZipLoaded {
    MapArchiveInstaller::Load load = MapArchiveInstaller::Load::Unreadable;
    std::vector<std::string> failures; // maps that could not be installed
    bool failed() const {
        return load == MapArchiveInstaller::Load::Unreadable || !failures.empty();
    }
};

// A tidy: what to tidy and, when the user was shown a plan, that plan (only
// what it holds and still holds is done).
struct TidyRequest {
    TidyOptions options;
    std::shared_ptr<const TidyPlan> confirmed;
};

// The moves to undo: the records with these new paths.
struct UndoRequest {
    std::vector<std::string> newNames;
};

// What a scan reads: readOnly leaves the game's configuration and Cache.ini
// as they are (no repair, no purge period written), as a dry run does.
struct ScanRequest {
    bool readOnly = false;
};
struct ScanResult {
    size_t rows = 0;
    bool failed() const { return false; }
};

// Everything the main window knows, without the widgets: the game folder, the
// settings held in the controls, the File List rows and the scan table, the
// never-move list, the Status lines. The window and the command line both
// drive the program through it.
class Session {
public:
    Session(std::string programFolder, RegistryStore& registry, Prompter& prompter);

    // ---- start-up and shut-down ------------------------------------------
    // The four shipped files; the first missing one is reported with the
    // re-install reminder and false is returned (the program must end at once).
    bool checkRequiredFiles();
    // The install to work on: the one named for this call, else the stored
    // one (the game's key and Tessvane's own values), else the user chooses
    // among the installs found (or browses for a folder). false when the
    // user chose to leave instead (nothing was written).
    bool readGameFolder();
    // The game folder chosen by hand (empty when none). With mustChoose the
    // user is asked again until a folder is chosen or the user chooses to
    // leave. A folder with neither System nor Cache is questioned first.
    std::string ChooseGameFolder(bool mustChoose);
    // InstallPath = the program folder, when it is not stored yet.
    void ensureInstallPath();
    void loadSettings();
    void saveSettings();
    // The player's name from the game's User.ini (after a scan).
    std::string playerName() const;
    // "&Set the UT dir": choose the game folder (may cancel) and point the
    // cache folder label at its Cache folder.
    void setUtDir();

    // ---- the game -------------------------------------------------------------
    // Every install found on this machine (reads only), and the stored
    // folder when it is not among them.
    std::vector<GameInstall> findInstalls() const;
    // "Choose Game...": the installs found, "Browse..." for another folder.
    // The choice is stored and the cache folder label follows it. false when
    // nothing was chosen (with mustChoose the user is asked until a choice
    // is made or leaves).
    bool chooseGame(bool mustChoose) { return chooseGame(mustChoose, gameChoices()); }
    // What "Choose Game..." lists: the installs found, each with its cache
    // folder and the number of entries of its index. Reads only, on any
    // thread (the window finds them off its own).
    struct GameChoice {
        GameInstall install;
        std::string cacheFolder;
        size_t entries = 0;
    };
    std::vector<GameChoice> gameChoices() const;
    // The choice among these (found before).
    bool chooseGame(bool mustChoose, const std::vector<GameChoice>& choices);
    // The cache folder and the number of entries of its index of an install,
    // as the games list shows them.
    std::pair<std::string, size_t> cacheOf(const GameInstall& install) const;

    // ---- the File List --------------------------------------------------
    // Rebuilds the rows from Cache.ini (the old ones are cleared first) and
    // applies the selection rules; refused when Cache.ini is missing or
    // cannot be read (the rows are then empty).
    Outcome<ScanResult> scan(const ScanRequest& request = {});
    // The same, with a refusal shown; false when Cache.ini is missing.
    bool ScanCache();
    void ClearScanTable() { m_fileList.clearScanTable(); }
    // The rows and the scan table.
    const FileList& fileList() const { return m_fileList; }
    // A row ticked or unticked by hand (the user's choice of what a Run
    // moves); the one who ticked it shows it.
    void setTicked(size_t row, bool ticked);
    void checkAll();
    void uncheckAll();
    // "Tick What It Needs": the cached packages row `i` needs are ticked.
    void tickWhatItNeeds(size_t i);
    // Status text after the rows changed by hand: "Found n file(s) to process".
    void updateFoundText();
    // A cache folder chosen with "...": the label takes it and the list is rebuilt.
    void chooseCacheFolder(const std::string& folder);

    // ---- package states --------------------------------------------------------
    // What working out the rows' states needs, taken now (a copy: the work
    // may go on on another thread while the rows stay usable).
    struct StateRequest {
        uint64_t generation = 0;
        std::vector<ScanTableEntry> table;
        CacheFolders folders;
    };
    StateRequest stateRequest() const;
    // Reads only; `stop` is asked between files.
    static PackagesFacts workOutStates(const StateRequest& request,
                                       const std::function<bool()>& stop = {});
    // The states (and what each package lacks) into the rows they were
    // worked out for (rows of a later scan are left alone); other-version
    // rows are unticked.
    void applyStates(uint64_t generation, PackagesFacts facts);
    // Both at once, on this thread (tessvane-cli scan --state).
    void fillStates();

    // Repairs map entries without an extension (once per program start) and
    // scans again.
    void FixMissingExtensions(const std::string& cacheFolder);

    // ---- the run ----------------------------------------------------------------
    // The destination check of the run command; false (with its message) when
    // a folder option names less than a drive letter.
    bool checkRunDestination();
    // What a Run of the File List moves now: its ticked rows (the never-move
    // list's rows stay), with the destination and backup the settings hold.
    RunRequest runRequest() const;
    // The same for exactly these rows (whatever their ticks and states).
    RunRequest runRequest(const std::vector<std::string>& names) const;
    // The run: folders prepared, the cache backed up when asked, the named
    // entries moved, then the list scanned again. Refused (nothing touched)
    // when the destination is wrong, another operation or Tessvane works,
    // the game runs or the undo log cannot be used.
    Outcome<RunResult> run(const RunRequest& request);
    // Shows why an operation did not start (nothing for Busy).
    void tell(const Refused& refused);
    // The same for an outcome; whether the operation was done.
    template <class Result> bool told(const Outcome<Result>& outcome) {
        if (const Refused* no = outcome.refused()) tell(*no);
        return outcome.done();
    }
    bool checkArchiveDestination();
    // An operation is under way (the window reads it while the work goes on
    // on another thread).
    bool busy() const { return m_runner.busy(); }

    // ---- map archives -----------------------------------------------------------
    // Loads one archive: previewed when it is the only one chosen and "U&nZIP
    // without preview" is off, else its maps go straight into the Maps
    // folder. Refused and unreadable archives were reported to the user.
    Outcome<ZipLoaded> loadZipArchive(const std::string& path, bool several);
    // "Process Loaded ZIP" once the destination check has passed: the folders
    // prepared, the loaded archive's members copied, the log written.
    // Refused when it did not start (nothing loaded, a folder not made).
    Outcome<MapArchiveInstaller::ProcessResult> processLoadedZip();
    // The archive loaded (its preview, members and extract folder).
    const MapArchiveInstaller& archives() const { return m_archives; }
    // How much room a folder has (tests make the disk look full).
    void setFreeSpaceProbe(std::function<uint64_t(const std::string&)> probe) {
        m_archives.freeSpace = std::move(probe);
    }

    // ---- UMOD installers -------------------------------------------------------
    // The installer read (directory and manifest); nullopt after a message
    // saying why it cannot be installed.
    std::optional<UmodPackage> loadUmodArchive(const std::string& path);
    // What an archive's maps need and which of those neither the archive
    // nor the game has: lines for its preview.
    std::vector<std::string> archiveNeeds(const std::vector<ArchiveMap>& maps,
                                          const std::vector<std::string>& members) const;
    // Installs it below the player's folder, each file by its own folder
    // (the move options do not apply).
    Outcome<UmodInstallResult> installUmodArchive(const UmodPackage& package);

    // ---- installations taken back -------------------------------------------
    // Every archive installation the undo log holds (none when it cannot be read).
    std::vector<Installation> installations() const;
    // Takes these installed files back: each is deleted where it still holds
    // the bytes that were installed; one changed since stays and is reported,
    // one already gone is forgotten.
    Outcome<TakeBackResult> undoInstalledFiles(const std::vector<std::string>& paths);

    // ---- the undo log -----------------------------------------------------------
    std::string undoDatabase() const;
    // The undo log's move records; false (with `error`) when it cannot be read.
    bool undoRecords(std::vector<UndoRecord>& out, std::string* error = nullptr) const;
    // The questions come first, from the window or the command line; the
    // operations then never ask in the middle.
    // "&Undo Selections": says when nothing is selected, then asks; why not
    // (said already), or nullopt to go on.
    std::optional<Refused> confirmUndo(const std::vector<std::string>& newNames);
    // Moves the files of the records with these new paths back.
    Outcome<UndoResult> undo(const UndoRequest& request);
    bool confirmEmptyUndoLog();
    Outcome<Completed> emptyUndoLog();
    Outcome<Completed> compactUndoLog();
    // The undo log's size in bytes as CFile reports it (empty when missing).
    std::string undoLogSize() const;

    // ---- tidying the cache ------------------------------------------------------
    // What a tidy would do (reads only, on any thread).
    TidyPlan planTidy(const TidyOptions& options) const;
    // The tidy: the operation lock held and the game not running (a dry run
    // needs neither and writes nothing); the list is scanned again after a
    // change. With `confirmed`, only what that plan (shown to the user) holds
    // and still holds now is done.
    Outcome<TidyResult> tidy(const TidyRequest& request);

    // ---- housekeeping -------------------------------------------------------------
    const Housekeeping& housekeeping() const { return m_housekeeping; }
    // The purge period as the box holds it, written by SetPurgeDays().
    void setPurgeDaysText(std::string text) { m_housekeeping.setPurgeDaysText(std::move(text)); }
    // "Set": a whole number of days from 0 to 3650 is written into the game's
    // configuration; anything else is refused with a message.
    Outcome<Completed> SetPurgeDays();
    // Says when the cache is empty already, then asks (No says "Purge
    // cancelled."); why not (said already), or nullopt to go on.
    std::optional<Refused> confirmPurge();
    Outcome<PurgeResult> purgeCache();
    // The player's folder's .tmp files; refused while the game runs (one
    // may be a download under way).
    Outcome<Completed> deleteTempFiles();

    // ---- the never-move list ----------------------------------------------------
    // The list and its edits; the operations below apply them to the File List.
    const NeverMoveEditor& neverMoveEdits() const { return m_neverMove; }
    // Edits of the list not saved yet (nothing is written): a line added
    // (false when it was there), the selected lines removed, all lines
    // replaced, the edits kept over a change on disk.
    bool neverMoveAdd(const std::string& text) { return m_neverMove.add(text); }
    void neverMoveRemove(const std::vector<int>& selected, int current) {
        m_neverMove.remove(selected, current);
    }
    void neverMoveSetLines(std::vector<std::string> lines) {
        m_neverMove.setLines(std::move(lines));
    }
    void neverMoveKeepEdits() { m_neverMove.keepEdits(); }
    void LoadNeverMoveList() { m_neverMove.load(); }
    // "Save Changes": writes the lines and applies them to the File List.
    Outcome<Completed> neverMoveSave();
    // The list read again from its file, dropping unsaved edits, and applied
    // to the File List as a save is.
    void reloadNeverMoveList();
    // Right-click on a File List row: the question, then appending the name
    // to the file and marking the rows. false when nothing was added.
    bool confirmAddRowToNeverMove(size_t row);
    Outcome<Completed> addRowToNeverMove(size_t row);

    // ---- reporting --------------------------------------------------------------
    // The Status list keeps at least this many of the newest lines and never
    // twice as many (Tessvane.log holds every line of the last run).
    static constexpr size_t kStatusLinesKept = 100000;
    void addStatusLine(std::string line);
    void setStatusText(const std::string& text);
    // Who is told of lines, texts, progress and changes (none: nobody).
    // The observer outlives the session or is taken away first.
    void setObserver(SessionObserver* observer) { m_observer = observer ? observer : &m_nobody; }
    SessionObserver* observer() const { return m_observer; }

    // How long an operation waits for another Tessvane's work to end.
    void setLockWait(std::chrono::milliseconds wait) { m_runner.setLockWait(wait); }
    // "Today" for the undo records; tests set a fixed day.
    void setClock(std::function<int64_t()> clock) { m_clock = std::move(clock); }

    // ---- state --------------------------------------------------------------
    const std::string& programFolder() const { return m_programFolder; }
    // The game worked on.
    const GameInstall& install() const { return m_install; }
    // The game of this install is running (it may be writing its files).
    bool gameInUse() const;

    // ---- moves after each game ------------------------------------------------------
    // What starts the watch with the desktop and turns it on and off, for
    // this game (its calls may take seconds: off the window's thread).
    AfterGameService afterGameService() const;
    // Whether a watch looks after this game now (quick to ask).
    bool afterGameWatchRunning() const;
    // The settings the controls hold; the window and the command line edit them.
    const Settings& settings() const { return m_settings; }
    // The settings changed as the controls (or a command's options) say; an
    // operation under way keeps the ones it started with.
    void changeSettings(const std::function<void(Settings&)>& change) { change(m_settings); }
    // The install's folders as the last scan or operation worked them out.
    const CacheFolders& folders() const { return m_folders; }
    // Works them out afresh (an empty cache folder label gets the game's).
    void refreshFolders();
    // Whether the missing extensions were repaired in this program run.
    bool repairDone() const { return m_repairDone; }
    // Panel 3 of the status bar, and the "Status" tab's lines.
    const std::string& statusText() const { return m_statusText; }
    const std::deque<std::string>& statusList() const { return m_statusList; }
    void clearStatusList() { m_statusList.clear(); }
    // This folder is the game folder; the game's key is not read.
    void workOnFolder(std::string folder) { m_gameFolderOverride = std::move(folder); }
    // This install is worked on (tessvane-cli --game N).
    void workOnInstall(const GameInstall& install) {
        m_installOverride = install;
        m_install = install;
    }

    // ---- operations kept beside the session ------------------------------------
    // An operation of another part of the program (the content library),
    // admitted as the session's own are and run on the session's snapshot.
    template <class Result>
    Outcome<Result> operate(const OperationNeeds& needs,
                            const std::function<Outcome<Result>(const OperationWork&)>& body) {
        return m_runner.run<Result>(
            needs, [this] { return snapshot(); }, body);
    }
    // Where the engine's long work reports: the Status list and the callbacks.
    WorkSink workSink();

private:
    using Work = OperationWork;
    // What an operation works on, taken now.
    OperationWork snapshot() const;
    // The folders of this install as the cache folder label has it now (the
    // label itself is not changed).
    CacheFolders foldersOf(const GameInstall& install) const;
    // The words of a run's end in the status bar, and the scan after it.
    void afterRun(const RunRequest& request, const RunResult& result);
    Outcome<Completed> compactBody();
    // The purge's question and what it finds first.
    std::optional<Refused> purgeRefusal();
    // The chosen install stored and worked on from now (not while an
    // operation works on the one before).
    bool useInstall(const GameInstall& chosen);
    // What a killed installation left half-written in the folders it writes to.
    void removeInstallLeftovers(const Work& work);
    // The undo log's failures of an installation, as Status lines and
    // failures of its result.
    void reportJournal(const std::vector<std::string>& failures, std::vector<std::string>& into);
    // The stored install; an empty game folder when none is stored.
    GameInstall storedInstall();
    void storeInstall(const GameInstall& chosen);
    // Whether the stored cache folder label was saved for the game worked on.
    bool storedCacheDirIsTheGames() const;
    void storeCacheDirOwner();
    // The folder browser of ChooseGameFolder, then the install it names.
    bool browseForGame(bool mustChoose);
    void rowsChanged() { m_observer->rowsChanged(); }
    // A scan's rows and table; false (with the message shown) when Cache.ini
    // is missing or cannot be read.
    std::optional<Refused> scanInto(const CacheFolders& folders, bool readOnly,
                                    std::vector<FileRow>& fresh, std::vector<ScanTableEntry>& table,
                                    bool& missingExtension);
    // Makes `change` to the rows, then lets the window show them, in one step
    // where the window reads.
    void changeRows(const std::function<void()>& change);
    void inWindow(const std::function<void()>& f) { m_observer->inShowingThread(f); }
    // Why a run or an installation cannot go to the folders these options
    // name (a box left empty, a relative path); nullopt when they can.
    std::optional<Refused> destinationRefusal(RunOptions::Mode mode) const;
    bool checkDestination(RunOptions::Mode mode);
    static RunOptions runOptions(const Settings& settings);
    // The same for "Process Loaded ZIP", which uses the game's folders when
    // no option is chosen.
    static RunOptions archiveOptions(const Settings& settings);
    const std::string m_programFolder;
    GameInstall m_install;
    Settings m_settings;
    CacheFolders m_folders;
    bool m_repairDone = false;
    std::string m_statusText;
    std::deque<std::string> m_statusList; // grows without moving what it holds
    std::string m_gameFolderOverride;
    std::optional<GameInstall> m_installOverride;
    std::function<int64_t()> m_clock = now;
    OperationRunner m_runner;
    MapArchiveInstaller m_archives;
    RegistryStore& m_registry;
    Prompter& m_prompter;
    SessionObserver m_nobody;
    SessionObserver* m_observer = &m_nobody;
    NeverMoveEditor m_neverMove;
    FileList m_fileList;
    Housekeeping m_housekeeping;
    // The File List after the never-move list changed: marks, ticks, count.
    void applyNeverMoveList();
};

} // namespace tv
