#include "test_support.h"

#include "engine/cache_index.h"
#include "formats/ini.h"
#include "formats/registry_store.h"
#include "platform/text_io.h"
#include "recording_prompter.h"
#include "session/session.h"
#include "store/never_move.h"

#include "formats/package_header.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tv;
using tvtest::GameFixture;
using tvtest::ident;
using tvtest::installAt;

namespace {

struct Scan {
    GameFixture fx;
    RegistryStore store{fx.registry};
    RecordingPrompter prompter;
    Session session{fx.program, store, prompter};
    Scan() { session.workOnInstall(installAt(fx.game)); }

    // Texts of the rows, with "+" in front of ticked ones.
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (const auto& r : session.fileList().rows())
            out.push_back((r.ticked ? "+" : "-") + r.text);
        return out;
    }
    void selectOnly(std::initializer_list<bool Settings::*> boxes) {
        session.changeSettings([&](tv::Settings& st) { st.setSelectOption(false, true); });
        for (auto b : boxes)
            session.changeSettings([&](tv::Settings& st) { st.*b = true; });
    }
};

} // namespace

TEST(CacheLine, CutsAtFixedPositions) {
    auto e = parseCacheLine(ident(1) + "=Foo.utx", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "Foo.utx");
    EXPECT_EQ(e->candidate1, ident(1) + "-1.uxx");
    EXPECT_EQ(e->candidate2, ident(1) + ".uxx");
    EXPECT_FALSE(e->missingExtension);

    auto d = parseCacheLine(ident(2) + "-1=Foo.utx", "uxx");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, "Foo.utx");
    EXPECT_EQ(d->key, ident(2) + "-1");
    EXPECT_EQ(d->candidate1, ident(2) + "-1.uxx");
    EXPECT_EQ(d->candidate2, ident(2) + ".uxx");

    EXPECT_FALSE(parseCacheLine("[Cache]", "uxx"));
    EXPECT_FALSE(parseCacheLine("0123456789", "uxx"));
    auto shortLine = parseCacheLine("0123456789A", "uxx");
    ASSERT_TRUE(shortLine);
    EXPECT_TRUE(shortLine->missingExtension);
}

TEST(CacheLine, NumberedSuffixOtherThanOneKeepsTheWholeName) {
    auto e = parseCacheLine(ident(3) + "-7=ONS-Torlan.ut2", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "ONS-Torlan.ut2");
    EXPECT_EQ(e->key, ident(3) + "-7");
    EXPECT_EQ(e->candidate1, ident(3) + "-7.uxx");
    EXPECT_EQ(e->candidate2, ident(3) + ".uxx");
    auto big = parseCacheLine(ident(3) + "-12=Big.utx", "uxx");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->name, "Big.utx");
    EXPECT_EQ(big->candidate1, ident(3) + "-12.uxx");
}

TEST(FileTypes, BoxesTickByTheEndOfTheName) {
    EXPECT_TRUE(typeBoxTicks(TypeBox::UMX, "Song.OGG"));
    EXPECT_FALSE(typeBoxTicks(TypeBox::UMX, "Song.umx"));
    EXPECT_TRUE(typeBoxTicks(TypeBox::U, "Mod.u"));
    EXPECT_FALSE(typeBoxTicks(TypeBox::U, "Mod.int"));
    EXPECT_EQ(fileTypeOf("Song.umx"), FileType::Unknown);
    EXPECT_EQ(fileTypeOf("Map.unr"), FileType::Unknown);
    EXPECT_EQ(fileTypeOf("x.INT"), FileType::Localisation);
    EXPECT_EQ(fileTypeOf("x.dem"), FileType::Demo);
    EXPECT_EQ(fileTypeOf("x.u"), FileType::Code);
    EXPECT_EQ(std::string(typeFolderKey(FileType::Music)), "Music");
    // One rule for the package a file holds: the last extension goes, a
    // leading dot alone is no extension.
    EXPECT_EQ(packageStem("DM-Foo.v2.ut2"), "DM-Foo.v2");
    EXPECT_EQ(packageStem("NoDot"), "NoDot");
    EXPECT_EQ(packageStem(".utx"), ".utx");
}

TEST(Scan, EmptyCacheGivesSingularStatus) {
    Scan s;
    s.fx.writeCacheIni({});
    ASSERT_TRUE(s.session.ScanCache());
    EXPECT_TRUE(s.session.fileList().rows().empty());
    EXPECT_EQ(s.session.statusText(), "Found 0 file to process");
}

