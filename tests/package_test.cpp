// Package identity: the header reader, each state of a cached package beside
// the game's files, and what the run says of a package that stayed.
#include "package_support.h"
#include "run_support.h"
#include "test_support.h"

#include "engine/cache_tidy.h"
#include "engine/package_state.h"
#include "formats/package_header.h"
#include "platform/crash_point.h"
#include "platform/text_io.h"
#include "session/session.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tv;
using tvtest::GameFixture;
using tvtest::ident;
using tvtest::makePackage;
using tvtest::writeFile;

TEST(PackageHeader, ReadsTagVersionsAndGuidAndRefusesWhatIsNoPackage) {
    const std::string bytes = makePackage(7, "filler", 128, 29);
    auto h = parsePackageHeader(bytes, static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->fileVersion, 128);
    EXPECT_EQ(h->licenseeVersion, 29);
    EXPECT_EQ(h->flags, 1u);
    ASSERT_TRUE(h->hasGuid);
    EXPECT_EQ(guidText(h->guid), "0A0908070E0D0C0B1211100F16151413");
    // Before version 68 there is no GUID where later versions keep it.
    auto old = parsePackageHeader(makePackage(7, "", 61), 52);
    ASSERT_TRUE(old);
    EXPECT_FALSE(old->hasGuid);

    const int64_t size = static_cast<int64_t>(bytes.size());
    EXPECT_FALSE(parsePackageHeader(bytes.substr(0, 51), size)); // cut inside the GUID
    EXPECT_FALSE(parsePackageHeader(bytes.substr(0, 20), size));
    EXPECT_FALSE(parsePackageHeader("", 0));
    std::string otherTag = bytes;
    otherTag[0] = 'P';
    EXPECT_FALSE(parsePackageHeader(otherTag, size));
    std::string negative = bytes;
    negative[15] = '\x80'; // a negative name count
    EXPECT_FALSE(parsePackageHeader(negative, size));
    EXPECT_FALSE(parsePackageHeader(bytes, 40)); // tables past the end of the file

    GameFixture fx;
    writeFile(fx.dir / "p.utx", bytes);
    auto file = readPackageHeader(fx.dir / "p.utx");
    EXPECT_EQ(file.kind, PackageFile::Kind::Package);
    EXPECT_EQ(file.size, size);
    EXPECT_EQ(readPackageHeader(fx.dir / "missing.utx").kind, PackageFile::Kind::Unreadable);
    EXPECT_EQ(readPackageHeader(fx.dir.path()).kind, PackageFile::Kind::Unreadable); // a folder
}

namespace {

// A cache holding every state, with the installed files beside it.
struct EveryState {
    GameFixture fx;
    std::vector<std::string> lines;

    void cached(int n, const std::string& name, const std::string& bytes) {
        fx.addCacheFile(ident(n) + ".uxx", bytes);
        lines.push_back(ident(n) + "=" + name);
    }
    EveryState() {
        cached(1, "DM-New.ut2", makePackage(1, "new map"));
        cached(2, "DM-Same.ut2", makePackage(2, "same map"));
        writeFile(fx.game + "/Maps/DM-Same.ut2", makePackage(2, "same map"));
        cached(3, "SameTex.utx", makePackage(3, "newer bytes"));
        writeFile(fx.game + "/Textures/SameTex.utx", makePackage(3, "older bytes"));
        cached(4, "DM-Other.ut2", makePackage(4, "one map"));
        writeFile(fx.game + "/Maps/DM-Other.ut2", makePackage(40, "one map"));
        // A letter-case twin of the installed file is the same file.
        cached(5, "dm-case.ut2", makePackage(5, "case"));
        writeFile(fx.game + "/Maps/DM-CASE.UT2", makePackage(5, "case"));
        cached(6, "Cut.utx", makePackage(6, "").substr(0, 30));
        cached(7, "Empty.uax", "");
        cached(8, "Song.ogg", "OggS new song");
        cached(9, "Tune.ogg", "OggS this tune");
        writeFile(fx.game + "/Music/Tune.ogg", "OggS that tune");
        cached(10, "Plain.utx", "not a package at all, long enough to hold a header's bytes");
        // Version 68 is the first with a GUID: same GUID, other bytes.
        cached(11, "V68Tex.utx", makePackage(11, "cached", 68));
        writeFile(fx.game + "/Textures/V68Tex.utx", makePackage(11, "theirs", 68));
        // UT2004's file name for a line of the older form.
        fx.addCacheFile(ident(12) + "-1.uxx", makePackage(12, "numbered"));
        lines.push_back(ident(12) + "=Numbered.utx");
        fx.writeCacheIni(lines);
    }
};

// "<tick> <name> <state>" of each line of `scan --state`.
std::vector<std::string> rowStates(const std::string& out) {
    std::vector<std::string> got;
    for (const auto& line : tv::splitLines(out)) {
        const auto first = line.find('\t');
        if (first == std::string::npos) continue;
        const auto name = line.substr(first + 1, line.find('\t', first + 1) - first - 1);
        got.push_back(line.substr(0, 1) + " " + name + " " + line.substr(line.rfind('\t') + 1));
    }
    return got;
}

} // namespace

