// What a package needs: its import table read, and each needed package
// found where the game finds it.
#include "package_support.h"
#include "test_support.h"

#include "formats/package_imports.h"
#include "platform/bytes.h"
#include "session/file_list.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using namespace tv;
using tvtest::GameFixture;
using tvtest::ident;
using tvtest::makePackageTables;
using tvtest::PackageImport;
using tvtest::writeFile;

namespace {

using Strings = std::vector<std::string>;

// A map's imports: packages at the top, groups and objects inside them.
const std::vector<PackageImport> kMapImports = {
    {"Core", "Package", 0, "Core"},
    {"Core", "Package", 0, "Engine"},
    {"Core", "Package", -4, "Floor"}, // a group of cf_tex02, listed before it
    {"Core", "Package", 0, "cf_tex02"},
    {"Engine", "Texture", -3, "Stone"},
    {"Core", "Class", -1, "Object"},
    {"Core", "Package", 0, "CORE"},      // Core again, in other letters
    {"Core", "Class", 0, "NotAPackage"}, // at the top, but of another class
    {"Core", "Package", 0, "AW-Metals"},
};
const Strings kMapNeeds = {"Core", "Engine", "cf_tex02", "AW-Metals"};

PackageImports parse(const std::string& bytes) {
    return parsePackageImports(bytes);
}

} // namespace

TEST(PackageImports, TopLevelPackagesInTheirOrderOnceEachWhereverTheTablesLie) {
    // Names NUL-terminated (before version 64) and sized (from 64); the
    // tables in either order, after other bytes; with enough names for
    // two-byte indices.
    Strings many;
    for (int i = 0; i < 200; ++i)
        many.push_back("Name" + std::to_string(i));
    for (uint16_t version : {uint16_t{62}, uint16_t{69}, uint16_t{128}})
        for (bool importsFirst : {false, true})
            for (const Strings& more : {Strings{}, many}) {
                const auto r = parse(makePackageTables(kMapImports, version, std::string(5000, 'x'),
                                                       importsFirst, more));
                ASSERT_EQ(r.kind, PackageImports::Kind::Package) << version << " " << r.why;
                EXPECT_EQ(r.needs, kMapNeeds) << version << " " << importsFirst << more.size();
            }
    const auto none = parse(makePackageTables({}));
    EXPECT_EQ(none.kind, PackageImports::Kind::Package);
    EXPECT_TRUE(none.needs.empty());
    EXPECT_EQ(parse("no package at all").kind, PackageImports::Kind::NotAPackage);
}