TEST(Scan, StatusTextSingularForOnePluralForTwo) {
    Scan s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    s.session.ScanCache();
    EXPECT_EQ(s.session.statusText(), "Found 1 file to process");
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx"), s.fx.addEntry(2, "B.utx")});
    s.session.ScanCache();
    EXPECT_EQ(s.session.statusText(), "Found 2 files to process");
}

TEST(Scan, MissingCacheIniIsReportedAndListStaysEmpty) {
    Scan s;
    s.session.setStatusText("before");
    EXPECT_FALSE(s.session.ScanCache());
    ASSERT_EQ(s.prompter.shown.size(), 1u);
    EXPECT_EQ(s.prompter.shown[0].text, "Cache.INI is MISSING...can't proceed!");
    EXPECT_EQ(s.prompter.shown[0].title, "Critical file missing!");
    EXPECT_TRUE(s.session.fileList().rows().empty());
    // The status bar does not stay on what it said before the scan.
    EXPECT_EQ(s.session.statusText(), "Cache.INI is missing in " + s.fx.cache);
}

TEST(Scan, CacheIniNameIgnoresLetterCase) {
    Scan s;
    tvtest::writeFile(s.fx.cache + "/CACHE.INI",
                      "[Cache]\r\n" + s.fx.addEntry(1, "A.utx") + "\r\n");
    ASSERT_TRUE(s.session.ScanCache());
    EXPECT_EQ(s.rows(), std::vector<std::string>{"+A.utx"});
}

// Two spellings of the index: the scan and the run both work on the one
// the folder's listing names, not on the first name tried.
TEST(Scan, TwoSpellingsOfTheIndexUseTheOneTheListingNames) {
    Scan s;
    tvtest::writeFile(s.fx.cache + "/Cache.ini",
                      "[Cache]\r\n" + s.fx.addEntry(1, "A.utx") + "\r\n");
    tvtest::writeFile(s.fx.cache + "/CACHE.INI",
                      "[Cache]\r\n" + s.fx.addEntry(2, "B.utx") + "\r\n");
    const std::string used = FolderIndex(s.fx.cache).entry("cache.ini")->name.data();
    const std::string name = used == "Cache.ini" ? "A.utx" : "B.utx";
    const std::string other = used == "Cache.ini" ? "CACHE.INI" : "Cache.ini";
    const std::string otherText = tvtest::readFile(s.fx.cache + "/" + other);
    ASSERT_TRUE(s.session.ScanCache());
    EXPECT_EQ(s.rows(), std::vector<std::string>{"+" + name});
    ASSERT_TRUE(s.session.run(s.session.runRequest()).done());
    EXPECT_TRUE(std::filesystem::exists(s.fx.game + "/Textures/" + name));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + other), otherText);
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + used).find(name), std::string::npos);
}

TEST(Scan, MissingExtensionRowIsUntickedEvenUnderSelectAll) {
    Scan s;
    s.fx.writeCacheIni({ident(1) + "=SomeMod", s.fx.addEntry(2, "A.utx")});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(),
              (std::vector<std::string>{
                  "-**ERROR** Missing file extension in cache.ini ---> SomeMod", "+A.utx"}));
    EXPECT_TRUE(s.session.repairDone());
}

TEST(Scan, DateComesFromTheFirstCandidateThenTheSecond) {
    Scan s;
    s.fx.addCacheFile(ident(1) + "-1.uxx");
    tvtest::setModified(s.fx.cache + "/" + ident(1) + "-1.uxx", 1000000000);
    s.fx.addCacheFile(ident(1) + ".uxx");
    tvtest::setModified(s.fx.cache + "/" + ident(1) + ".uxx", 1100000000);
    s.fx.addCacheFile(ident(2) + ".uxx");
    tvtest::setModified(s.fx.cache + "/" + ident(2) + ".uxx", 1200000000);
    s.fx.addCacheFile(ident(4) + "-1.UXX"); // other letter case on disk
    tvtest::setModified(s.fx.cache + "/" + ident(4) + "-1.UXX", 1300000000);
    s.fx.writeCacheIni({ident(1) + "=Foo.utx", ident(2) + "=Bar.utx", ident(3) + "-1=Gone.utx",
                        ident(4) + "-1=Case.utx"});
    s.session.ScanCache();
    ASSERT_EQ(s.session.fileList().rows().size(), 4u);
    EXPECT_EQ(s.session.fileList().rows()[0].modified, 1000000000);
    EXPECT_EQ(s.session.fileList().rows()[1].modified, 1200000000);
    EXPECT_EQ(s.session.fileList().rows()[2].date(), "");
    EXPECT_EQ(s.session.fileList().rows()[2].text, "Gone.utx");
    EXPECT_EQ(s.session.fileList().rows()[3].modified, 1300000000);
    EXPECT_FALSE(s.session.fileList().rows()[1].date().empty());
}