TEST(PackageState, ScanStateNamesEachRowsState) {
    EveryState s;
    auto r = tvtest::runCli(s.fx, "scan --select all --state");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rowStates(r.out),
              (std::vector<std::string>{
                  "1 DM-New.ut2 new", "1 DM-Same.ut2 identical", "1 SameTex.utx installed",
                  // Never ticked by the selection: it would only stay in the cache.
                  "0 DM-Other.ut2 other version", "1 dm-case.ut2 identical", "0 Cut.utx damaged",
                  "0 Empty.uax damaged", "1 Song.ogg new", "0 Tune.ogg other version",
                  "0 Plain.utx damaged", "1 V68Tex.utx installed", "1 Numbered.utx new"}));
    // Without --state the lines lack the state, but the ticks are the run's.
    r = tvtest::runCli(s.fx, "scan --select all");
    EXPECT_EQ(r.out.find("identical"), std::string::npos);
    EXPECT_NE(r.out.find("0\tDM-Other.ut2\t"), std::string::npos);
    EXPECT_NE(r.out.find("0\tCut.utx\t"), std::string::npos);
    // A run that names no rows leaves the damaged ones in the cache.
    r = tvtest::runCli(s.fx, "run --no-backup --select all");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-New.ut2"));
    for (const char* damaged : {"/Textures/Cut.utx", "/Sounds/Empty.uax", "/Textures/Plain.utx"})
        EXPECT_FALSE(tvtest::exists(s.fx.game + damaged)) << damaged;
}

// Each damaged package says what is wrong with it; ticks of many rows at
// once (Check All, a run's selection) leave damaged rows and other versions
// as they are, and the count is of what a run would move.
TEST(PackageState, DamagedRowsSayWhatIsWrongAndOnlyAHandTicksThem) {
    tvtest::SessionFixture s;
    const std::string whole = tvtest::makePackageTables(
        {{"Core", "Package", 0, "Engine"}, {"Core", "Package", 0, "Core"}});
    std::string badName = whole; // the first import's class names no name there is
    const uint32_t importOffset = static_cast<uint8_t>(whole[32]) | static_cast<uint8_t>(whole[33])
                                                                        << 8;
    badName[importOffset] = 0x3F;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"DM-Fine.ut2", whole},
        {"Empty.utx", ""},
        {"Text.utx", "two lines of text\nnamed like a package\n"},
        {"Short.utx", whole.substr(0, whole.size() - 12)},
        {"BadName.usx", badName},
        {"Same.utx", whole}};
    std::vector<std::string> lines;
    for (size_t i = 0; i < files.size(); ++i) {
        s.fx.addCacheFile(ident(static_cast<int>(i) + 1) + ".uxx", files[i].second);
        lines.push_back(ident(static_cast<int>(i) + 1) + "=" + files[i].first);
    }
    s.fx.writeCacheIni(lines);
    writeFile(s.fx.game + "/Textures/Same.utx", whole); // installed already: a run keeps it
    ASSERT_TRUE(s.session.ScanCache());
    s.session.fillStates();
    const auto& list = s.session.fileList();
    EXPECT_EQ(list.damage(0), "");
    EXPECT_EQ(list.damage(1), "empty");
    EXPECT_EQ(list.damage(2), "no package header");
    const std::string cut =
        "cut short at byte " + std::to_string(whole.size() - 12) + " of at least ";
    ASSERT_EQ(list.damage(3).rfind(cut, 0), 0u) << list.damage(3);
    EXPECT_GT(std::stoul(list.damage(3).substr(cut.size())), whole.size() - 12);
    EXPECT_EQ(list.damage(4),
              "its tables are damaged: an import names a name the name table does not hold");
    s.session.uncheckAll();
    s.session.checkAll();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"+DM-Fine.ut2", "-Empty.utx", "-Text.utx",
                                                  "-Short.utx", "-BadName.usx", "+Same.utx"}));
    EXPECT_EQ(s.session.statusText(), "Found 1 file to process");
    // One ticked by hand stays ticked through Check All.
    s.session.setTicked(3, true);
    s.session.checkAll();
    EXPECT_TRUE(list.rows()[3].ticked);
}

