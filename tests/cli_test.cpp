#include "test_support.h"

#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using tvtest::GameFixture;
using tvtest::ident;

namespace {

using tvtest::shellQuote;

using Result = tvtest::CliResult;

Result run(const GameFixture& fx, const std::string& args) {
    return tvtest::runCli(fx, args);
}

} // namespace

TEST(CliScan, PrintsRowsThenStatus) {
    GameFixture fx;
    fx.writeNeverMove({"Keep*"});
    fx.writeCacheIni(
        {fx.addEntry(1, "A.utx"), fx.addEntry(2, "KeepMe.u"), fx.addEntry(3, "Song.ogg")});
    tvtest::setModified(fx.cache + "/" + ident(1) + ".uxx", 1000000000);
    Result r = run(fx, "scan");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = tv::splitLines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 8), "1\tA.utx\t");
    EXPECT_GT(lines[0].size(), 8u); // a date
    EXPECT_EQ(lines[1].substr(0, 11), "0\tKeepMe.u\t");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 5), "\tTrue");
    EXPECT_EQ(lines[3], "Found 2 files to process");
}

TEST(CliScan, TypesAndSelectOverrideTheStoredSelectionForOneCall) {
    GameFixture fx;
    fx.writeCacheIni(
        {fx.addEntry(1, "A.utx"), fx.addEntry(2, "Song.ogg"), fx.addEntry(3, "M.ut2")});
    Result r = run(fx, "scan --types umx,ut2");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = tv::splitLines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0][0], '0');
    EXPECT_EQ(lines[1][0], '1');
    EXPECT_EQ(lines[2][0], '1');
    EXPECT_EQ(run(fx, "scan --select all").out.substr(0, 1), "1");
    EXPECT_EQ(run(fx, "scan --types bogus").status, 2);
    // Nothing of the selection was stored.
    EXPECT_EQ(tvtest::readFile(fx.registry).find("SelectOnly"), std::string::npos);
}

TEST(CliScan, GameAndCacheOptionsOverrideWithoutWriting) {
    GameFixture fx;
    tvtest::TempDir other;
    tvtest::writeFile(other / "Cache.ini", "[Cache]\r\n" + ident(5) + "=Other.ut2\r\n");
    std::string before = tvtest::readFile(fx.registry);
    Result r = run(fx, "--game /nowhere --cache " + shellQuote(other.path()) + " scan");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 12), "1\tOther.ut2\t");
    EXPECT_EQ(tvtest::readFile(fx.registry), before);
}

TEST(CliScan, MissingCacheIniExitsWithOneAndSaysSo) {
    GameFixture fx;
    Result r = run(fx, "scan");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Critical file missing!: Cache.INI is MISSING...can't proceed!"),
              std::string::npos);
}

TEST(CliDemo, CreatesAGameThatScans) {
    GameFixture fx; // only for its folder and the command's environment
    std::string demo = fx.dir / "demo";
    Result made = run(fx, "demo " + shellQuote(demo));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.out.find("TESSVANE_HOME="), std::string::npos);
    tvtest::CommandResult scan =
        tvtest::runCommand("TESSVANE_HOME=" + shellQuote(demo + "/program") +
                           " TESSVANE_REGISTRY=" + shellQuote(demo + "/registry.reg") + " " +
                           TESSVANE_CLI + " scan 2>/dev/null");
    ASSERT_EQ(scan.status, 0);
    const std::string& out = scan.out;
    EXPECT_NE(out.find("0\tTankParts.utx"), std::string::npos);
    // The map without extension is repaired at the first scan; the other stays an error.
    EXPECT_NE(out.find("1\tDM-Deck17.UT2\t"), std::string::npos);
    EXPECT_NE(out.find("0\t**ERROR** Missing file extension in cache.ini ---> ModSettings"),
              std::string::npos);
    EXPECT_NE(out.find("\tTrue\n"), std::string::npos);
    EXPECT_NE(out.find("1\tCTF-Face3.ut2\t0"), std::string::npos); // the "-1" file has a date
    EXPECT_NE(out.find("Found "), std::string::npos);
}