// A cache big enough to be asked by several threads: each row still gets
// its own file's date and size, and a row without a file gets none.
TEST(Scan, ABigCacheGivesEachRowItsOwnFilesDateAndSize) {
    Scan s;
    constexpr int kEntries = 5000;
    std::vector<std::string> lines;
    for (int i = 0; i < kEntries; ++i) {
        lines.push_back(ident(i) + "=P" + std::to_string(i) + ".utx");
        if (i % 7 == 3) continue; // named, not there
        const std::string file = ident(i) + ".uxx";
        s.fx.addCacheFile(file, std::string(static_cast<size_t>(i % 13), 'x'));
        tvtest::setModified(s.fx.cache + "/" + file, 1000000000 + i);
    }
    s.fx.writeCacheIni(lines);
    s.session.ScanCache();
    const auto& table = s.session.fileList().scanTable();
    ASSERT_EQ(table.size(), static_cast<size_t>(kEntries));
    for (int i = 0; i < kEntries; ++i) {
        const auto& row = s.session.fileList().rows()[static_cast<size_t>(i)];
        const auto& entry = table[static_cast<size_t>(i)];
        ASSERT_EQ(row.text, "P" + std::to_string(i) + ".utx");
        if (i % 7 == 3) {
            EXPECT_EQ(row.modified, -1) << i;
            EXPECT_EQ(entry.file, "") << i;
            continue;
        }
        EXPECT_EQ(row.modified, 1000000000 + i) << i;
        EXPECT_EQ(entry.size, i % 13) << i;
        EXPECT_EQ(entry.file, ident(i) + ".uxx") << i;
    }
}

TEST(Scan, AllCopiesOfADuplicateAreUnticked) {
    Scan s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "Foo.utx"), s.fx.addEntry(2, "Foo.utx"),
                        s.fx.addEntry(3, "FOO.UTX"), s.fx.addEntry(4, "Bar.utx"),
                        s.fx.addEntry(5, "BAR.UTX")});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"-Foo.utx", "-Foo.utx", "-FOO.UTX", "+Bar.utx",
                                                  "+BAR.UTX"}));
    EXPECT_EQ(s.session.statusText(), "Found 2 files to process");
}

TEST(Scan, SelectOnlyTicksByTheChosenBoxes) {
    Scan s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "Song.ogg"), s.fx.addEntry(2, "Song.umx"),
                        s.fx.addEntry(3, "Words.int"), s.fx.addEntry(4, "Replay.dem"),
                        s.fx.addEntry(5, "Map.ut2"), s.fx.addEntry(6, "Mod.u")});
    s.selectOnly({&Settings::UMX});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"+Song.ogg", "-Song.umx", "-Words.int",
                                                  "-Replay.dem", "-Map.ut2", "-Mod.u"}));
    s.selectOnly({&Settings::UMX, &Settings::UT2, &Settings::U});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"+Song.ogg", "-Song.umx", "-Words.int",
                                                  "-Replay.dem", "+Map.ut2", "+Mod.u"}));
}

TEST(Scan, NeverMoveRowsAreMarkedAndUnticked) {
    Scan s;
    s.fx.writeNeverMove({"CTF*", "DM-Exact.ut2"});
    s.fx.writeCacheIni({s.fx.addEntry(1, "ctf-face.ut2"), s.fx.addEntry(2, "CTF-Foo.ut2"),
                        s.fx.addEntry(3, "DM-ctf.ut2"), s.fx.addEntry(4, "dm-exact.UT2")});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"-ctf-face.ut2", "-CTF-Foo.ut2", "+DM-ctf.ut2",
                                                  "-dm-exact.UT2"}));
    EXPECT_TRUE(s.session.fileList().rows()[0].neverMove);
    EXPECT_FALSE(s.session.fileList().rows()[2].neverMove);
    EXPECT_EQ(s.session.neverMoveEdits().list().entries(),
              (std::vector<std::string>{"CTF*", "DM-Exact.ut2"}));
}