TEST(PackageState, EveryRowGetsAStateOnTheThreadedPath) {
    // Above the 2,048 entries where the work is shared out, and a count no
    // number of threads divides evenly.
    GameFixture fx;
    std::vector<std::string> lines;
    for (int i = 1; i <= 2051; ++i) {
        fx.addCacheFile(ident(i) + ".uxx", "OggS " + std::to_string(i));
        lines.push_back(ident(i) + "=Song" + std::to_string(i) + ".ogg");
    }
    fx.writeCacheIni(lines);
    auto r = tvtest::runCli(fx, "scan --state");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t withState = 0;
    for (const auto& line : tv::splitLines(r.out))
        withState += line.size() > 4 && line.substr(line.size() - 4) == "\tnew";
    EXPECT_EQ(withState, 2051u);
}

TEST(PackageState, TheRunSaysWhyAPackageStayed) {
    EveryState s;
    auto r = tvtest::runCli(s.fx, "run --no-backup --only DM-Same.ut2 --only DM-Other.ut2 --only "
                                  "SameTex.utx --only DM-New.ut2");
    EXPECT_EQ(r.status, 0) << r.err;
    auto after = [&](const std::string& line) {
        const auto at = r.out.find(line + "\n");
        if (at == std::string::npos) return std::string("(no line: " + line + ")");
        const auto next = at + line.size() + 1;
        return r.out.substr(next, r.out.find('\n', next) - next);
    };
    EXPECT_EQ(after(ident(2) + ".uxx {DM-Same.ut2} was not moved."),
              "identical package already installed");
    EXPECT_EQ(after(ident(4) + ".uxx {DM-Other.ut2} was not moved."),
              "another version of DM-Other.ut2 is installed; kept in the cache");
    EXPECT_EQ(after(ident(3) + ".uxx {SameTex.utx} was not moved."),
              "the same package (another copy) is already installed");
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-New.ut2"));
    // The log says it too.
    const std::string log = tvtest::readFile(s.fx.program + "/Tessvane.log");
    EXPECT_NE(log.find("another version of DM-Other.ut2 is installed; kept in the cache"),
              std::string::npos);

    // Left unticked by the selection, or installed under another letter
    // case: the reason all the same.
    r = tvtest::runCli(s.fx, "run --no-backup --select all");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(after(ident(4) + ".uxx {DM-Other.ut2} was not moved."),
              "another version of DM-Other.ut2 is installed; kept in the cache");
    EXPECT_EQ(after(ident(5) + ".uxx {dm-case.ut2} was not moved."),
              "identical package already installed");
}

