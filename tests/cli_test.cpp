#include "test_support.h"
#include "umod_support.h"

#include "formats/registry_store.h"
#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <sys/wait.h>

using tvtest::GameFixture;
using tvtest::ident;

namespace {

using tvtest::shellQuote;

using Result = tvtest::CliResult;

Result run(const GameFixture& fx, const std::string& args) {
    return tvtest::runCli(fx, args);
}

std::string fileNameOfDir(const std::string& path) {
    return std::filesystem::path(path).filename().string();
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

namespace {

// The game, the program folder and the settings, as bytes.
struct WholeState {
    std::map<std::string, std::string> game, program;
    std::string registry;
    explicit WholeState(const GameFixture& fx)
        : game(tvtest::snapshotTree(fx.game)), program(tvtest::snapshotTree(fx.program)),
          registry(tvtest::readFile(fx.registry)) {}
    bool operator==(const WholeState&) const = default;
};

} // namespace

TEST(CliDryRun, WritesNothingAnywhere) {
    GameFixture fx;
    // Everything a real run or a scan would write: a map to repair, a purge
    // period to raise, a log to replace, a backup to make.
    tvtest::writeFile(fx.game + "/System/UT2003.ini", "[Core.System]\r\nPurgeCacheDays=5\r\n");
    tvtest::writeFile(fx.program + "/Tessvane.log", "the last run\r\n");
    fx.addCacheFile(ident(3) + ".uxx");
    fx.writeCacheIni(
        {fx.addEntry(1, "DM-A.ut2"), fx.addEntry(2, "Tex.utx"), ident(3) + "=DM-NoExt"});
    WholeState before(fx);
    for (const char* args : {"run --dry-run --backup", "run --dry-run --to-structured elsewhere",
                             "run --dry-run --select all --only Tex.utx"}) {
        Result r = run(fx, args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(WholeState(fx), before) << args;
    }
    Result r = run(fx, "run --dry-run");
    EXPECT_NE(
        r.out.find("**OLD** " + ident(1) + ".uxx  ---->  **NEW** " + fx.game + "/Maps/DM-A.ut2"),
        std::string::npos);
    EXPECT_FALSE(tvtest::exists(fx.dir / "elsewhere"));
    EXPECT_FALSE(tvtest::exists("elsewhere"));
}

TEST(CliArguments, ValuesThatLookLikeOptionsAndUnknownOptionsAreRefusedBeforeAnythingRuns) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2")});
    tvtest::TempDir cwd;
    WholeState before(fx);
    const std::pair<const char*, const char*> refused[] = {
        {"run --to --backup", "--to needs a folder"},
        {"run --to-structured", "--to-structured needs a folder"},
        {"run --only --dry-run", "--only needs a name"},
        {"run --types", "--types needs a list of types"},
        {"--game --cache scan", "--game needs a folder"},
        {"zip --to --no-preview a.zip", "--to needs a folder"},
        {"run --bogus", "unknown option '--bogus'"},
        {"scan extra", "unexpected argument 'extra'"},
        {"purge --now", "unknown option '--now'"},
        {"clean-tmp --yes", "unknown option '--yes'"},
        {"undo --list --all", "undo --list takes nothing else"},
        {"never-move add", "never-move takes list, add TEXT or remove TEXT"},
        {"demo a b", "demo needs one folder"},
        {"check-update now", "unexpected argument 'now'"},
    };
    for (const auto& [args, message] : refused) {
        Result r = tvtest::runCli(fx, args, "", "cd " + shellQuote(cwd.path()) + " &&");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(WholeState(fx), before) << args;
    }
    EXPECT_TRUE(tvtest::snapshotTree(cwd.path()).empty()); // no folder named --backup
}

TEST(CliArguments, CommandHelpPrintsOnlyThatCommandsHelp) {
    GameFixture fx;
    tvtest::TempDir cwd;
    WholeState before(fx);
    for (const char* command :
         {"games", "scan", "run", "undo", "purge", "clean-tmp", "set-purge", "zip", "check-update",
          "compact", "empty-undo", "never-move", "demo"}) {
        Result r = tvtest::runCli(fx, std::string(command) + " --help", "",
                                  "cd " + shellQuote(cwd.path()) + " &&");
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(
            r.out.rfind(std::string("usage: tessvane-cli [--game DIR|N] [--cache DIR] ") + command,
                        0),
            0u)
            << r.out;
        EXPECT_EQ(r.out.find("Exit status"), std::string::npos) << command; // not the whole usage
    }
    EXPECT_EQ(tvtest::runCli(fx, "set-purge 40 -h").status, 0);
    EXPECT_EQ(WholeState(fx), before);
    EXPECT_TRUE(tvtest::snapshotTree(cwd.path()).empty()); // demo --help made no folder
    Result all = run(fx, "--help");
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("Exit status"), std::string::npos);
}

TEST(CliSetPurge, OnlyWholeDaysFromZeroToTenYearsAreWritten) {
    GameFixture fx;
    const std::string ini = fx.game + "/System/UT2003.ini";
    for (const char* bad : {"abc", "-1", "3651", "12.5", "99999999999", "' 40'", "''"}) {
        Result r = run(fx, std::string("set-purge ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\r\nPurgeCacheDays=90\r\n") << bad;
    }
    EXPECT_NE(run(fx, "set-purge abc").err.find("a whole number of days from 0 to 3650"),
              std::string::npos);
    for (const char* good : {"0", "3650", "45", "12"}) {
        Result r = run(fx, std::string("set-purge ") + good);
        EXPECT_EQ(r.status, 0) << good << r.err;
        EXPECT_EQ(tvtest::readFile(ini),
                  "[Core.System]\r\nPurgeCacheDays=" + std::string(good) + "\r\n");
        // Written as asked, and what the next scan does with it is said.
        if (std::string(good) != "12") {
            EXPECT_EQ(r.err.find("The next scan raises"), std::string::npos) << good;
        }
    }
    EXPECT_NE(run(fx, "set-purge 12").err.find("The next scan raises a period of 30 days or less"),
              std::string::npos);
}

TEST(CliPaths, RelativeFoldersAreWholePathsAndUndoFromElsewhereWorks) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2"), fx.addEntry(2, "Tex.utx")});
    tvtest::TempDir cwd, other;
    const std::string inCwd = "cd " + shellQuote(cwd.path()) + " &&";
    Result r = tvtest::runCli(fx, "run --to relout/", "", inCwd);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tvtest::exists(cwd / "relout/DM-A.ut2"));
    std::vector<std::string> lines = tv::splitLines(run(fx, "undo --list").out);
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& l : lines)
        EXPECT_NE(l.find("\t" + cwd.path() + "/relout/"), std::string::npos) << l;
    // Undone from another folder, by a relative name there and by --all.
    std::filesystem::create_directories(other / "relout");
    Result one =
        tvtest::runCli(fx, "undo --yes ../../" + fileNameOfDir(cwd.path()) + "/relout/DM-A.ut2", "",
                       "cd " + shellQuote(other / "relout") + " &&");
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    Result rest =
        tvtest::runCli(fx, "undo --yes --all", "", "cd " + shellQuote(other.path()) + " &&");
    EXPECT_EQ(rest.status, 0) << rest.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx"));
    EXPECT_TRUE(run(fx, "undo --list").out.empty());

    // The game and cache folders too.
    Result scan = tvtest::runCli(fx, "--game ../" + fileNameOfDir(fx.game) + " --cache Cache scan",
                                 "", "cd " + shellQuote(fx.game) + " &&");
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("DM-A.ut2"), std::string::npos);
}

