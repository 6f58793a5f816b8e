// The content library: every package with its origin and users, and
// removal into the cache with what only it needed, undone byte for byte.
#include "format_writers.h"
#include "map_writer.h"
#include "test_support.h"

#include "platform/crash_point.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace tv;
using tvtest::ident;
using tvtest::makePackageTables;
using tvtest::readFile;
using tvtest::runCli;
using tvtest::writeFile;

namespace {

// A package importing these packages, with a GUID of its own.
std::string package(const std::vector<std::string>& needs, char guid) {
    std::vector<tvtest::PackageImport> imports;
    for (const auto& n : needs)
        imports.push_back({"Core", "Package", 0, n});
    std::string bytes = makePackageTables(imports);
    bytes.replace(36, 16, std::string(16, guid)); // the GUID follows the six table words
    return bytes;
}

// A game with stock, found, downloaded and server packages: DM-Mine needs
// MyTex (only it), Shared (also a download's) and ServerTex (which the server
// sends); DM-Sung plays MineSong.
struct LibraryGame {
    tvtest::GameFixture fx;
    std::string game = "--game " + tvtest::shellQuote(fx.game) + " ";
    LibraryGame() {
        const std::string& g = fx.game;
        writeFile(g + "/System/UT2003.ini",
                  "[Core.System]\r\nPurgeCacheDays=0\r\n[Engine.GameEngine]\r\n"
                  "ServerPackages=ServerTex\r\n//ServerPackages=Commented\r\n");
        writeFile(g + "/System/Core.u", package({}, 'A'));
        tvtest::ue::MapSpec song;
        song.song = "MineSong";
        std::string mine = tvtest::ue::mapBytes(song);
        writeFile(g + "/Maps/DM-Mine.ut2", package({"Core", "MyTex", "Shared", "ServerTex"}, 'B'));
        writeFile(g + "/Maps/DM-Sung.ut2", mine);
        writeFile(g + "/System/DM-Mine.int", "[LevelSummary]\r\nTitle=Mine\r\n");
        writeFile(g + "/System/DM-Mine.ucl", "records");
        writeFile(g + "/Textures/MyTex.utx", package({"Core"}, 'C'));
        writeFile(g + "/Textures/Shared.utx", package({}, 'D'));
        writeFile(g + "/Textures/ServerTex.utx", package({}, 'E'));
        writeFile(g + "/Textures/Commented.utx", package({}, 'F'));
        writeFile(g + "/Music/MineSong.ogg", "OggS music");
        writeFile(fx.cache + "/" + ident(1) + ".uxx", package({"Shared"}, 'G'));
        writeFile(fx.cache + "/" + ident(2) + ".uxx", package({"Core"}, 'C'));
        fx.writeCacheIni({ident(1) + "=DM-Other.ut2", ident(2) + "=MyTex.utx"});
    }
    nlohmann::json library(const std::string& args = "") {
        const auto r = runCli(fx, game + "library --json " + args);
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out)["packages"];
    }
    nlohmann::json entry(const std::string& name, bool cached = false) {
        for (const auto& e : library())
            if (e["name"] == name && (e["origin"] == "cache") == cached) return e;
        return {};
    }
};

} // namespace

TEST(Library, EachPackageSaysWhereItCameFromWhatIsBesideItAndWhatUsesIt) {
    LibraryGame g;
    const auto mine = g.entry("DM-Mine.ut2"), myTex = g.entry("MyTex.utx");
    EXPECT_EQ(g.entry("Core.u")["origin"], "stock");
    EXPECT_EQ(mine["origin"], "found");
    EXPECT_EQ(mine["needs"], nlohmann::json({"Core", "MyTex", "Shared", "ServerTex"}));
    EXPECT_EQ(myTex["used_by"], nlohmann::json({"DM-Mine.ut2"}));
    EXPECT_EQ(myTex["beside"], "same");
    EXPECT_EQ(g.entry("MyTex.utx", true)["beside"], "same");
    EXPECT_EQ(g.entry("Shared.utx")["used_by"],
              nlohmann::json({"DM-Mine.ut2", "DM-Other.ut2 (cache)"}));
    EXPECT_EQ(g.entry("MineSong.ogg")["used_by"], nlohmann::json({"DM-Sung.ut2"}));
    EXPECT_TRUE(g.entry("ServerTex.utx")["server_package"]);
    EXPECT_FALSE(g.entry("Commented.utx")["server_package"]);
    EXPECT_EQ(g.library("--type map --origin cache").size(), 1u);

    // A run's move is "moved"; a stock name whose GUID changed since it was
    // first seen was put over the game's own.
    auto r = runCli(g.fx, g.game + "run --select all");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto other = g.entry("DM-Other.ut2");
    EXPECT_EQ(other["origin"], "moved");
    EXPECT_NE(other["origin_text"].get<std::string>().find("moved from the cache on "),
              std::string::npos);
    writeFile(g.fx.game + "/System/Core.u", package({}, 'Z'));
    EXPECT_EQ(g.entry("Core.u")["origin"], "found");

    // An archive's map is "installed from" it.
    tvtest::makeZip(g.fx.dir.path() + "/Pack.zip", {{"DM-Zipped.ut2", package({}, 'H')}});
    r = runCli(g.fx, g.game + "zip --no-preview " + g.fx.dir.path() + "/Pack.zip");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(g.entry("DM-Zipped.ut2")["origin"], "installed");
    for (const char* bad : {"--type maps", "--origin nowhere", "--bogus"})
        EXPECT_EQ(runCli(g.fx, g.game + "library " + bad).status, 2) << bad;
}