// A cache entry whose file is a link (to anything) is no download: it
// stays, and the run says so and fails.
TEST(PackageState, ALinkInTheCacheIsNeverMovedIntoTheGame) {
    GameFixture fx;
    tvtest::TempDir outside;
    writeFile(outside / "Secret.u", makePackage(1, "someone's file"));
    std::filesystem::create_symlink(outside / "Secret.u", fx.cache + "/" + ident(1) + ".uxx");
    fx.writeCacheIni({ident(1) + "=Linked.u"});
    const auto r = tvtest::runCli(fx, "run --no-backup --select all");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("is a link, not a downloaded file (Linked.u stays in the cache)"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(tvtest::exists(fx.game + "/System/Linked.u"));
    EXPECT_TRUE(tv::isSymlink(fx.cache + "/" + ident(1) + ".uxx"));
}

TEST(PackageState, TheGameFoldersOwnPackagesAreNeverShadowed) {
    // A native UT2004: the game folder holds the stock packages (in any
    // letter case, and in a folder only Paths= names), the player's folder
    // the cache, the type folders a run moves into and a Paths= folder too.
    GameFixture fx;
    const std::string user = fx.home + "/.ut2004";
    writeFile(fx.game + "/System/ut2004-bin-linux-amd64", "ELF");
    writeFile(user + "/System/UT2004.ini",
              "[Core.System]\nPurgeCacheDays=0\nCachePath=../Cache\nCacheExt=.uxx\n"
              "Paths=../Maps/*.UT2\nPaths=..\\ExtraMaps\\*.ut2\nPaths=../Textures/*.utx\n"
              "Paths=*.u\n");
    writeFile(fx.game + "/Maps/dm-stock.ut2", makePackage(20, "stock"));
    writeFile(fx.game + "/ExtraMaps/DM-Extra.ut2", makePackage(22, "stock extra"));
    writeFile(fx.game + "/Textures/StockTex.utx", makePackage(23, "stock tex"));
    writeFile(user + "/ExtraMaps/DM-Mine.ut2", makePackage(26, "mine"));
    writeFile(fx.game + "/System/Core.u", makePackage(28, "stock code")); // "*.u": System itself
    std::vector<std::string> lines;
    auto cached = [&](int n, const std::string& name, const std::string& bytes) {
        writeFile(user + "/Cache/" + ident(n) + ".uxx", bytes);
        lines.push_back(ident(n) + "=" + name);
    };
    cached(1, "DM-Stock.ut2", makePackage(21, "stock"));
    cached(2, "DM-Extra.ut2", makePackage(24, "extra"));
    cached(3, "StockTex.utx", makePackage(23, "stock tex"));
    cached(4, "DM-Fresh.ut2", makePackage(25, "fresh"));
    cached(5, "DM-Mine.ut2", makePackage(27, "mine"));
    cached(6, "Core.u", makePackage(29, "other code"));
    writeFile(user + "/Cache/cache.ini", tvtest::crlf([&] {
                  auto all = lines;
                  all.insert(all.begin(), "[Cache]");
                  return all;
              }()));
    const std::string game = "--game " + fx.game + " ";

    auto r = tvtest::runCli(fx, game + "scan --state");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rowStates(r.out), (std::vector<std::string>{
                                    "0 DM-Stock.ut2 other version", "0 DM-Extra.ut2 other version",
                                    "1 StockTex.utx identical", "1 DM-Fresh.ut2 new",
                                    "0 DM-Mine.ut2 other version", "0 Core.u other version"}));
    r = tvtest::runCli(fx, game + "run --no-backup --only DM-Stock.ut2 --only DM-Extra.ut2 "
                                  "--only StockTex.utx --only DM-Fresh.ut2");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* kept : {"another version of DM-Stock.ut2 is installed; kept in the cache",
                             "another version of DM-Extra.ut2 is installed; kept in the cache",
                             "identical package already installed"})
        EXPECT_NE(r.out.find(kept), std::string::npos) << kept << "\n" << r.out;
    EXPECT_TRUE(tvtest::exists(user + "/Maps/DM-Fresh.ut2"));
    for (const char* shadow :
         {"/Maps/DM-Stock.ut2", "/Maps/DM-Extra.ut2", "/Textures/StockTex.utx"})
        EXPECT_FALSE(tvtest::exists(user + shadow)) << shadow;
    // The copy of a stock package is what tidy offers.
    r = tvtest::runCli(fx, game + "tidy --duplicates --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(tvtest::exists(user + "/Cache/" + ident(3) + ".uxx"));
    EXPECT_TRUE(tvtest::exists(user + "/Cache/" + ident(1) + ".uxx"));
}

