#pragma once
// What a map says of itself: the title, author, description and player
// counts of its LevelSummary (its LevelInfo where the summary has none), the
// game type and music of its LevelInfo, and its screenshot, as the game's map
// menu shows them. UT2003 (file version 119) and UT2004 (126-128) alike.

#include "package_imports.h"
#include "texture_image.h"

#include <functional>
#include <optional>
#include <string>

namespace tv {

struct MapFacts {
    enum class Kind { Map, NotAMap, NotAPackage, Damaged, Unreadable } kind = Kind::Unreadable;
    std::string why; // Damaged: what is wrong; Unreadable: the error
    std::string title, author, description;
    std::string defaultGameType, song;
    std::optional<int32_t> playersMin, playersMax; // none stored: none shown
    bool hideFromMenus = false;
    uint16_t fileVersion = 0;
};

struct MapPicture {
    enum class Kind { Picture, NoPicture, Damaged, Unreadable } kind = Kind::NoPicture;
    // NoPicture: why there is none ("no picture in this map", "its
    // screenshot's materials lead back to themselves", ...); Damaged: what is wrong.
    std::string why;
    Picture picture;
    std::string textureName;
    TextureFormat format = TextureFormat::P8;
};

// The file of another package, when it is installed (or in the same
// archive); empty when it is not. A screenshot may live in another package.
using LocatePackage = std::function<std::string(const std::string& package)>;

struct MapRead {
    MapFacts facts;
    MapPicture picture;
};

struct MapReadOptions {
    bool picture = false;
    // The largest picture wanted: the first mip (the largest first) that
    // fits is decoded, the others are skipped without being read.
    int maxWidth = kMaxPictureSide, maxHeight = kMaxPictureSide;
    LocatePackage locate;
};

MapRead readMap(const ReadAt& read, uint64_t fileSize, const MapReadOptions& options = {});
MapRead readMapFile(const std::string& path, const MapReadOptions& options = {});

// "no picture in this map": what a map without one says.
extern const char* const kNoPictureText;

} // namespace tv