TEST(PackageImports, DamagedTablesAreSaidNeverACrashOrAHugeAllocation) {
    const std::string good = makePackageTables(kMapImports);
    auto with = [&](size_t at, const std::string& bytes) {
        std::string b = good;
        b.replace(at, bytes.size(), bytes);
        return b;
    };
    auto le32 = [](uint32_t v) {
        std::string s;
        for (int i = 0; i < 4; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    const uint32_t names = 64; // the name table follows the 64-byte header
    const auto importAt = static_cast<uint32_t>(good.size()) - 9 * 7;
    for (const auto& [what, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"a name count past the file", with(12, le32(0x0FFFFFFF))},
             {"an import count past the file", with(28, le32(5000000))},
             {"an import's class beyond the names", with(importAt + 1, "\x3F")},
             {"an import inside itself", with(importAt + 2, le32(static_cast<uint32_t>(-1)))},
             {"an import inside an import that is not there",
              with(importAt + 2, le32(static_cast<uint32_t>(-100)))},
             {"an import inside an export that is not there", with(importAt + 2, le32(1))},
             {"a name of length 0", with(names, std::string(1, '\0'))},
             {"a name longer than any", with(names, "\x7F\xFF\xFF\xFF\x0F")},
             {"an index of six bytes", with(importAt, "\x7F\xFF\xFF\xFF\xFF\x01")},
         })
        EXPECT_EQ(parse(bytes).kind, PackageImports::Kind::Damaged) << what;
    // One name more than the table holds, after the names the imports use.
    {
        const std::string namesLast = makePackageTables(kMapImports, 128, "", true);
        std::string cut = namesLast + "\x05" + "ab";
        cut.replace(12, 4, le32(static_cast<uint32_t>(readLe32(namesLast, 12) + 1)));
        EXPECT_EQ(parse(cut).kind, PackageImports::Kind::Damaged);
        EXPECT_EQ(parse(namesLast).kind, PackageImports::Kind::Package);
    }
    // Two groups inside each other.
    auto loop = kMapImports;
    loop[2].outer = -10;
    loop.push_back({"Core", "Package", -3, "Loop"});
    EXPECT_EQ(parse(makePackageTables(loop)).kind, PackageImports::Kind::Damaged);
    // Cut anywhere: never a crash, never a wrong list.
    for (size_t size = 0; size < good.size(); ++size) {
        const auto r = parse(good.substr(0, size));
        EXPECT_NE(r.kind, PackageImports::Kind::Package) << size;
    }
}

namespace {

// A native UT2004: stock packages in the game folder, the player's own in
// ~/.ut2004 (Paths= names both, in the game's order), the cache there too.
struct NativeGame {
    GameFixture fx;
    std::string user = fx.home + "/.ut2004";
    std::string game = "--game " + fx.game + " ";
    NativeGame() {
        writeFile(fx.game + "/System/ut2004-bin-linux-amd64", "ELF");
        writeFile(user + "/System/UT2004.ini",
                  "[Core.System]\nPurgeCacheDays=0\nCachePath=../Cache\nCacheExt=.uxx\n"
                  "Paths=../System/*.u\nPaths=../Maps/*.ut2\nPaths=../Textures/*.utx\n");
        writeFile(fx.game + "/System/Core.u", makePackageTables({}));
        writeFile(fx.game + "/System/Engine.u",
                  makePackageTables({{"Core", "Package", 0, "Core"}}));
        writeFile(user + "/Textures/CF_TEX02.UTX", makePackageTables({}));
        writeFile(user + "/Cache/" + ident(1) + ".uxx", makePackageTables({}));
        writeFile(user + "/Cache/" + ident(2) + ".uxx", makePackageTables(kMapImports));
        writeFile(user + "/Cache/cache.ini", tvtest::crlf({"[Cache]", ident(1) + "=aw-metals.utx",
                                                           ident(2) + "=DM-Cached.ut2"}));
    }
};

} // namespace

TEST(Needs, EachNeededPackageIsFoundWhereTheGameFindsItAndTheExitStatusSaysWhatLacks) {
    NativeGame g;
    const std::string cached = g.user + "/Cache/" + ident(1) + ".uxx";
    // A cache entry by its name: installed (any letter case), in the cache, or missing.
    auto r = tvtest::runCli(g.fx, g.game + "needs dm-cached.ut2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "dm-cached.ut2\tCore\tinstalled " + g.fx.game + "/System/Core.u\n" +
                         "dm-cached.ut2\tEngine\tinstalled " + g.fx.game + "/System/Engine.u\n" +
                         "dm-cached.ut2\tcf_tex02\tinstalled " + g.user +
                         "/Textures/CF_TEX02.UTX\n" + "dm-cached.ut2\tAW-Metals\tcache " +
                         ident(1) + ".uxx\n");
    // A package file by its path; a missing package makes the status 4.
    writeFile(g.fx.dir.path() + "/DM-New.ut2", makePackageTables({{"Core", "Package", 0, "Engine"},
                                                                  {"Core", "Package", 0, "Gone"}}));
    r = tvtest::runCli(g.fx, g.game + "needs --missing " + g.fx.dir.path() + "/DM-New.ut2");
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.out, g.fx.dir.path() + "/DM-New.ut2\tGone\tmissing\n");
    // An installed package by its name; who uses a package.
    r = tvtest::runCli(g.fx, g.game + "needs Engine.u");
    EXPECT_EQ(r.out, "Engine.u\tCore\tinstalled " + g.fx.game + "/System/Core.u\n") << r.err;
    r = tvtest::runCli(g.fx, g.game + "needs --used-by core.u");
    EXPECT_EQ(r.out, "Engine.u\tinstalled " + g.fx.game +
                         "/System/Engine.u\n"
                         "DM-Cached.ut2\tcache " +
                         ident(2) + ".uxx\n")
        << r.err;
    // The same rows as one document; the missing one keeps its status.
    const auto rows = [&](const std::string& args) {
        r = tvtest::runCli(g.fx, g.game + args);
        return nlohmann::json::parse(r.out)["rows"];
    };
    const auto needed = rows("needs --json dm-cached.ut2");
    ASSERT_EQ(needed.size(), 4u) << r.out;
    EXPECT_EQ(needed[3], nlohmann::json({{"package", "dm-cached.ut2"},
                                         {"needs", "AW-Metals"},
                                         {"where", "cache"},
                                         {"file", ident(1) + ".uxx"}}));
    EXPECT_EQ(needed[0]["file"], g.fx.game + "/System/Core.u");
    EXPECT_EQ(rows("needs --missing --json " + g.fx.dir.path() + "/DM-New.ut2")[0]["where"],
              "missing");
    EXPECT_EQ(r.status, 4);
    const auto users = rows("needs --used-by core.u --json");
    ASSERT_EQ(users.size(), 2u) << r.out;
    EXPECT_EQ(users[1]["package"], "DM-Cached.ut2");
    EXPECT_EQ(users[1]["where"], "cache");
    // What cannot be answered.
    writeFile(g.user + "/Maps/DM-Broken.ut2", makePackageTables(kMapImports).substr(0, 100));
    for (const auto& [args, status] :
         std::vector<std::pair<std::string, int>>{{"needs", 2},
                                                  {"needs NoSuch.ut2", 2},
                                                  {"needs --used-by", 2},
                                                  {"needs --used-by A B", 2},
                                                  {"needs --bogus A", 2},
                                                  {"needs DM-Broken.ut2", 3}}) {
        r = tvtest::runCli(g.fx, g.game + args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    // A damaged package is said, not passed over, and fails the answer
    // wherever it is met; the cut one is damaged, not "no package".
    for (const char* args : {"needs --used-by core.u", "check"}) {
        r = tvtest::runCli(g.fx, g.game + args);
        EXPECT_EQ(r.status, 3) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("DM-Broken.ut2 is damaged: cut short at byte 100 of at least "),
                  std::string::npos)
            << args << "\n"
            << r.err;
    }
    // The installed copy is the one the game loads: needs reads it, as check does.
    writeFile(g.user + "/Maps/DM-Cached.ut2", makePackageTables({{"Core", "Package", 0, "Core"}}));
    r = tvtest::runCli(g.fx, g.game + "needs DM-Cached.ut2");
    EXPECT_EQ(r.out, "DM-Cached.ut2\tCore\tinstalled " + g.fx.game + "/System/Core.u\n") << r.err;
}

// A cache file that is no package answers no import, whatever its name.
TEST(Needs, OnlyACachedPackageStandsForAnImport) {
    NativeGame g;
    writeFile(g.user + "/Cache/" + ident(3) + ".uxx", "[Public]\r\n");
    writeFile(g.user + "/Cache/cache.ini",
              tvtest::crlf({"[Cache]", ident(3) + "=AW-Metals.int", ident(1) + "=aw-metals.utx",
                            ident(2) + "=DM-Cached.ut2"}));
    const auto r = tvtest::runCli(g.fx, g.game + "needs dm-cached.ut2");
    EXPECT_NE(r.out.find("\tAW-Metals\tcache " + ident(1) + ".uxx\n"), std::string::npos) << r.out;
}

TEST(Needs, CheckListsWhatInstalledMapsLackUntilTheyLackNothing) {
    NativeGame g;
    writeFile(g.user + "/Maps/DM-Fine.ut2", makePackageTables({{"Core", "Package", 0, "Engine"}}));
    auto r = tvtest::runCli(g.fx, g.game + "check");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    writeFile(g.fx.game + "/Maps/DM-Stock.ut2", makePackageTables(kMapImports));
    r = tvtest::runCli(g.fx, g.game + "check");
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.out, "DM-Stock.ut2\tAW-Metals\tcache " + ident(1) + ".uxx\n");
    writeFile(g.user + "/Textures/AW-Metals.utx", makePackageTables({}));
    r = tvtest::runCli(g.fx, g.game + "check");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Needs, TheRunNamesEachMovedMapThatStillLacksPackages) {
    NativeGame g;
    // DM-Cached needs AW-Metals (in the cache) and CF_TEX02 (installed).
    auto r = tvtest::runCli(g.fx, g.game + "run --no-backup --only DM-Cached.ut2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("DM-Cached.ut2 needs aw-metals.utx, which is not installed\n"),
              std::string::npos)
        << r.out;
    // Moved with what it needs: nothing to say.
    writeFile(
        g.user + "/Cache/" + ident(3) + ".uxx",
        makePackageTables({{"Core", "Package", 0, "aw-metals"}, {"Core", "Package", 0, "X"}}));
    writeFile(g.user + "/Cache/" + ident(4) + ".uxx", makePackageTables({}));
    writeFile(g.user + "/Cache/cache.ini",
              tvtest::crlf({"[Cache]", ident(1) + "=aw-metals.utx", ident(3) + "=DM-Two.ut2",
                            ident(4) + "=X.u"}));
    r = tvtest::runCli(g.fx, g.game + "run --no-backup --select all");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find(" needs "), std::string::npos) << r.out;
}