TEST(Scan, PurgeSettingOf30OrLessBecomes360) {
    Scan s;
    s.fx.writeCacheIni({});
    std::string ini = s.fx.game + "/System/UT2003.ini";
    auto purgeAfterScan = [&](const std::string& stored) {
        tvtest::writeFile(ini, "[Core.System]\r\nPurgeCacheDays=" + stored + "\r\n");
        s.session.ScanCache();
        return std::make_pair(s.session.housekeeping().purgeDaysText(),
                              INIGetSettingString("Core.System", "PurgeCacheDays", ini, ""));
    };
    EXPECT_EQ(purgeAfterScan("30"), std::make_pair(std::string("360"), std::string("360")));
    EXPECT_EQ(purgeAfterScan("31"), std::make_pair(std::string("31"), std::string("31")));
    EXPECT_EQ(purgeAfterScan("abc"), std::make_pair(std::string("360"), std::string("360")));
    EXPECT_EQ(purgeAfterScan(""), std::make_pair(std::string("360"), std::string("360")));
    tvtest::writeFile(ini, "[Other]\r\nX=1\r\n");
    s.session.ScanCache();
    EXPECT_EQ(INIGetSettingString("Core.System", "PurgeCacheDays", ini, ""), "360");
    EXPECT_EQ(INIGetSettingString("Other", "X", ini, ""), "1");
}

TEST(Scan, EmptyCacheLabelIsDerivedFromTheGameFolder) {
    Scan s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    s.session.workOnInstall(installAt(s.fx.game + "/"));
    s.session.ScanCache();
    EXPECT_EQ(s.session.folders().gameFolder, s.fx.game);
    EXPECT_EQ(s.session.settings().cacheDir, s.fx.cache);
    EXPECT_EQ(s.session.folders().maps, s.fx.game + "/Maps");
    EXPECT_EQ(s.session.folders().gameIni, s.fx.game + "/System/UT2003.ini");
}

TEST(Scan, ChosenCacheFolderIsScanned) {
    Scan s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    tvtest::TempDir other;
    tvtest::writeFile(other / "Cache.ini", "[Cache]\r\n" + ident(9) + "=Other.ut2\r\n");
    s.session.ScanCache();
    s.session.chooseCacheFolder(other.path());
    EXPECT_EQ(s.rows(), std::vector<std::string>{"+Other.ut2"});
    EXPECT_EQ(s.session.settings().cacheDir, other.path());
}

TEST(NeverMoveMatch, PrefixAndWholeNameRules) {
    EXPECT_TRUE(neverMoveMatches("ctf-face.UNR", "CTF-Face.unr"));
    EXPECT_FALSE(neverMoveMatches("CTF-Face2.unr", "CTF-Face.unr"));
    EXPECT_TRUE(neverMoveMatches("ctf.u", "ctf*"));
    EXPECT_FALSE(neverMoveMatches("DM-ctf.ut2", "ctf*"));
    EXPECT_TRUE(neverMoveMatches("anything", "*.u"));
    EXPECT_TRUE(neverMoveMatches("AS-Convoy.utx", "AS-*.ut2"));
    EXPECT_FALSE(neverMoveMatches("AS", "AS-*"));
    EXPECT_TRUE(neverMoveMatches("", ""));
    EXPECT_FALSE(neverMoveMatches("x", ""));

    // The fast list gives the same answers as the rule itself.
    std::vector<std::string> entries = {"CTF-Face.unr", "ctf*", "AS-*.ut2", "UTPure*", ""};
    NeverMoveList list;
    list.setEntries(entries);
    for (const char* name : {"ctf-face.UNR", "CTF-Face2.unr", "ctf.u", "DM-ctf.ut2", "AS-x.u",
                             "UTPureR5", "UTPur", "", "x"}) {
        bool expected = false;
        for (const auto& e : entries)
            expected = expected || neverMoveMatches(name, e);
        EXPECT_EQ(list.matches(name), expected) << name;
    }
    list.setEntries({"*.u"});
    EXPECT_TRUE(list.matches("Anything.utx"));
}
