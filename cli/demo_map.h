#pragma once
// The demo's maps: whole UT2003 packages whose LevelSummary and LevelInfo
// say what a real map says (title, author, players, game type, music) and
// whose screenshot is a picture of their own, so the demo shows what the
// window shows of a map.

#include <cstdint>
#include <string>

namespace tv {

struct DemoMap {
    std::string title, author, gameType, song;
    int32_t playersMin = 0, playersMax = 0;
};

// The package, with `guid` (32 hexadecimal digits) as its GUID.
std::string demoMapPackage(const DemoMap& map, const std::string& guid);

} // namespace tv
