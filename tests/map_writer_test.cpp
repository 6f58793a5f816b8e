// The map writer's bytes held against values given by the format's public
// descriptions, so the tests that use it rest on something outside both it
// and the readers.
#include "map_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace tvtest::ue;

std::string b(std::initializer_list<int> bytes) {
    std::string out;
    for (int v : bytes)
        out += static_cast<char>(v);
    return out;
}

uint32_t word(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(s.at(at + i));
    return v;
}

TEST(MapWriter, CompactIndexMatchesTheWikiTable) {
    EXPECT_EQ(compactIndex(0), b({0x00}));
    EXPECT_EQ(compactIndex(63), b({0x3F}));
    EXPECT_EQ(compactIndex(64), b({0x40, 0x01}));
    EXPECT_EQ(compactIndex(-1), b({0x81}));
    EXPECT_EQ(compactIndex(8191), b({0x7F, 0x7F})); // the largest with two bytes
    EXPECT_EQ(compactIndex(8192), b({0x40, 0x80, 0x01}));
}

TEST(MapWriter, IntPropertyTagIsNameInfoValueThenNone) {
    PackageWriter w;
    Props p(w); // "None" is name 0, "USize" name 1
    p.intProp("USize", 256);
    // Info 0x22: type 2 (IntProperty), size code 2 (four bytes), no array index.
    EXPECT_EQ(p.bytes(), b({0x01, 0x22, 0x00, 0x01, 0x00, 0x00, 0x00}));

    Props q(w);
    q.intProp("USize", 1, 2).boolProp("bHidden", true);
    // Bit 7 set and the index after the info byte; a bool's value is its bit 7.
    EXPECT_EQ(q.bytes(), b({0x01, 0xA2, 0x02, 0x01, 0x00, 0x00, 0x00, 0x02, 0x83, 0x00}));
}

TEST(MapWriter, HeaderCountsAndOffsetsLieInsideTheFile) {
    MapSpec spec;
    spec.fileVersion = 119;
    spec.title = "Rankin";
    spec.screenshotFormat = 3; // DXT1
    spec.shotWidth = spec.shotHeight = 4;
    spec.shotData = std::string(8, '\x55');
    const std::string map = mapBytes(spec);

    EXPECT_EQ(word(map, 0), 0x9E2A83C1u);
    EXPECT_EQ(word(map, 4), 119u); // file version 119, licensee 0
    const uint32_t names = word(map, 12), namesAt = word(map, 16);
    const uint32_t exports = word(map, 20), exportsAt = word(map, 24);
    const uint32_t imports = word(map, 28), importsAt = word(map, 32);
    EXPECT_GE(names, 10u);
    EXPECT_GE(exports, 4u); // myLevel, LevelSummary, LevelInfo0, MyShot
    EXPECT_GE(imports, 4u);
    for (uint32_t at : {namesAt, exportsAt, importsAt}) {
        EXPECT_GE(at, 64u);
        EXPECT_LT(at, map.size());
    }
    EXPECT_EQ(map.substr(namesAt, 6), b({0x05, 'N', 'o', 'n', 'e', 0x00}));
    EXPECT_EQ(word(map, 52), 1u); // one generation, with this save's counts
    EXPECT_EQ(word(map, 56), exports);
    EXPECT_EQ(word(map, 60), names);
}

} // namespace
