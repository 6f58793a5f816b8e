// What a map says of itself, read from maps our own writer makes from the
// public description of the format: facts, localised text, the screenshot
// through its materials, and maps that are damaged or hostile.
#include "engine/map_info.h"
#include "formats/map_facts.h"
#include "map_writer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace tvtest::ue;
using tv::MapFacts;
using tv::MapPicture;

tv::MapRead readBytes(const std::string& bytes, bool picture = true, int largest = 4096) {
    const tv::ReadAt read = [&bytes](uint64_t offset, char* buf, size_t size) -> ssize_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(size, bytes.size() - offset);
        std::memcpy(buf, bytes.data() + offset, n);
        return static_cast<ssize_t>(n);
    };
    tv::MapReadOptions options;
    options.picture = picture;
    options.maxWidth = options.maxHeight = largest;
    return tv::readMap(read, bytes.size(), options);
}

// One DXT1 block of a colour: both colours the same, every index 0.
std::string solidDxt1(uint16_t rgb565, int blocks) {
    std::string block = {static_cast<char>(rgb565 & 0xFF), static_cast<char>(rgb565 >> 8),
                         static_cast<char>(rgb565 & 0xFF), static_cast<char>(rgb565 >> 8)};
    block += std::string(4, '\0');
    std::string out;
    for (int i = 0; i < blocks; ++i)
        out += block;
    return out;
}

std::array<uint8_t, 4> firstPixel(const MapPicture& p) {
    return {p.picture.rgba[0], p.picture.rgba[1], p.picture.rgba[2], p.picture.rgba[3]};
}

} // namespace

TEST(MapFacts, BothGamesGiveTheSummaryAndTheLevelInfoAsTheMenuShowsThem) {
    for (uint16_t version : {119, 128}) {
        MapSpec spec;
        spec.fileVersion = version;
        spec.title = "Deck \x1B\xFF\x20\x20Seventeen"; // a colour code inside
        spec.author = "Someone";
        spec.description = "Two decks.";
        spec.playersMin = 4;
        spec.playersMax = 10;
        spec.infoPlayersMin = 1; // the summary's count comes first
        spec.defaultGameType = "xGame.xDeathMatch";
        spec.song = "KR-Infernal-Realm";
        spec.hideFromMenus = true;
        spec.infoFirst = version == 119;
        const tv::MapRead r = readBytes(mapBytes(spec), false);
        ASSERT_EQ(r.facts.kind, MapFacts::Kind::Map) << r.facts.why;
        EXPECT_EQ(r.facts.title, "Deck Seventeen");
        EXPECT_EQ(r.facts.author, "Someone");
        EXPECT_EQ(r.facts.description, "Two decks.");
        EXPECT_EQ(r.facts.playersMin, 4);
        EXPECT_EQ(r.facts.playersMax, 10);
        EXPECT_EQ(tv::playersText(r.facts), "4\u201310 players");
        EXPECT_EQ(r.facts.defaultGameType, "xGame.xDeathMatch");
        EXPECT_EQ(r.facts.song, "KR-Infernal-Realm");
        EXPECT_TRUE(r.facts.hideFromMenus);
        EXPECT_EQ(r.facts.fileVersion, version);
    }
    // A UTF-16 title; counts from the LevelInfo alone; none stored, none shown.
    MapSpec spec;
    spec.title = "Caf\xC3\xA9 \xE2\x82\xAC";
    spec.utf16Title = true;
    spec.infoPlayersMax = 8;
    const tv::MapRead r = readBytes(mapBytes(spec), false);
    EXPECT_EQ(r.facts.title, "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_FALSE(r.facts.playersMin);
    EXPECT_EQ(tv::playersText(r.facts), "up to 8 players");
    EXPECT_EQ(tv::playersText(readBytes(mapBytes(MapSpec{}), false).facts), "");
    // A package without a level is no map.
    PackageWriter w;
    w.exportTexture("Tex",
                    Props(w).byteProp("Format", 9).intProp("USize", 1).intProp("VSize", 1).bytes(),
                    {{"\x01", 1, 1}});
    EXPECT_EQ(readBytes(w.bytes()).facts.kind, MapFacts::Kind::NotAMap);
}

TEST(MapFacts, TheScreenshotIsFollowedThroughItsMaterialsToItsPixels) {
    MapSpec dxt;
    dxt.screenshotFormat = 3; // DXT1, 512 x 256 of pure red
    dxt.shotWidth = 512;
    dxt.shotHeight = 256;
    dxt.shotData = solidDxt1(0xF800, 128 * 64);
    dxt.throughMaterialSequence = true;
    MapPicture p = readBytes(mapBytes(dxt)).picture;
    ASSERT_EQ(p.kind, MapPicture::Kind::Picture) << p.why;
    EXPECT_EQ(p.picture.width, 512);
    EXPECT_EQ(p.textureName, "MyShot");
    EXPECT_EQ(firstPixel(p), (std::array<uint8_t, 4>{255, 0, 0, 255}));
    // A smaller view takes the next mip, skipping the first unread.
    p = readBytes(mapBytes(dxt), true, 256).picture;
    ASSERT_EQ(p.kind, MapPicture::Kind::Picture) << p.why;
    EXPECT_EQ(p.picture.width, 256);
    // P8 through its palette.
    MapSpec p8;
    p8.screenshotFormat = 0;
    p8.shotWidth = p8.shotHeight = 2;
    p8.shotData = std::string("\x01\x01\x01\x01", 4);
    p8.palette = {{0, 0, 0, 255}, {10, 20, 30, 255}};
    p = readBytes(mapBytes(p8)).picture;
    ASSERT_EQ(p.kind, MapPicture::Kind::Picture) << p.why;
    EXPECT_EQ(firstPixel(p), (std::array<uint8_t, 4>{10, 20, 30, 255}));
    // No screenshot at all.
    EXPECT_EQ(readBytes(mapBytes(MapSpec{})).picture.why, tv::kNoPictureText);

    // A shader whose diffuse is a combiner whose first material is the shader.
    PackageWriter w;
    const int32_t summary =
        w.exportObject(w.classRef("Engine", "LevelSummary"), "LevelSummary", "");
    const int32_t shader = w.exportObject(w.classRef("Engine", "Shader"), "Loop", "");
    const int32_t combiner = w.exportObject(w.classRef("Engine", "Combiner"), "Back", "");
    w.setSerialData(shader, Props(w).objectProp("Diffuse", combiner).bytes());
    w.setSerialData(combiner, Props(w).objectProp("Material1", shader).bytes());
    w.setSerialData(summary, Props(w).objectProp("Screenshot", shader).bytes());
    p = readBytes(w.bytes()).picture;
    EXPECT_EQ(p.kind, MapPicture::Kind::NoPicture);
    EXPECT_NE(p.why.find("lead back"), std::string::npos) << p.why;
}

TEST(MapFacts, DamagedAndHostileMapsAreRefusedAndSaySo) {
    MapSpec spec;
    spec.title = "T";
    spec.screenshotFormat = 5; // RGBA8 2 x 2
    spec.shotWidth = spec.shotHeight = 2;
    spec.shotData = std::string(16, '\x7F');
    const std::string whole = mapBytes(spec);
    ASSERT_EQ(readBytes(whole).picture.kind, MapPicture::Kind::Picture);
    // Cut anywhere: never read past the end, never taken for whole.
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        const tv::MapRead r = readBytes(whole.substr(0, cut));
        EXPECT_NE(r.picture.kind, MapPicture::Kind::Picture) << cut;
    }
    // A texture that claims 65,535 x 65,535, with a mip of 4 bytes.
    PackageWriter w;
    const int32_t summary =
        w.exportObject(w.classRef("Engine", "LevelSummary"), "LevelSummary", "");
    const int32_t huge = w.exportTexture(
        "Huge",
        Props(w).byteProp("Format", 5).intProp("USize", 65535).intProp("VSize", 65535).bytes(),
        {{std::string(4, '\0'), 65535, 65535}});
    w.setSerialData(summary, Props(w).objectProp("Screenshot", huge).bytes());
    const MapPicture p = readBytes(w.bytes()).picture;
    EXPECT_EQ(p.kind, MapPicture::Kind::NoPicture) << p.why; // no mip of a size that fits
    // A property whose declared size runs past the object.
    PackageWriter bad;
    const int32_t s = bad.exportObject(bad.classRef("Engine", "LevelSummary"), "LevelSummary", "");
    bad.setSerialData(
        s, Props(bad).raw("Title", PropType::Str, std::string(3, 'x'), 0, 7).bytes().substr(0, 5));
    const tv::MapRead r = readBytes(bad.bytes());
    EXPECT_EQ(r.facts.kind, MapFacts::Kind::Damaged);
    EXPECT_FALSE(r.facts.why.empty());
}

