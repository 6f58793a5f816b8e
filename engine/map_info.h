#pragma once
// A map's facts as the player sees them in the game: the package's own, with
// the localised title and description of System/<map>.int (and of the
// player's language's file) over them, the player's System folder before
// the game's; its screenshot, followed into another installed package
// where it lives there; and the music it plays, as a file the game needs.

#include "installed_packages.h"

#include "formats/map_facts.h"

#include <string>

namespace tv {

struct MapInfo {
    MapFacts facts;
    MapPicture picture;
    // The music LevelInfo names, Music/<Song>.ogg, and the installed file
    // (any letter case), empty when it is not installed.
    std::string musicFile, musicInstalled;
};

// `name`: the map's own file name where `path` does not end in it (a cache
// file is named by its GUID); its localised text is found by it.
MapInfo readMapInfo(const CacheFolders& folders, const InstalledPackages& installed,
                    const std::string& path, const MapReadOptions& options = {},
                    std::string_view name = {});

// Title= and Description= of [LevelSummary] in the map's localised text
// files, where they have them, over the package's.
void localise(MapFacts& facts, const CacheFolders& folders, std::string_view mapStem);

// The installed file of the music a map plays (any letter case), or empty.
std::string installedMusic(const CacheFolders& folders, const std::string& song);

// "6–10 players", "6 players", "up to 10 players"; empty when none stored.
std::string playersText(const MapFacts& facts);

} // namespace tv
