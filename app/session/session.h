#pragma once

#include "app/core/never_move.h"
#include "app/core/settings.h"
#include "engine/cache_index.h"

#include <functional>
#include <string>
#include <vector>

namespace tv {

class Prompter;
class RegistryStore;

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
    // GameFolder from the game's key; when it is missing the user must choose it.
    void readGameFolder();
    // The game folder chosen by hand, written to the game's key. With
    // mustChoose the user is asked again until a folder is chosen.
    void ChooseGameFolder(bool mustChoose);
    // InstallPath = the program folder, when it is not stored yet.
    void ensureInstallPath();
    void loadSettings();
    void saveSettings();
    // The player's name from the game's User.ini (after a scan).
    std::string playerName() const;
    // "&Set the UT dir": choose the game folder (may cancel) and point the
    // cache folder label at its Cache folder.
    void setUtDir();

    // ---- the File List --------------------------------------------------
    // Rebuilds the rows from Cache.ini and applies the selection rules; false
    // when Cache.ini is missing.
    bool ScanCache();
    void ClearScanTable() { scanTable.clear(); }
    // Commit, Re-Scan: clear the rows and scan again.
    bool rescan();
    void checkAll();
    void uncheckAll();
    // Status text after the rows changed by hand: "Found n file(s) to process".
    void updateFoundText();
    // A cache folder chosen with "...": the label takes it and the list is rebuilt.
    void chooseCacheFolder(const std::string& folder);

    // ---- purge setting ----------------------------------------------------
    void SetPurgeDays();

    // Called with the cache folder when a scan found entries without an
    // extension and no repair has run yet.
    std::function<void(const std::string&)> fixMissingExtensions;

    // ---- state --------------------------------------------------------------
    const std::string programFolder;
    std::string gameFolder;
    Settings settings;
    std::string purgeDaysText; // txtPurgeCacheDays
    CacheFolders folders;
    std::vector<FileRow> rows;
    std::vector<ScanTableEntry> scanTable;
    NeverMoveList neverMove;
    bool repairDone = false;
    std::string statusText;              // panel 3 of the status bar
    std::vector<std::string> statusList; // the "Status" tab's lines
    // When set, this folder is the game folder and the game's key is not read.
    std::string gameFolderOverride;

    Prompter& prompter() { return m_prompter; }
    RegistryStore& registry() { return m_registry; }

private:
    RegistryStore& m_registry;
    Prompter& m_prompter;
};

} // namespace tv
