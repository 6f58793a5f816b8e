// The game worked on: the installs found, the choice among them, where it is
// stored, and the game running.
#include "session.h"

#include "platform/file_ops.h"

#include "formats/cls_registry.h"
#include "games/discovery.h"
#include "games/game_process.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

namespace tv {

namespace {

// Tessvane's own values beside the game folder of the game's key, with the
// game folder they were written for: other programs (the troubleshooter, an
// installer) write the game's key alone, and values of another folder must
// not choose the game.
constexpr const char* kGameValue = "Game";
constexpr const char* kKindValue = "GameKind";
constexpr const char* kUserFolderValue = "UserFolder";
constexpr const char* kInstallFolderValue = "InstallFolder";
// The game folder the stored cache folder label belongs to.
constexpr const char* kCacheDirGameValue = "CacheDirGame";

} // namespace

GameInstall Session::storedInstall() {
    clsRegistry game(m_registry, noticesTo(m_prompter));
    useGameKey(game);
    std::string folder = game.ReadEntry("Folder", "");
    if (folder.empty()) return {};
    // A folder written relative (by hand) would make relative undo records.
    if (folder.front() != '/') folder = wholePath(folder);
    if (const std::string why = gameFolderRefusal(folder); !why.empty()) {
        // As if none were stored: the game is chosen again.
        m_prompter.message("The stored game folder cannot be used. " + why);
        return {};
    }
    GameInstall in = installFromFolder(folder, DiscoveryPlaces::fromEnvironment().home);
    in.gameFolder = folder; // as stored
    clsRegistry own(m_registry, noticesTo(m_prompter));
    useSettingsKey(own);
    // Trusted only together, and only for the folder they were written for.
    if (sameFolder(own.ReadEntry(kInstallFolderValue, ""), folder)) {
        if (auto g = gameFromName(own.ReadEntry(kGameValue, ""))) in.game = *g;
        if (auto k = kindFromName(own.ReadEntry(kKindValue, ""))) in.kind = *k;
        const std::string user = own.ReadEntry(kUserFolderValue, "");
        if (!user.empty() && user.front() == '/' && folderExists(user)) in.userFolder = user;
    }
    readGameConfiguration(in);
    return in;
}

bool Session::storedCacheDirIsTheGames() const {
    clsRegistry own(m_registry);
    useSettingsKey(own);
    return sameFolder(own.ReadEntry(kCacheDirGameValue, ""), m_install.gameFolder);
}

void Session::storeCacheDirOwner() {
    clsRegistry own(m_registry, noticesTo(m_prompter));
    useSettingsKey(own);
    own.WriteEntry(kCacheDirGameValue, m_install.gameFolder);
}

void Session::storeInstall(const GameInstall& chosen) {
    clsRegistry game(m_registry, noticesTo(m_prompter));
    useGameKey(game);
    game.WriteEntry("Folder", chosen.gameFolder);
    clsRegistry own(m_registry, noticesTo(m_prompter));
    useSettingsKey(own);
    own.WriteEntry(kGameValue, gameName(chosen.game));
    own.WriteEntry(kKindValue, kindName(chosen.kind));
    own.WriteEntry(kUserFolderValue, chosen.userFolder);
    own.WriteEntry(kInstallFolderValue, chosen.gameFolder);
}

std::vector<GameInstall> Session::findInstalls() const {
    clsRegistry game(m_registry);
    useGameKey(game);
    return discoverInstalls(DiscoveryPlaces::fromEnvironment(), game.ReadEntry("Folder", ""));
}

std::pair<std::string, size_t> Session::cacheOf(const GameInstall& in) const {
    std::string label;
    const CacheFolders f = workOutFolders(m_programFolder, in, label);
    return {f.cacheFolder, cacheEntryCount(f)};
}

bool Session::browseForGame(bool mustChoose) {
    const std::string folder = ChooseGameFolder(mustChoose);
    if (folder.empty()) return false;
    return useInstall(installFromFolder(folder, DiscoveryPlaces::fromEnvironment().home));
}

bool Session::useInstall(const GameInstall& chosen) {
    // Not in the middle of an operation on the game worked on so far; the
    // game's key and Tessvane's own values are written together.
    const Outcome<Completed> used = m_runner.run<Completed>(
        OperationNeeds::readsOnly(), [this] { return snapshot(); },
        [&](const Work&) -> Outcome<Completed> {
            m_install = chosen;
            storeInstall(m_install);
            // The label follows the chosen game's cache folder, stored with the
            // game at once: the troubleshooter (and any other reader meanwhile)
            // never sees one game's folder with another's cache.
            m_settings.cacheDir.clear();
            refreshFolders();
            clsRegistry own(m_registry, noticesTo(m_prompter));
            useSettingsKey(own);
            own.WriteEntry("CacheDir", m_settings.cacheDir);
            storeCacheDirOwner();
            return Completed{};
        });
    return used.done();
}

std::vector<Session::GameChoice> Session::gameChoices() const {
    std::vector<GameChoice> choices;
    for (auto& in : findInstalls()) {
        auto [cache, entries] = cacheOf(in);
        choices.push_back({std::move(in), std::move(cache), entries});
    }
    return choices;
}

bool Session::chooseGame(bool mustChoose, const std::vector<GameChoice>& found) {
    if (found.empty()) {
        if (mustChoose)
            m_prompter.message("Unreal Tournament not found.\n\nPlease click OK to select the main "
                               "directory..\n(Ex - /home/you/ut2003)");
        return browseForGame(mustChoose);
    }
    ListRequest request;
    request.title = "Choose Game";
    request.text = found.size() == 1
                       ? "Tessvane found this game. Which one should it look after?"
                       : "Tessvane found these games. Which one should it look after?";
    request.headers = {"Game", "Kind", "Game folder", "Cache folder", "Entries"};
    for (const auto& [in, cache, entries] : found) {
        // The game worked on now is the one selected at first.
        if (!m_install.gameFolder.empty() && withoutTrailingSeparator(in.gameFolder) ==
                                                 withoutTrailingSeparator(m_install.gameFolder))
            request.selected = request.rows.size();
        request.rows.push_back(
            {gameName(in.game), kindName(in.kind), in.gameFolder, cache, std::to_string(entries)});
    }
    request.chooseLabel = "Use This Game";
    request.leaveLabel = mustChoose ? "Leave Tessvane" : "Cancel";
    for (;;) {
        const int pick = m_prompter.chooseFromList(request);
        // Browse... given up: back to the list, not out of it.
        if (pick == kChoseOther) {
            const std::string folder = ChooseGameFolder(false);
            if (folder.empty()) continue;
            return useInstall(installFromFolder(folder, DiscoveryPlaces::fromEnvironment().home));
        }
        if (pick < 0 || static_cast<size_t>(pick) >= found.size()) return false;
        return useInstall(found[static_cast<size_t>(pick)].install);
    }
}

bool Session::gameInUse() const {
    return installIsInUse(m_install, DiscoveryPlaces::fromEnvironment().home, m_runner.procRoot());
}

AfterGameService Session::afterGameService() const {
    return AfterGameService(m_programFolder, m_install.gameFolder);
}

bool Session::afterGameWatchRunning() const {
    return watchHolder(watchLockFile(m_programFolder, m_install.gameFolder)) != 0;
}

} // namespace tv