namespace {

// A cache with a duplicate, a stale line, an orphan and a package to keep.
struct Untidy {
    GameFixture fx;
    std::string dupLine, staleLine, keptLine;
    Untidy() {
        fx.addCacheFile(ident(1) + ".uxx", makePackage(1, "same bytes"));
        tvtest::writeFile(fx.game + "/Maps/DM-Dup.ut2", makePackage(1, "same bytes"));
        dupLine = ident(1) + "=DM-Dup.ut2";
        staleLine = ident(2) + "=Gone.utx"; // no file
        fx.addCacheFile(ident(3) + ".uxx", makePackage(3, "keep me"));
        keptLine = ident(3) + "=Keep.utx";
        fx.addCacheFile(ident(4) + ".uxx", std::string(1000, 'o')); // no line
        fx.writeCacheIni({dupLine, staleLine, keptLine});
    }
    std::string index() const { return tvtest::readFile(fx.cache + "/Cache.ini"); }
};

} // namespace

TEST(Tidy, ADryRunSaysEverythingAndWritesNothing) {
    Untidy u;
    const auto before = tvtest::snapshotTree(u.fx.dir.path());
    auto r = tvtest::runCli(u.fx, "tidy --dry-run --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Would: Removed the line " + u.staleLine + ": its cache file is gone"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Would: Deleted " + ident(1) +
                         ".uxx {DM-Dup.ut2} (74 bytes): identical "
                         "to the installed DM-Dup.ut2"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Would: Deleted " + ident(4) + ".uxx (1000 bytes)"), std::string::npos);
    EXPECT_NE(r.out.find("\n2 files and 1074 bytes would be freed; 2 lines would be removed "
                         "from Cache.ini\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find(" freed; 2 lines removed"), std::string::npos) << r.out;
    auto after = tvtest::snapshotTree(u.fx.dir.path());
    after.erase("stderr.txt");
    auto was = before;
    was.erase("stderr.txt");
    EXPECT_EQ(after, was);
}

TEST(Tidy, EachOptionFreesExactlyWhatItNamesWithTheOldIndexKept) {
    {
        Untidy u;
        const std::string old = u.index();
        auto r = tvtest::runCli(u.fx, "tidy --stale-lines");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(u.index(), tvtest::crlf({"[Cache]", u.dupLine, u.keptLine}));
        EXPECT_EQ(tvtest::readFile(u.fx.cache + "/cachebak.ini"), old);
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(1) + ".uxx"));
        EXPECT_NE(r.out.find("0 files and 0 bytes freed; 1 line removed"), std::string::npos);
    }
    {
        Untidy u;
        // The installed file's size, other bytes: no duplicate.
        u.fx.addCacheFile(ident(7) + ".uxx", makePackage(7, "abcd"));
        tvtest::writeFile(u.fx.game + "/Maps/DM-Near.ut2", makePackage(7, "abce"));
        const std::string nearLine = ident(7) + "=DM-Near.ut2";
        // Installed as a link to the cache file, or as a second name of it:
        // the cache file is the game's only copy.
        const std::string linked = u.fx.cache + "/" + ident(8) + ".uxx";
        const std::string hard = u.fx.cache + "/" + ident(9) + ".uxx";
        tvtest::writeFile(linked, makePackage(8, "linked"));
        tvtest::writeFile(hard, makePackage(9, "hard"));
        std::filesystem::create_symlink(linked, u.fx.game + "/Maps/DM-Linked.ut2");
        std::filesystem::create_hard_link(hard, u.fx.game + "/Maps/DM-Hard.ut2");
        const std::string linkLines[] = {ident(8) + "=DM-Linked.ut2", ident(9) + "=DM-Hard.ut2"};
        u.fx.writeCacheIni(
            {u.dupLine, u.staleLine, u.keptLine, nearLine, linkLines[0], linkLines[1]});
        auto r = tvtest::runCli(u.fx, "tidy --duplicates");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(u.index(), tvtest::crlf({"[Cache]", u.staleLine, u.keptLine, nearLine,
                                           linkLines[0], linkLines[1]}));
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(7) + ".uxx"));
        EXPECT_EQ(tvtest::readFile(u.fx.game + "/Maps/DM-Linked.ut2"), makePackage(8, "linked"));
        EXPECT_TRUE(tvtest::exists(linked) && tvtest::exists(hard));
        EXPECT_FALSE(tvtest::exists(u.fx.cache + "/" + ident(1) + ".uxx"));
        EXPECT_TRUE(tvtest::exists(u.fx.game + "/Maps/DM-Dup.ut2"));
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(4) + ".uxx"));
        const std::string log = tvtest::readFile(u.fx.program + "/Tessvane.log");
        EXPECT_NE(log.find("Tidying the cache " + u.fx.cache + "\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("Deleted " + ident(1) +
                           ".uxx {DM-Dup.ut2} (74 bytes): identical to "
                           "the installed DM-Dup.ut2\r\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("1 file and 74 bytes freed; 1 line removed from Cache.ini"),
                  std::string::npos);
        // Said once.
        const std::string summary = "1 file and 74 bytes freed";
        EXPECT_EQ(r.out.find(summary), r.out.rfind(summary)) << r.out;
    }
    {
        Untidy u;
        // A line of the older form names the file of UT2004's form too.
        u.fx.addCacheFile(ident(6) + "-1.uxx", makePackage(6, "numbered"));
        u.fx.writeCacheIni({u.dupLine, u.staleLine, u.keptLine, ident(6) + "=Kept.utx"});
        const std::string old = u.index();
        // Orphans are listed; only --yes deletes them.
        auto r = tvtest::runCli(u.fx, "tidy --orphans");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(ident(4) + ".uxx (1000 bytes): no line of Cache.ini names it"),
                  std::string::npos);
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(4) + ".uxx"));
        EXPECT_EQ(u.index(), old);
        r = tvtest::runCli(u.fx, "tidy --orphans --yes");
        EXPECT_FALSE(tvtest::exists(u.fx.cache + "/" + ident(4) + ".uxx"));
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(3) + ".uxx"));
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(6) + "-1.uxx"));
        EXPECT_EQ(u.index(), old);
        EXPECT_NE(r.out.find("1 file and 1000 bytes freed; 0 lines removed"), std::string::npos);
    }
    {
        // Cache.ini cannot be rewritten: the duplicate keeps its file and
        // the tidy ends as failed.
        Untidy u;
        const std::string old = u.index();
        tvtest::ReadOnly locked(u.fx.cache + "/Cache.ini");
        if (locked.skipped()) return;
        auto r = tvtest::runCli(u.fx, "tidy --duplicates --stale-lines");
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_NE(r.out.find("Cache.ini could not be rewritten"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Removed the line"), std::string::npos) << r.out;
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(1) + ".uxx"));
        EXPECT_EQ(u.index(), old);
    }
}

