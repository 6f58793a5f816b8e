#include "session.h"

#include "app/core/purge.h"
#include "app/core/undo_log.h"
#include "platform/cls_registry.h"
#include "platform/ini.h"
#include "platform/prompter.h"
#include "platform/text_io.h"

namespace tv {

Session::Session(std::string folder, RegistryStore& registry, Prompter& prompter)
    : programFolder(std::move(folder)), m_registry(registry), m_prompter(prompter) {}

bool Session::checkRequiredFiles() {
    static const char* const required[][2] = {
        {"Tessvane.ini", "Tessvane.ini"},
        {"TessvaneDontMove.ini", "TessvaneDontMove.ini"},
        {"search.gif", "Search.gif"},
        {"tessvane.mdb", "Tessvane.mdb"},
    };
    for (const auto& r : required) {
        auto found = lookupInFolder(programFolder, r[0]);
        if (found && fileExists(*found)) continue;
        m_prompter.message(std::string("A critical file (") + r[1] +
                           ") is missing...please re-install the program.");
        m_prompter.message("Remember to copy the latest EXE over the one installed...");
        return false;
    }
    return true;
}

void Session::readGameFolder() {
    if (!gameFolderOverride.empty()) {
        gameFolder = gameFolderOverride;
        return;
    }
    clsRegistry game(m_registry, &m_prompter);
    useGameKey(game);
    gameFolder = game.ReadEntry("Folder", "");
    if (gameFolder.empty()) {
        m_prompter.message("Unreal Tournament not found.\n\nPlease click OK to select the main "
                           "directory..\n(example - E:\\Games\\UT2003)");
        ChooseGameFolder(true);
        gameFolder = game.ReadEntry("Folder", "");
    }
}

void Session::ChooseGameFolder(bool mustChoose) {
    std::string chosen;
    for (;;) {
        chosen = m_prompter.browseForFolder("Choose the root UT folder:");
        if (!chosen.empty()) break;
        if (!mustChoose) return;
        m_prompter.message("You MUST select the root UT folder..");
    }
    clsRegistry game(m_registry, &m_prompter);
    useGameKey(game);
    game.WriteEntry("Folder", chosen);
}

void Session::setUtDir() {
    ChooseGameFolder(false);
    clsRegistry game(m_registry, &m_prompter);
    useGameKey(game);
    gameFolder = game.ReadEntry("Folder", gameFolder);
    settings.cacheDir = (!gameFolder.empty() && gameFolder.back() == '/') ? gameFolder + "Cache"
                                                                          : gameFolder + "/Cache";
}

void Session::ensureInstallPath() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    if (reg.ReadEntry("InstallPath", "").empty()) reg.WriteEntry("InstallPath", programFolder);
}

void Session::loadSettings() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    tv::loadSettings(reg, settings);
}

void Session::saveSettings() {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    tv::saveSettings(reg, settings);
}

std::string Session::playerName() const {
    return INIGetSettingString("DefaultPlayer", "Name", folders.userIni, "");
}

bool Session::ScanCache() {
    ClearScanTable();
    folders = workOutFolders(programFolder, gameFolder, settings.cacheDir);
    purgeDaysText = checkPurgeSetting(folders.gameIni, &m_prompter);

    auto cacheIni = lookupInFolder(folders.cacheFolder, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) {
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
    bool missingExtension = readCacheIndex(*lines, folders, rows, scanTable);
    tickBySelection(rows, settings);
    neverMove.load(neverMoveFilePath(programFolder));
    markNeverMove(rows, neverMove, false);
    uncheckDuplicates(rows);
    uncheckErrorEntries(rows);
    updateFoundText();
    if (missingExtension && !repairDone && fixMissingExtensions)
        fixMissingExtensions(folders.cacheFolder);
    return true;
}

bool Session::rescan() {
    rows.clear();
    return ScanCache();
}

void Session::checkAll() {
    for (auto& r : rows) r.ticked = true;
}

void Session::uncheckAll() {
    for (auto& r : rows) r.ticked = false;
}

void Session::updateFoundText() { statusText = foundText(countTicked(rows)); }

void Session::chooseCacheFolder(const std::string& folder) {
    if (folder.empty()) return;
    settings.cacheDir = folder;
    rescan();
}

void Session::SetPurgeDays() { tv::SetPurgeDays(purgeDaysText, folders.gameIni, &m_prompter); }

} // namespace tv
