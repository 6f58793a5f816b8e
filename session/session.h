#pragma once

#include "archives/map_archive.h"
#include "archives/umod_installer.h"
#include "engine/cache_index.h"
#include "engine/cache_run.h"
#include "engine/cache_tidy.h"
#include "file_list.h"
#include "games/game_install.h"
#include "housekeeping.h"
#include "never_move_editor.h"
#include "platform/dates.h"
#include "session_observer.h"
#include "store/never_move.h"
#include "store/settings.h"
#include "store/undo_log.h"
#include "watch_service.h"

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

class Prompter;
class RegistryStore;

// A Status line that reports a failure ("**ERROR** ...", "Not undone: ...").
bool isFailureLine(const std::string& line);

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
    // applies the selection rules; false when Cache.ini is missing.
    bool ScanCache();
    void ClearScanTable() { m_fileList.clearScanTable(); }
    // The rows and the scan table. A change made here by hand is shown by
    // calling rowsChangedByHand().
    FileList& fileList() { return m_fileList; }
    const FileList& fileList() const { return m_fileList; }
    void rowsChangedByHand() { rowsChanged(); }
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
    // The run: folders prepared, the cache backed up when asked, the ticked
    // rows moved, then the list scanned again. false when it stopped before
    // touching a file (the reason was shown).
    bool runCommand(bool dryRun = false);
    // The names a run moves: the texts of the ticked rows that are not on the
    // never-move list.
    std::unordered_set<std::string> selectedNames() const { return m_fileList.selectedNames(); }
    RunOptions runOptions() const;
    // The same for "Process Loaded ZIP", which uses the game's folders when
    // no option is chosen.
    RunOptions archiveOptions() const;
    bool checkArchiveDestination();
    // An operation is under way (the window reads it while the work goes on
    // on another thread).
    bool busy() const { return m_running; }
    // What the last run did.
    const RunResult& lastRun() const { return m_lastRun; }
    // The last run, undo, purge or never-move save could not do all it was
    // asked (a move, copy, deletion, undo or Cache.ini rewrite failed, the
    // undo log could not be written, or another Tessvane was working). A
    // file kept because its destination exists is no failure.
    bool lastFailed() const { return m_lastFailed; }

    // ---- map archives -----------------------------------------------------------
    // Loads one archive: previewed when it is the only one chosen and "U&nZIP
    // without preview" is off, else its maps go straight into the Maps
    // folder. Refused and unreadable archives were reported to the user.
    MapArchiveInstaller::Load loadZipArchive(const std::string& path, bool several);
    // "Process Loaded ZIP" once the destination check has passed: the folders
    // prepared, the loaded archive's members copied, the log written. false
    // when it stopped before copying anything (the reason was shown).
    bool processLoadedZip();
    // The archive loaded (its preview, members and extract folder).
    const MapArchiveInstaller& archives() const { return m_archives; }
    MapArchiveInstaller& archives() { return m_archives; }

    // ---- UMOD installers -------------------------------------------------------
    // The installer read (directory and manifest); nullopt after a message
    // saying why it cannot be installed.
    std::optional<UmodPackage> loadUmodArchive(const std::string& path);
    // What an archive's maps need and which of those neither the archive
    // nor the game has: lines for its preview.
    std::vector<std::string> archiveNeeds(const std::vector<ArchiveMap>& maps,
                                          const std::vector<std::string>& members) const;
    // Installs it below the player's folder, each file by its own folder
    // (the move options do not apply). false when it did not start.
    bool installUmodArchive(const UmodPackage& package);

    // ---- installations taken back -------------------------------------------
    // Every archive installation the undo log holds (none when it cannot be read).
    std::vector<Installation> installations() const;
    // Takes these installed files back: each is deleted where it still holds
    // the bytes that were installed; one changed since stays and is reported,
    // one already gone is forgotten. false when it did not start.
    bool undoInstalledFiles(const std::vector<std::string>& paths);

    // ---- the undo log -----------------------------------------------------------
    std::string undoDatabase() const;
    // The undo log's move records; false (with `error`) when it cannot be read.
    bool undoRecords(std::vector<UndoRecord>& out, std::string* error = nullptr) const;
    // The questions come first, from the window or the command line; the
    // operations then never ask in the middle.
    // "&Undo Selections": says when nothing is selected, then asks.
    bool confirmUndo(const std::vector<std::string>& newNames);
    // Moves the files of the records with these new paths back; false when
    // nothing was undone (no selection, or the undo log could not be used).
    bool undoSelections(const std::vector<std::string>& newNames);
    bool confirmEmptyUndoLog();
    bool emptyUndoLog();
    void compactUndoLog();
    // The undo log's size in bytes as CFile reports it (empty when missing).
    std::string undoLogSize() const;

    // ---- tidying the cache ------------------------------------------------------
    // What a tidy would do (reads only, on any thread).
    TidyPlan planTidy(const TidyOptions& options) const;
    // The tidy: the operation lock held and the game not running (a dry run
    // needs neither and writes nothing); the list is scanned again after a
    // change. With `confirmed`, only what that plan (shown to the user) holds
    // and still holds now is done. false when it did not start (the reason
    // was shown).
    bool tidyCache(const TidyOptions& options, const TidyPlan* confirmed = nullptr);

    // ---- housekeeping -------------------------------------------------------------
    Housekeeping& housekeeping() { return m_housekeeping; }
    const Housekeeping& housekeeping() const { return m_housekeeping; }
    // "Set": a whole number of days from 0 to 3650 is written into the game's
    // configuration; anything else is refused with a message.
    bool SetPurgeDays();
    // Says when the cache is empty already, then asks (No says "Purge cancelled.").
    bool confirmPurge();
    bool purgeCache();
    // The player's folder's .tmp files; refused while the game runs (one
    // may be a download under way).
    void deleteTempFiles();

    // ---- the never-move list ----------------------------------------------------
    // The list and its edits; the operations below apply them to the File List.
    NeverMoveEditor& neverMoveEdits() { return m_neverMove; }
    const NeverMoveEditor& neverMoveEdits() const { return m_neverMove; }
    void LoadNeverMoveList() { m_neverMove.load(); }
    // "Save Changes": writes the lines and applies them to the File List.
    bool neverMoveSave();
    // The list read again from its file, dropping unsaved edits, and applied
    // to the File List as a save is.
    void reloadNeverMoveList();
    // Right-click on a File List row: the question, then appending the name
    // to the file and marking the rows. false when nothing was added.
    bool confirmAddRowToNeverMove(size_t row);
    bool addRowToNeverMove(size_t row);

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
    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
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
    // A dry run: scans only read (no repair, no purge period written).
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }

    Prompter& prompter() { return m_prompter; }
    RegistryStore& registry() { return m_registry; }