// The plan the user was shown bounds the tidy: a shown copy that changed
// since is left alone and said, a copy or orphan that was not shown stays.
TEST(Tidy, OnlyWhatTheConfirmedPlanHeldAndStillHoldsIsDone) {
    Untidy u;
    std::string label = u.fx.cache;
    const CacheFolders folders = workOutFolders(u.fx.program, tvtest::installAt(u.fx.game), label);
    TidyOptions all;
    all.duplicates = all.staleLines = all.orphans = all.deleteOrphans = true;
    const TidyPlan shown = planTidy(folders, all);
    ASSERT_EQ(shown.duplicates.size(), 1u);
    // After the plan was shown: the copy changes, and a new copy and a new
    // orphan appear.
    u.fx.addCacheFile(ident(1) + ".uxx", makePackage(1, "other bytes"));
    writeFile(u.fx.game + "/Maps/DM-Dup.ut2", makePackage(1, "other bytes"));
    u.fx.addCacheFile(ident(5) + ".uxx", makePackage(5, "late"));
    writeFile(u.fx.game + "/Textures/Late.utx", makePackage(5, "late"));
    u.fx.addCacheFile(ident(6) + ".uxx", "late orphan");
    u.fx.writeCacheIni({u.dupLine, u.staleLine, u.keptLine, ident(5) + "=Late.utx"});
    std::vector<std::string> lines;
    WorkSink sink;
    sink.statusLine = [&](const std::string& l) { lines.push_back(l); };
    const TidyResult r = tidyCache(folders, all, u.fx.program, sink, &shown);
    EXPECT_EQ(r.filesDeleted, 1u); // the orphan that was shown
    EXPECT_FALSE(tvtest::exists(u.fx.cache + "/" + ident(4) + ".uxx"));
    for (int kept : {1, 3, 5, 6})
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(kept) + ".uxx")) << kept;
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        ident(1) + ".uxx changed since the tidy was planned: left alone"),
              lines.end());
    const std::string index = u.index();
    EXPECT_EQ(index.find(u.staleLine), std::string::npos);
    EXPECT_NE(index.find(u.dupLine), std::string::npos);
    EXPECT_NE(index.find(ident(5) + "=Late.utx"), std::string::npos);
}

