#include "game_install.h"

#include "formats/ini.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <filesystem>

namespace tv {

const char* gameName(Game game) {
    return game == Game::UT2004 ? "UT2004" : "UT2003";
}

std::optional<Game> gameFromName(const std::string& name) {
    if (equalsNoCase(name, "UT2003")) return Game::UT2003;
    if (equalsNoCase(name, "UT2004")) return Game::UT2004;
    return std::nullopt;
}

const char* kindName(InstallKind kind) {
    switch (kind) {
    case InstallKind::Native:
        return "native";
    case InstallKind::Wine:
        return "wine";
    case InstallKind::Steam:
        return "steam";
    case InstallKind::ByHand:
        return "chosen";
    }
    return "chosen";
}

std::optional<InstallKind> kindFromName(const std::string& name) {
    for (InstallKind k :
         {InstallKind::Native, InstallKind::Wine, InstallKind::Steam, InstallKind::ByHand})
        if (equalsNoCase(name, kindName(k))) return k;
    return std::nullopt;
}

std::string gameIniName(Game game) {
    return std::string(gameName(game)) + ".ini";
}

std::string nativeUserFolder(Game game, const std::string& home) {
    return joinPath(home, game == Game::UT2004 ? ".ut2004" : ".ut2003");
}

namespace {

// "../Cache" against "/home/p/.ut2004/System" is "/home/p/.ut2004/Cache";
// a whole path stays as it is. Windows separators count as separators.
std::string resolveAgainst(const std::string& systemFolder, std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty()) return {};
    std::filesystem::path p(path);
    if (p.is_relative()) p = std::filesystem::path(systemFolder) / p;
    p = p.lexically_normal();
    std::string out = p.string();
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    // Folder names of a game copied from Windows may differ in case.
    const std::string parent = folderOf(out);
    if (auto found = lookupInFolder(parent, fileNameOf(out))) return *found;
    return out;
}

bool hasEntryStartingWith(const std::string& folder, const std::string& prefix) {
    bool found = false;
    listFolder(folder, [&](std::string_view name) {
        if (!found && name.size() >= prefix.size() &&
            equalsNoCase(name.substr(0, prefix.size()), prefix))
            found = true;
    });
    return found;
}

// Where the community release keeps its binary for each processor.
const std::pair<const char*, const char*> kCommunityBinaries[] = {
    {"System", "UT2004"},
    {"SystemARM64", "UT2004"},
    {"SystemPPC64LE", "UT2004-powerpc64le"},
};

} // namespace

void readGameConfiguration(GameInstall& in) {
    const std::string system = findInFolder(in.userFolder, "System");
    in.gameIni = findInFolder(system, gameIniName(in.game));
    in.userIni = findInFolder(system, "User.ini");
    in.cacheFolder.clear();
    in.cacheExt.clear();
    in.purgeDays.clear();
    if (!fileExists(in.gameIni)) return;
    auto lines = readLines(in.gameIni);
    if (!lines) return;
    const std::string cachePath = trim(iniValue(*lines, "Core.System", "CachePath", ""));
    if (!cachePath.empty()) in.cacheFolder = resolveAgainst(system, cachePath);
    std::string ext = trim(iniValue(*lines, "Core.System", "CacheExt", ""));
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    in.cacheExt = ext;
    in.purgeDays = trim(iniValue(*lines, "Core.System", "PurgeCacheDays", ""));
    in.packagePaths = iniValues(*lines, "Core.System", "Paths");
}

std::vector<PackageFolder> packageFolders(const GameInstall& install) {
    static const std::vector<std::string> kDefaults = {
        "../System/*.u",       "../Maps/*.ut2",     "../Textures/*.utx",
        "../Sounds/*.uax",     "../Music/*.umx",    "../StaticMeshes/*.usx",
        "../Animations/*.ukx", "../KarmaData/*.ka", "../Saves/*.uvx"};
    // More than any configuration holds: a hostile one costs no more.
    constexpr size_t kMaxPaths = 64;
    const auto& paths = install.packagePaths.empty() ? kDefaults : install.packagePaths;
    std::vector<std::string> systems{findInFolder(install.userFolder, "System")};
    if (!install.gameFolder.empty() && install.gameFolder != install.userFolder)
        systems.push_back(findInFolder(install.gameFolder, "System"));
    std::vector<PackageFolder> out;
    for (const auto& system : systems) {
        for (size_t i = 0; i < paths.size() && i < kMaxPaths; ++i) {
            std::string path = trim(paths[i]);
            for (char& c : path)
                if (c == '\\') c = '/';
            const size_t slash = path.rfind('/');
            if (path.empty() || (slash != std::string::npos && slash + 1 == path.size())) continue;
            // "*.u" alone names the System folder itself.
            PackageFolder f = slash == std::string::npos
                                  ? PackageFolder{system, path}
                                  : PackageFolder{resolveAgainst(system, path.substr(0, slash)),
                                                  path.substr(slash + 1)};
            if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(std::move(f));
        }
    }
    return out;
}

bool hasLinuxBinary(const std::string& folder, Game game) {
    const std::string system = findInFolder(folder, "System");
    if (hasEntryStartingWith(system, game == Game::UT2004 ? "ut2004-bin" : "ut2003-bin"))
        return true;
    if (game != Game::UT2004) return false;
    // The community release (3374 and later): one binary per processor's
    // folder, named after the game without the "-bin".
    for (const auto& [folderName, binary] : kCommunityBinaries) {
        const auto found = lookupInFolder(findInFolder(folder, folderName), binary);
        if (found && fileExists(*found)) return true;
    }
    return false;
}

std::optional<Game> gameInFolder(const std::string& folder) {
    const std::string system = findInFolder(folder, "System");
    if (!folderExists(system))
        return hasLinuxBinary(folder, Game::UT2004) ? std::optional(Game::UT2004) : std::nullopt;
    for (Game g : {Game::UT2004, Game::UT2003}) {
        const std::string name = gameName(g);
        if (lookupInFolder(system, name + ".ini") || lookupInFolder(system, name + ".exe") ||
            hasLinuxBinary(folder, g))
            return g;
    }
    return std::nullopt;
}

std::string gameFolderRefusal(const std::string& folder) {
    if (folder.empty()) return "No game folder is named.";
    if (folder.front() != '/') return "\"" + folder + "\" is not a full path to a game folder.";
    if (folder.find_first_not_of('/') == std::string::npos)
        return "/ is the root folder, not a game folder.";
    return {};
}

GameInstall installFromFolder(const std::string& folder, const std::string& home) {
    GameInstall in;
    in.gameFolder = withoutTrailingSeparator(folder);
    in.userFolder = in.gameFolder;
    in.game = gameInFolder(in.gameFolder).value_or(Game::UT2003);
    const std::string user = nativeUserFolder(in.game, home);
    if (!home.empty() && hasLinuxBinary(in.gameFolder, in.game) && folderExists(user)) {
        in.kind = InstallKind::Native;
        in.userFolder = user;
    }
    readGameConfiguration(in);
    return in;
}

std::string installLabel(const GameInstall& install, const std::string& cacheFolder,
                         const std::string& home) {
    const char* kind = "chosen folder";
    switch (install.kind) {
    case InstallKind::Native:
        kind = "native";
        break;
    case InstallKind::Wine:
        kind = "Wine";
        break;
    case InstallKind::Steam:
        kind = "Steam";
        break;
    case InstallKind::ByHand:
        break;
    }
    const std::string folder = withHomeAsTilde(cacheFolder, home);
    return std::string(gameName(install.game)) + " (" + kind + ") \u2014 " + folder;
}

} // namespace tv