TEST(Needs, AnArchivesPreviewSaysWhatItsMapNeedsThatNobodyHas) {
    NativeGame g;
    const std::string map = makePackageTables({{"Core", "Package", 0, "Core"},
                                               {"Core", "Package", 0, "ZTex"},
                                               {"Core", "Package", 0, "AW-Metals"},
                                               {"Core", "Package", 0, "Nowhere"}});
    const std::string zip = g.fx.dir.path() + "/DM-Z.zip";
    // Nowhere's language file and read-me bring no package named Nowhere.
    tvtest::makeZip(zip, {{"DM-Z.ut2", map},
                          {"ZTex.utx.uz2", tvtest::makeUz2("x")},
                          {"System/Nowhere.int", "[Public]"},
                          {"Nowhere.txt", "about"}});
    const std::string umod = g.fx.dir.path() + "/DM-Z.ut4mod";
    writeFile(umod, tvtest::makeUmod({{"Maps\\DM-Z.ut2", map}, {"Textures\\ZTex.utx", "x"}}));
    for (const std::string& archive : {zip, umod}) {
        const auto r = tvtest::runCli(g.fx, g.game + "zip " + archive);
        EXPECT_NE(r.out.find("DM-Z.ut2 needs: Core, ZTex, AW-Metals, Nowhere\n"
                             "Neither the archive nor the game has: Nowhere\n"),
                  std::string::npos)
            << archive << "\n"
            << r.out << r.err;
    }
}

