#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tv {

enum class Game { UT2003, UT2004 };
// How the game came to be on this machine.
enum class InstallKind { Native, Wine, Steam, ByHand };

// "UT2003", "UT2004".
const char* gameName(Game game);
std::optional<Game> gameFromName(const std::string& name);
// "native", "wine", "steam", "chosen".
const char* kindName(InstallKind kind);
std::optional<InstallKind> kindFromName(const std::string& name);

// One install of the game: where it is, where the player's files live, and
// what its live configuration says of the cache.
struct GameInstall {
    Game game = Game::UT2003;
    InstallKind kind = InstallKind::ByHand;
    // The game's own folder (read; a native install's may be read-only).
    std::string gameFolder;
    // Where the player's files live and where packages go: a native
    // install's ~/.ut2003 or ~/.ut2004, otherwise the game folder.
    std::string userFolder;
    // The live game configuration (System/UT2003.ini or UT2004.ini of the
    // user folder) and User.ini beside it; paths even when the files do not
    // exist (they are never created).
    std::string gameIni;
    std::string userIni;
    // From the live configuration's [Core.System]: the cache folder
    // (CachePath resolved against its System folder; empty when the
    // configuration names none), the cache extension without its dot (empty
    // likewise) and the purge period as written (empty when not written).
    std::string cacheFolder;
    std::string cacheExt;
    std::string purgeDays;
    // Where the game looks for packages: [Core.System]'s Paths= as written
    // ("../Maps/*.ut2", ...), relative to a System folder.
    std::vector<std::string> packagePaths;
};

// A folder the game reads packages from and the names it reads there.
struct PackageFolder {
    std::string folder;
    std::string pattern; // "*.ut2"
    bool operator==(const PackageFolder&) const = default;
};

// The folders of the configuration's Paths=, as the game resolves them:
// against the player's System folder, then (when it is another) the game
// folder's. Without Paths= (no configuration, none written) the game's own
// defaults are taken. Folder names are found without regard to case.
std::vector<PackageFolder> packageFolders(const GameInstall& install);

// The live configuration's file name, "UT2003.ini" or "UT2004.ini".
std::string gameIniName(Game game);

// Fills in the configuration paths and what [Core.System] says, from the
// game, the kind and the two folders. Reads only.
void readGameConfiguration(GameInstall& install);

// The game a folder holds (a game folder or a native user folder): its
// System folder's configuration, Windows program or Linux binary tells.
std::optional<Game> gameInFolder(const std::string& folder);
// The folder holds the Linux version of the game (a native binary in System).
bool hasLinuxBinary(const std::string& folder, Game game);

// Why `folder` cannot be a game folder (empty when it can): it must be a
// whole path, and not the root folder (which holds everything).
std::string gameFolderRefusal(const std::string& folder);

// A folder the user named (or that the settings hold): the game it holds
// (UT2003 when it cannot tell), native when it holds the Linux binary and the
// player's folder exists in `home`.
GameInstall installFromFolder(const std::string& folder, const std::string& home);

// Which game this is, for the player: "UT2004 (native) — ~/.ut2004/Cache"
// (the cache folder, below `home` written with "~").
std::string installLabel(const GameInstall& install, const std::string& cacheFolder,
                         const std::string& home);

// The native player folder of a game under `home`: home/.ut2003 or .ut2004.
std::string nativeUserFolder(Game game, const std::string& home);

} // namespace tv