TEST(Library, RemovingWithWhatOnlyItNeedsAndUndoingGiveTheGameBackByteForByte) {
    LibraryGame g;
    const auto before = tvtest::snapshotTree(g.fx.game);
    auto r = runCli(g.fx, g.game + "remove --with-unused --dry-run DM-Mine.ut2 Core.u NoSuch.utx");
    EXPECT_EQ(r.status, 1) << r.err; // two names cannot be removed
    EXPECT_EQ(r.out, g.fx.game + "/Maps/DM-Mine.ut2 (asked for)\n" + g.fx.game +
                         "/System/DM-Mine.int (goes with DM-Mine.ut2)\n" + g.fx.game +
                         "/System/DM-Mine.ucl (goes with DM-Mine.ut2)\n" + g.fx.game +
                         "/Textures/MyTex.utx (only DM-Mine.ut2 needs it)\n"
                         "Not removed: Core.u ships with the game; Tessvane does not remove the "
                         "game's own files\n"
                         "Not removed: NoSuch.utx is not among the packages the game reads\n");
    EXPECT_EQ(tvtest::snapshotTree(g.fx.game), before);
    EXPECT_EQ(runCli(g.fx, g.game + "remove DM-Mine.ut2").status, 1); // asked, answered No
    EXPECT_EQ(tvtest::snapshotTree(g.fx.game), before);

    r = runCli(g.fx, g.game + "remove --with-unused --yes DM-Mine.ut2");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_FALSE(tvtest::exists(g.fx.game + "/Maps/DM-Mine.ut2"));
    EXPECT_TRUE(tvtest::exists(g.fx.game + "/Textures/Shared.utx"));
    // The map is a download again, under its GUID; the texture the cache
    // held already only lost its installed copy.
    std::string guid;
    for (int i = 0; i < 16; ++i)
        guid += "42"; // 'B'

    EXPECT_EQ(readFile(g.fx.cache + "/" + guid + ".uxx"),
              package({"Core", "MyTex", "Shared", "ServerTex"}, 'B'));
    const std::string index = readFile(g.fx.cache + "/Cache.ini");
    EXPECT_NE(index.find(guid + "=DM-Mine.ut2\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find("=DM-Mine.int\r\n"), std::string::npos) << index;
    EXPECT_EQ(index.find("=MyTex.utx", index.find("=MyTex.utx") + 1), std::string::npos) << index;
    r = runCli(g.fx, g.game + "scan");
    EXPECT_NE(r.out.find("DM-Mine.ut2"), std::string::npos) << r.out;

    r = runCli(g.fx, g.game + "undo --yes --all");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(tvtest::snapshotTree(g.fx.game), before);
    EXPECT_EQ(runCli(g.fx, g.game + "undo --list").out, "");
}

TEST(Library, ARemovalKilledAnywhereLeavesNoFileWithoutItsRecordAndUndoesWhole) {
    for (int step = 1;; ++step) {
        LibraryGame g;
        const auto before = tvtest::snapshotTree(g.fx.game);
        const auto r = runCli(g.fx, g.game + "remove --with-unused --yes DM-Mine.ut2",
                              "TESSVANE_CRASH_AFTER=" + std::to_string(step));
        if (r.status == 0) break; // every step was reached
        ASSERT_EQ(r.status, kCrashExitStatus) << step << r.err;
        const auto undone = runCli(g.fx, g.game + "undo --yes --all");
        EXPECT_LE(undone.status, 1) << step << undone.err;
        EXPECT_EQ(tvtest::snapshotTree(g.fx.game), before) << step;
    }
}

TEST(Library, DeletingIsRecordedAheadAndSaidToBeFinal) {
    LibraryGame g;
    auto r = runCli(g.fx, g.game + "remove --delete --yes Commented.utx");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(tvtest::exists(g.fx.game + "/Textures/Commented.utx"));
    EXPECT_EQ(readFile(g.fx.cache + "/Cache.ini").find("Commented"), std::string::npos);
    r = runCli(g.fx, g.game + "undo --yes --all");
    EXPECT_NE(r.out.find("cannot come back"), std::string::npos) << r.out;
    EXPECT_EQ(runCli(g.fx, g.game + "undo --list").out, "");
}