TEST(CliUndo, TheIndexLinesComeBackAsTheyWere) {
    GameFixture fx;
    // UT2004's "-1" line of a file without the "-1", a plain line, LF line
    // ends. A line edited in the log to hold a line break, to name another
    // package or to name another cache file is not written: the rebuilt one is.
    const std::vector<std::string> lines = {
        ident(1) + "-1=DM-Line.ut2", fx.addEntry(3, "DM-Plain.ut2"), ident(4) + "-1=DM-Break.ut2",
        ident(5) + "-1=DM-Other.ut2", ident(6) + "-1=DM-Moved.ut2"};
    for (int n : {1, 4, 5, 6})
        fx.addCacheFile(ident(n) + ".uxx",
                        tvtest::packageBytes("DM-" + std::to_string(n) + ".ut2"));
    std::string index = "[Cache]\n";
    for (const auto& line : lines)
        index += line + "\n";
    tvtest::writeFile(fx.cache + "/Cache.ini", index);
    ASSERT_EQ(run(fx, "run --no-backup").status, 0);
    for (const char* moved : {"DM-Line", "DM-Plain", "DM-Break", "DM-Other", "DM-Moved"})
        ASSERT_TRUE(tvtest::exists(fx.game + "/Maps/" + moved + ".ut2")) << moved;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((fx.program + "/tessvane.mdb").c_str(), &db), SQLITE_OK);
        const std::string sql =
            "UPDATE MoveLines SET Line = substr(Line, 1, 32) || char(10) || 'DM-Break.ut2' "
            "WHERE Line LIKE '%DM-Break%';"
            "UPDATE MoveLines SET Line = replace(Line, 'DM-Other', 'DM-Forged');"
            "UPDATE MoveLines SET Line = replace(Line, '" +
            ident(6) + "', '" + ident(7) + "');";
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_EQ(run(fx, "undo --yes --all").status, 0);
    const auto back = tvtest::readFile(fx.cache + "/Cache.ini");
    for (const std::string& line : {lines[0], lines[1], ident(4) + "=DM-Break.ut2",
                                    ident(5) + "=DM-Other.ut2", ident(6) + "=DM-Moved.ut2"})
        EXPECT_NE(back.find("\n" + line + "\n"), std::string::npos) << line << "\n" << back;
    EXPECT_EQ(back.find("Forged"), std::string::npos);
    EXPECT_EQ(back.find(ident(7)), std::string::npos);
    EXPECT_EQ(back.find('\r'), std::string::npos);
    // A kept line goes with its record: the next move of that file, whose
    // line is now the rebuilt one, gets that one back.
    const std::string now = "[Cache]\n" + ident(1) + "=DM-Line.ut2\n";
    tvtest::writeFile(fx.cache + "/Cache.ini", now);
    ASSERT_EQ(run(fx, "run --no-backup").status, 0);
    ASSERT_EQ(run(fx, "undo --yes --all").status, 0);
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), now);
}