TEST(MapFacts, LocalisedTextAndMusicComeFromTheGameFolders) {
    tvtest::TempDir dir;
    tv::CacheFolders f;
    f.gameFolder = dir / "game";
    f.userFolder = dir / "player";
    f.gameIni = dir / "game/System/UT2004.ini";
    for (const char* sub : {"game/System", "player/System", "game/Music", "game/Maps"})
        tvtest::writeFile(dir / (std::string(sub) + "/.keep"), "");
    tvtest::writeFile(f.gameIni, "[Engine.Engine]\r\nLanguage=det\r\n");
    MapSpec spec;
    spec.title = "Package Title";
    spec.description = "Package text";
    spec.song = "KR-Face";
    tvtest::writeFile(dir / "game/Maps/DM-X.ut2", mapBytes(spec));
    // The player's German title before the game's international one; the
    // description from the international text, UTF-16 as the game writes it.
    tvtest::writeFile(dir / "player/System/DM-X.det", "[LevelSummary]\r\nTitle=Spieler\r\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[LevelSummary]\r\nTitle=Game\r\nDescription=Local\r\n"))
        utf16 += std::string{c, '\0'};
    tvtest::writeFile(dir / "game/System/dm-x.int", utf16);
    tvtest::writeFile(dir / "game/Music/kr-face.OGG", "OggS");
    const tv::InstalledPackages installed(f);
    tv::MapInfo m = tv::readMapInfo(f, installed, dir / "game/Maps/DM-X.ut2");
    EXPECT_EQ(m.facts.title, "Spieler");
    EXPECT_EQ(m.facts.description, "Local");
    EXPECT_EQ(m.musicFile, "KR-Face.ogg");
    EXPECT_EQ(m.musicInstalled, dir / "game/Music/kr-face.OGG");
    std::remove((dir / "game/Music/kr-face.OGG").c_str());
    m = tv::readMapInfo(f, installed, dir / "game/Maps/DM-X.ut2");
    EXPECT_TRUE(m.musicInstalled.empty());
}