private:
    // What an operation needs before it may start.
    struct Needs {
        bool busy = true;        // the session marked working, one operation at a time
        bool lock = true;        // the operation lock (one Tessvane at work on the game)
        bool gameStopped = true; // the game not running
        bool fresh = true;       // a new operation: lastFailed cleared (else part of one)
        bool waitForLock = true; // else another Tessvane at work means "not now", unsaid
    };
    static Needs readsOnly() { return {.lock = false, .gameStopped = false}; }
    // What an operation works on, taken once when it starts: a game chosen or
    // a scan made meanwhile does not reach it, and it writes none of it back.
    struct Work {
        GameInstall install;
        CacheFolders folders;
    };
    // The folders of this install as the cache folder label has it now (the
    // label itself is not changed).
    CacheFolders foldersOf(const GameInstall& install) const;
    // Runs `body` once what it needs is had, taken in one fixed order: the
    // busy flag (test-and-set), the operation lock, the game stopped, then
    // the snapshot of the install and its folders handed to `body`. false
    // when it did not start (the reason was shown and marked) or `body` said
    // so.
    bool operate(const Needs& needs, const std::function<bool(const Work&)>& body);
    // The operations' work once operate() let them start.
    bool runBody(const Work& work, bool dryRun);
    bool backUpBeforeTheRun(const Work& work);
    bool undoBody(const Work& work, const std::vector<std::string>& newNames);
    void compactBody();
    bool tidyBody(const Work& work, const TidyOptions& options, const TidyPlan* confirmed);
    bool installUmodBody(const Work& work, const UmodPackage& package);
    bool undoInstalledBody(const Work& work, const std::vector<std::string>& paths);
    // The chosen install stored and worked on from now (not while an
    // operation works on the one before).
    bool useInstall(const GameInstall& chosen);
    // Reports what stopped an operation before it touched anything.
    bool refuse(const std::string& message);
    // Where the engine's long work reports: the Status list and the callbacks.
    WorkSink workSink();
    // The undo log open and locked for writing; false (with the message
    // shown) when it cannot be.
    bool openUndoForWriting(UndoLog& undo, const std::string& nothingDone);
    // What a killed installation left half-written in the folders it writes to.
    void removeInstallLeftovers(const CacheFolders& folders);
    // The undo log's failures of an installation, as Status lines.
    void reportJournal(const std::vector<std::string>& failures);
    void markFailure(const std::string& line = {});
    // True (with the message shown and the failure marked) when the game of
    // the install is running: files must not change under it.
    bool refuseWhileGameRuns(const GameInstall& install);
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
    bool scanInto(const CacheFolders& folders, std::vector<FileRow>& fresh,
                  std::vector<ScanTableEntry>& table, bool& missingExtension);
    // Makes `change` to the rows, then lets the window show them, in one step
    // where the window reads.
    void changeRows(const std::function<void()>& change);
    void inWindow(const std::function<void()>& f) { m_observer->inShowingThread(f); }
    // The run's and the installer's destination folders: the chosen folder
    // and, with the game's structure, its subfolders. false (with the message
    // shown) when one cannot be created.
    bool prepareDestinationFolders(RunOptions::Mode mode, const char* nothingDone);
    bool checkDestination(RunOptions::Mode mode);
    // A trailing separator goes from both folder boxes.
    void dropTrailingSeparators();
    // The busy flag for an operation's lifetime; held() is false when
    // another operation has it.
    class Busy {
    public:
        explicit Busy(Session& s);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
        bool held() const { return m_held; }

    private:
        Session& m_session;
        bool m_held = false;
    };

    const std::string m_programFolder;
    GameInstall m_install;
    Settings m_settings;
    CacheFolders m_folders;
    bool m_repairDone = false;
    std::string m_statusText;
    std::deque<std::string> m_statusList; // grows without moving what it holds
    std::string m_gameFolderOverride;
    std::optional<GameInstall> m_installOverride;
    // Where running programs are listed (tests point it elsewhere).
    std::string m_procRoot = "/proc";
    bool m_dryRun = false;
    std::function<int64_t()> m_clock = now;
    std::atomic<bool> m_running{false};
    bool m_lastFailed = false;
    RunResult m_lastRun;
    UmodInstallResult m_lastUmod;
    TidyResult m_lastTidy;
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