TEST(CliUndo, ARecordWhoseFileIsGoneIsRemovedAndReported) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2")});
    ASSERT_EQ(run(fx, "run").status, 0);
    std::filesystem::remove(fx.game + "/Maps/DM-A.ut2");
    Result r = run(fx, "undo --yes --all");
    EXPECT_NE(r.out.find(fx.game + "/Maps/DM-A.ut2 is no longer there; its record was removed"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(run(fx, "undo --list").out.empty());
    // A path the log does not hold is said, not taken for an undo.
    Result unknown = run(fx, "undo --yes " + fx.game + "/Maps/DM-A.ut2");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("has no undo record"), std::string::npos);
}

TEST(CliCommands, EveryCommandRunsFromTheShell) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2"), fx.addEntry(2, "Tex.utx"),
                      fx.addEntry(3, "Song.ogg"), fx.addEntry(4, "Mesh.usx")});
    tvtest::writeFile(fx.game + "/old.tmp", "x");
    tvtest::TempDir out;

    Result only = run(fx, "run --only Tex.utx");
    EXPECT_EQ(only.status, 0) << only.err;
    EXPECT_TRUE(tvtest::exists(fx.game + "/Textures/Tex.utx"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-A.ut2"));
    Result structured = run(fx, "run --only Song.ogg --to-structured " + shellQuote(out / "s"));
    EXPECT_EQ(structured.status, 0) << structured.err;
    EXPECT_TRUE(tvtest::exists(out / "s/Music/Song.ogg"));
    Result flat = run(fx, "run --only Mesh.usx --to " + shellQuote(out / "flat"));
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_TRUE(tvtest::exists(out / "flat/Mesh.usx"));

    EXPECT_EQ(run(fx, "never-move add DM-*").status, 0);
    EXPECT_EQ(run(fx, "never-move list").out, "DM-*\n");
    EXPECT_EQ(run(fx, "scan").out.substr(0, 11), "0\tDM-A.ut2\t");
    EXPECT_EQ(run(fx, "never-move remove DM-*").status, 0);
    EXPECT_EQ(run(fx, "never-move remove DM-*").status, 1);
    EXPECT_TRUE(run(fx, "never-move list").out.empty());

    EXPECT_EQ(run(fx, "undo --yes " + shellQuote(out / "flat/Mesh.usx")).status, 0);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(4) + ".uxx"));
    EXPECT_EQ(run(fx, "compact").out, "Database compacted\n");
    EXPECT_EQ(run(fx, "empty-undo").status, 1); // answered No
    EXPECT_EQ(tv::splitLines(run(fx, "undo --list").out).size(), 2u);
    EXPECT_EQ(run(fx, "empty-undo --yes").status, 0);
    EXPECT_TRUE(run(fx, "undo --list").out.empty());

    EXPECT_EQ(run(fx, "clean-tmp").status, 0);
    EXPECT_FALSE(tvtest::exists(fx.game + "/old.tmp"));
    EXPECT_EQ(run(fx, "purge").status, 1); // answered No
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(run(fx, "purge --yes").status, 0);
    EXPECT_FALSE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));

    tvtest::makeZip(out / "map.zip", {{"DM-Zipped.ut2", "map"}});
    Result zip = run(fx, "zip --no-preview " + shellQuote(out / "map.zip"));
    EXPECT_EQ(zip.status, 0) << zip.err;
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Zipped.ut2"));
}

