#pragma once

#include "game_install.h"

#include <string>
#include <vector>

namespace tv {

// Where discovery looks, worked out from the environment once.
struct DiscoveryPlaces {
    std::string home;
    std::string dataHome;   // $XDG_DATA_HOME, else ~/.local/share
    std::string winePrefix; // $WINEPREFIX, when set
    // Folders that hold native game folders named ut2003/ut2004 (any case).
    std::vector<std::string> nativeRoots;

    static DiscoveryPlaces fromEnvironment();
};

// Every install found, without writing anything: native player folders and
// the usual install folders, Wine prefixes (through their system.reg, both
// registry views, else the usual folders under drive_c), Steam libraries,
// and `stored` (the folder the settings hold, when set and not found
// otherwise). One entry per game folder; the order is stable.
std::vector<GameInstall> discoverInstalls(const DiscoveryPlaces& places,
                                          const std::string& stored = {});

// A place discovery looks in, and what it looks for there.
enum class PlaceKind {
    GameFolders,  // folders named ut2003 or ut2004 (any case) in it
    PlayerFolder, // a native game's ~/.ut2003 or ~/.ut2004
    WinePrefix,
    SteamLibrary, // a Steam folder or a library it lists
};
struct SearchedPlace {
    PlaceKind kind;
    std::string folder;
};

// The places discoverInstalls looks in (those that do not exist too), by
// kind in its order, worked out as it works them out: the prefixes below
// Lutris', PlayOnLinux's and Bottles' folders, the libraries each Steam
// folder lists. Reads only, like discovery; says where a game was looked
// for when none was found.
std::vector<SearchedPlace> searchedPlaces(const DiscoveryPlaces& places);

// The Steam libraries of a libraryfolders.vdf's text ("path" values, and the
// numbered entries of the older form).
std::vector<std::string> steamLibraryPaths(const std::string& vdfText);

// A Windows path of a Wine prefix ("C:\UT2004") as a path of this machine,
// through the prefix's dosdevices links (drive_c for C: without them); each
// name looked up without regard to case. Empty when it cannot be mapped.
std::string windowsPathInPrefix(const std::string& prefix, const std::string& windowsPath);

} // namespace tv