TEST(Needs, TidyKeepsACacheCopyUnlessTheFileTheGameLoadsForItsNameIsTheSame) {
    NativeGame g;
    // aw-metals.utx in the cache is identical to Textures/AW-Metals.utx; a
    // map needing "AW-Metals" gets System/AW-Metals.u (Paths= reads System
    // first, the player's folder before the game's), another package: the
    // cache copy stays while that is so.
    writeFile(g.user + "/Textures/AW-Metals.utx", makePackageTables({}));
    writeFile(g.user + "/System/AW-Metals.u", makePackageTables({{"Core", "Package", 0, "Core"}}));
    const std::string copy = g.user + "/Cache/" + ident(1) + ".uxx";
    auto r = tvtest::runCli(g.fx, g.game + "tidy --duplicates --yes");
    EXPECT_TRUE(tvtest::exists(copy)) << r.out << r.err;
    std::filesystem::remove(g.user + "/System/AW-Metals.u");
    r = tvtest::runCli(g.fx, g.game + "tidy --duplicates --yes");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(tvtest::exists(copy));
}

// The map itself and its cached packages; never a never-move row, nor a
// damaged package the game cannot load.
TEST(Needs, TickWhatItNeedsTicksTheCachedPackagesButNeverANeverMoveRow) {
    FileList list;
    auto row = [](const std::string& text, bool neverMove) {
        FileRow r;
        r.text = text;
        r.neverMove = neverMove;
        return r;
    };
    list.replace({row("DM-Map.ut2", false), row("kept.utx", true), row("TEX.utx", false),
                  row("Other.utx", false)},
                 std::vector<ScanTableEntry>(4));
    PackagesFacts facts;
    facts.entries.resize(4);
    facts.entries[3].state = PackageState::Damaged;
    for (const char* name : {"Kept.utx", "Tex.utx", "other.UTX"}) {
        NeededPackage p;
        p.where = NeededPackage::Where::Cache;
        p.cacheName = name;
        facts.entries[0].lacking.push_back(p);
    }
    facts.entries[0].lacking.push_back(NeededPackage{}); // missing
    ASSERT_TRUE(list.setStates(list.generation(), std::move(facts)));
    EXPECT_EQ(list.tickNeeded(0), 2u);
    EXPECT_EQ(list.selectedNames(), (std::unordered_set<std::string>{"DM-Map.ut2", "TEX.utx"}));
    EXPECT_EQ(list.tickNeeded(0), 0u); // ticked already
}