// Names and texts in the player's files are anyone's: none reaches the
// terminal able to steer it or to forge a line, yet each still shows.
TEST(CliOutput, TextsFromFilesReachTheTerminalEscaped) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-\x1b[7mFake\r.ut2")});
    fx.writeNeverMove({"Evil\x1b[7m*"});
    const std::string mod = fx.dir / "Evil\x1b[7m.umod";
    tvtest::writeFile(
        mod, tvtest::makeUmod(
                 {{"Help\\Evil.txt", "Read me."},
                  {"Help\\\x1b[7mBad.txt", "bad"},
                  {"System\\Manifest.ini", "[Setup]\r\nProduct=Evil\r\nVersion=1\x1b[7m\r\n"
                                           "[Evil]\r\nIni=System\\UT2004.ini,X=\x1b[7m\r\n"},
                  {"System\\Manifest.int",
                   "[Setup]\r\nLocalProduct=Evil\x1b[7mMod\r\nDescription=Dark\x1b[7m\rer\r\n"}}));
    const std::string broken = fx.dir / "Broken\x1b[7m.umod";
    tvtest::writeFile(broken, "no installer");
    const std::string zip = fx.dir / "DM-Zip.zip";
    // Member names are read as code page 437, where no byte is a control.
    tvtest::makeZip(zip, {{"DM-Zip.ut2", "map"}, {"readme.txt", "Map\x1b[7m,By me"}});

    std::string all;
    for (const std::string& args : std::vector<std::string>{
             "scan", "never-move list", "zip " + shellQuote(mod), "undo --list",
             "zip " + shellQuote(zip), "zip " + shellQuote(broken)}) {
        const Result r = run(fx, args);
        all += r.out + r.err;
    }
    // A game folder whose name holds one, as `games` lists it.
    const std::string oddGame = fx.dir / "UT\x1b[7m2003";
    std::filesystem::create_directories(oddGame + "/System");
    tv::RegistryStore(fx.registry)
        .setValue(tvtest::kGameKey, "Folder", tv::RegValue::text(oddGame));
    const Result games = run(fx, "games");
    all += games.out + games.err;
    EXPECT_NE(games.out.find("/UT\\x1B[7m2003\t"), std::string::npos) << games.out;
    EXPECT_EQ(all.find('\x1b'), std::string::npos) << all;
    for (size_t cr = all.find('\r'); cr != std::string::npos; cr = all.find('\r', cr + 1))
        EXPECT_EQ(all.substr(cr, 2), "\r\n") << "a lone CR at " << cr << " of\n" << all;
    const std::string shown = "\\x1B[7m";
    for (const std::string& field : {
             "\tDM-" + shown + "Fake\\x0D.ut2\t", // a Cache.ini name
             "\nEvil" + shown + "*\n",            // a never-move line
             "Product: Evil" + shown + "Mod\n",   // the installer's texts
             "Version: 1" + shown + "\n", "Description:\nDark" + shown + "\\x0Der\n",
             "  Help\\" + shown + "Bad.txt (",                    // its file list
             "  [Evil] Ini=System\\UT2004.ini,X=" + shown + "\n", // what it leaves to the player
             "installed from " + fx.dir.path() + "/Evil" + shown + ".umod\n", // the undo log
             "Description:\nMap" + shown + ",By me\n",        // a map archive's preview
             "/Broken" + shown + ".umod cannot be installed", // a message
         })
        EXPECT_NE(all.find(field), std::string::npos) << field << " is not in\n" << all;
}