TEST(Tidy, RefusesWhileTheGameRunsAndWithoutAnIndex) {
    Untidy u;
    tvtest::TempDir proc;
    tvtest::writeFile(proc / "5/comm", "UT2003.exe\n");
    const auto before = tvtest::snapshotTree(u.fx.cache);
    auto r = tvtest::runCli(u.fx, "tidy --yes", "TESSVANE_PROC_ROOT=" + proc.path());
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(tvtest::snapshotTree(u.fx.cache), before);
    std::filesystem::remove(u.fx.cache + "/Cache.ini");
    r = tvtest::runCli(u.fx, "tidy");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cache.INI is MISSING"), std::string::npos);
}

// Killed at any step, a tidy leaves every package it was not asked to
// delete with its line and its file, never a line without its file but the
// stale one, and the next tidy finishes the work.
TEST(CrashSafety, ATidyKilledAtAnyStepLosesNothingItWasNotAskedToDelete) {
    for (int step = 1;; ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        Untidy u;
        u.fx.addCacheFile(ident(5) + ".uxx", makePackage(5, "twin"));
        tvtest::writeFile(u.fx.game + "/Textures/Twin.utx", makePackage(5, "twin"));
        u.fx.writeCacheIni({u.dupLine, u.staleLine, ident(5) + "=Twin.utx", u.keptLine});
        auto killed =
            tvtest::runCli(u.fx, "tidy --yes", "TESSVANE_CRASH_AFTER=" + std::to_string(step));
        if (killed.status == 0) {
            EXPECT_GT(step, 4); // cachebak.ini, the index, three files
            break;
        }
        ASSERT_EQ(killed.status, tv::kCrashExitStatus) << killed.err;
        EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + ident(3) + ".uxx"));
        EXPECT_TRUE(tvtest::exists(u.fx.game + "/Maps/DM-Dup.ut2"));
        EXPECT_TRUE(tvtest::exists(u.fx.game + "/Textures/Twin.utx"));
        const std::vector<std::string> lines =
            tv::readLines(u.fx.cache + "/Cache.ini").value_or(std::vector<std::string>{});
        ASSERT_FALSE(lines.empty());
        for (const auto& line : lines) {
            if (line == "[Cache]" || line == u.staleLine) continue;
            EXPECT_TRUE(tvtest::exists(u.fx.cache + "/" + line.substr(0, 32) + ".uxx")) << line;
        }
        auto next = tvtest::runCli(u.fx, "tidy --yes");
        ASSERT_EQ(next.status, 0) << next.err;
        EXPECT_EQ(u.index(), tvtest::crlf({"[Cache]", u.keptLine}));
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(u.fx.cache))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{ident(3) + ".uxx", "Cache.ini", "cachebak.ini"}));
        if (::testing::Test::HasFailure()) return;
    }
}
