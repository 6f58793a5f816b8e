// Hostile names, tampered records, links, letter case, unwritable files and
// two Tessvanes at once: nothing is written outside the game, nothing is
// lost, and every failure is told.
#include "run_support.h"

#include "engine/cache_index.h"
#include "engine/cache_run.h"
#include "platform/operation_lock.h"
#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tv;
using tvtest::crlf;
using tvtest::ident;
using tvtest::Package;
using tvtest::SessionFixture;
using tvtest::TempDir;

namespace {

// Regular files below `root` whose name contains `part`.
std::vector<std::string> filesContaining(const std::string& root, const std::string& part) {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().filename().string().find(part) != std::string::npos)
            found.push_back(e.path().string());
    return found;
}

template <class Lines> size_t countContaining(const Lines& lines, const std::string& part) {
    size_t n = 0;
    for (const auto& l : lines)
        n += l.find(part) != std::string::npos;
    return n;
}

std::string undoLogPath(const SessionFixture& s) {
    return s.fx.program + "/tessvane.mdb";
}

} // namespace

TEST(Confinement, NamesThatAreNoPlainFileNamesAreNeverMovedInAnyMode) {
    const std::vector<std::string> hostile = {"../../escaped.u",
                                              "..",
                                              ".",
                                              "",
                                              "sub/inner.utx",
                                              "back\\slash.utx",
                                              std::string("nul\0hidden.utx", 14)};
    for (auto mode :
         {Settings::MoveMode::Norm, Settings::MoveMode::Dir, Settings::MoveMode::Dir2}) {
        SCOPED_TRACE(static_cast<int>(mode));
        SessionFixture s;
        std::vector<std::string> lines;
        for (size_t i = 0; i < hostile.size(); ++i)
            lines.push_back(s.fx.addEntry(10 + static_cast<int>(i), hostile[i]));
        lines.push_back(s.fx.addEntry(1, "Good.utx"));
        s.fx.writeCacheIni(lines);
        s.session.changeSettings([&](tv::Settings& st) { st.setMoveOption(mode, true); });
        s.session.changeSettings([&](tv::Settings& st) { st.moveDirText = s.fx.dir / "One"; });
        s.session.changeSettings([&](tv::Settings& st) { st.moveDir2Text = s.fx.dir / "Target"; });
        ASSERT_TRUE(s.session.ScanCache());
        ASSERT_EQ(s.session.fileList().rows().size(), hostile.size() + 1);
        for (size_t i = 0; i < hostile.size(); ++i) {
            EXPECT_EQ(s.session.fileList().rows()[i].text, kUnsafeNameText + hostile[i]);
            EXPECT_FALSE(s.session.fileList().rows()[i].ticked);
        }
        s.session.checkAll(); // even ticked by hand
        ASSERT_TRUE(s.run());

        EXPECT_EQ(s.undoRecords().size(), 1u);
        for (size_t i = 0; i < hostile.size(); ++i)
            EXPECT_TRUE(
                tvtest::exists(s.fx.cache + "/" + ident(10 + static_cast<int>(i)) + ".uxx"));
        for (const char* part : {"escaped", "inner", "slash", "hidden"})
            EXPECT_TRUE(filesContaining(s.fx.dir.path(), part).empty()) << part;
        lines.pop_back();
        lines.insert(lines.begin(), "[Cache]");
        EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf(lines));
        EXPECT_EQ(
            countContaining(s.session.statusList(), "is not a plain file name and cannot be moved"),
            hostile.size());
        EXPECT_EQ(countContaining(s.logLines(), " is not a plain file name"), hostile.size());
        EXPECT_FALSE(s.failed());
    }
    CacheFolders folders;
    folders.system = "/game/System";
    EXPECT_EQ(destinationFor(FileType::Code, "../x.u", folders, RunOptions{}), "");
    EXPECT_EQ(destinationFor(FileType::Code, "x.u", folders, RunOptions{}), "/game/System/x.u");
}

TEST(Confinement, UndoFollowsOnlyRecordsThatNameCacheFiles) {
    SessionFixture s;
    TempDir outside;
    s.fx.writeCacheIni({});
    const std::string maps = s.fx.game + "/Maps/";
    tvtest::writeFile(outside / "notes.txt", "mine");
    tvtest::writeFile(outside / "secret", "secret");
    for (const char* m : {"A.ut2", "B.ut2", "D.ut2", "E.ut2"})
        tvtest::writeFile(maps + m, m);
    fs::create_symlink(outside / "secret", maps + "C.ut2");
    // A game folder in other letter case (an older log remembers no folders).
    tvtest::writeFile(s.fx.game + "/MAPS/F.ut2", "F.ut2");
    {
        UndoLog log;
        ASSERT_TRUE(log.open(undoLogPath(s)));
        log.insert({"d", outside / "notes.txt", maps + "A.ut2"});         // no cache file
        log.insert({"d", outside / (ident(2) + ".uxx"), maps + "B.ut2"}); // no Cache.ini there
        log.insert({"d", s.fx.cache + "/" + ident(3) + ".uxx", maps + "C.ut2"}); // a link
        log.insert({"d", s.fx.cache + "/../" + ident(4) + ".uxx", maps + "D.ut2"});
        log.insert({"d", s.fx.cache + "/" + ident(5) + ".uxx", maps + "E.ut2"}); // a real move
        log.insert({"d", s.fx.cache + "/" + ident(6) + ".uxx", s.fx.game + "/MAPS/F.ut2"});
    }
    s.prompter.answers = {true};
    ASSERT_TRUE(
        s.did(s.session.undo({{maps + "A.ut2", maps + "B.ut2", maps + "C.ut2", maps + "D.ut2",
                               maps + "E.ut2", s.fx.game + "/MAPS/F.ut2"}})));
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(countContaining(s.session.statusList(), "Not undone: "), 4u);
    EXPECT_EQ(tvtest::readFile(outside / "notes.txt"), "mine");
    EXPECT_EQ(tvtest::readFile(outside / "secret"), "secret");
    EXPECT_FALSE(tvtest::exists(outside / (ident(2) + ".uxx")));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/" + ident(4) + ".uxx"));
    for (const char* m : {"A.ut2", "B.ut2", "C.ut2", "D.ut2"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(maps + m))) << m;
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(5) + ".uxx"), "E.ut2");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(6) + ".uxx"), "F.ut2");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"),
              crlf({"[Cache]", ident(5) + "=E.ut2", ident(6) + "=F.ut2"}));
    EXPECT_EQ(s.undoRecords().size(), 4u);

    // The command line says so by its exit status.
    tvtest::CliResult r = tvtest::runCli(s.fx, "undo --yes --all");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(s.undoRecords().size(), 4u);
}

TEST(Confinement, UndoTakesFilesOnlyOutOfFoldersTessvaneMovesInto) {
    SessionFixture s;
    TempDir outside;
    s.fx.writeCacheIni({s.fx.addEntry(1, "Moved.ut2")});
    // A real run into a folder of the user's choice: that folder is remembered.
    s.session.ScanCache();
    s.session.changeSettings(
        [&](tv::Settings& st) { st.setMoveOption(Settings::MoveMode::Dir, true); });
    s.session.changeSettings([&](tv::Settings& st) { st.moveDirText = outside / "chosen"; });
    ASSERT_TRUE(s.run());
    ASSERT_TRUE(tvtest::exists(outside / "chosen/Moved.ut2"));
    // Tampered records: a user's file anywhere, a file in the game folder
    // itself, a game folder in another letter case (allowed), a file type no
    // run moves.
    fs::rename(s.fx.game + "/Textures", s.fx.game + "/textures");
    tvtest::writeFile(outside / "Documents/Thesis.ut2", "my thesis");
    tvtest::writeFile(s.fx.game + "/Notes.ut2", "notes");
    tvtest::writeFile(s.fx.game + "/textures/Tex.utx", "tex");
    tvtest::writeFile(s.fx.game + "/System/User.ini", "[DefaultPlayer]\r\n");
    const std::string cache = s.fx.cache + "/";
    {
        UndoLog log;
        ASSERT_TRUE(log.open(undoLogPath(s)));
        log.insert({"d", cache + ident(2) + ".uxx", outside / "Documents/Thesis.ut2"});
        log.insert({"d", cache + ident(3) + ".uxx", s.fx.game + "/Notes.ut2"});
        log.insert({"d", cache + ident(4) + ".uxx", s.fx.game + "/textures/Tex.utx"});
        log.insert({"d", cache + ident(5) + ".uxx", s.fx.game + "/System/User.ini"});
    }
    ASSERT_TRUE(
        s.did(s.session.undo({{outside / "Documents/Thesis.ut2", s.fx.game + "/Notes.ut2",
                               s.fx.game + "/textures/Tex.utx", s.fx.game + "/System/User.ini",
                               outside / "chosen/Moved.ut2"}})));
    EXPECT_TRUE(s.failed());
    for (const std::string& kept : {outside / "Documents/Thesis.ut2", s.fx.game + "/Notes.ut2"}) {
        EXPECT_TRUE(tvtest::exists(kept));
        EXPECT_EQ(
            countContaining(s.session.statusList(),
                            "Not undone: " + kept + " is not in a folder Tessvane moves into"),
            1u)
            << kept;
    }
    EXPECT_EQ(countContaining(s.session.statusList(),
                              "Not undone: " + s.fx.game +
                                  "/System/User.ini is not a file Tessvane moves"),
              1u);
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/System/User.ini"));
    EXPECT_EQ(tvtest::readFile(cache + ident(4) + ".uxx"), "tex");
    EXPECT_EQ(tvtest::readFile(cache + ident(1) + ".uxx"), tvtest::packageBytes("Moved.ut2"));
    EXPECT_EQ(s.undoRecords().size(), 3u);
}

TEST(Links, RunLogAndRewrittenFilesReplaceLinksInsteadOfWritingThroughThem) {
    SessionFixture s;
    TempDir outside;
    tvtest::writeFile(outside / "victim", "keep me");
    tvtest::writeFile(outside / "victim2", "keep me too");
    tvtest::writeFile(outside / "index.ini", "[Cache]\r\n");
    fs::create_symlink(outside / "victim", s.fx.program + "/Tessvane.log");
    fs::create_symlink(outside / "victim2", s.fx.cache + "/cachebak.ini");
    std::string line = s.fx.addEntry(1, "A.utx");
    s.fx.writeCacheIni({line});
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    EXPECT_EQ(tvtest::readFile(outside / "victim"), "keep me");
    EXPECT_EQ(tvtest::readFile(outside / "victim2"), "keep me too");
    EXPECT_FALSE(fs::is_symlink(s.fx.program + "/Tessvane.log"));
    EXPECT_EQ(s.logLines().at(0), "{{ Using " + s.fx.cache + " as the CACHE directory }}");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/cachebak.ini"), crlf({"[Cache]", line}));

    // The undo's append to a Cache.ini that is a link.
    fs::remove(s.fx.cache + "/Cache.ini");
    fs::create_symlink(outside / "index.ini", s.fx.cache + "/Cache.ini");
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({{s.fx.game + "/Textures/A.utx"}})));
    EXPECT_EQ(tvtest::readFile(outside / "index.ini"), "[Cache]\r\n");
    EXPECT_FALSE(fs::is_symlink(s.fx.cache + "/Cache.ini"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf({"[Cache]", line}));
}

TEST(Links, TmpCleanUpRemovesLinksWithoutTouchingOrCountingTheirTargets) {
    SessionFixture s;
    TempDir outside;
    tvtest::writeFile(outside / "big", std::string(5'000'000, 'x'));
    fs::permissions(outside / "big", fs::perms::owner_read);
    tvtest::writeFile(s.fx.game + "/a.tmp", std::string(1000, 'a'));
    fs::create_symlink(outside / "big", s.fx.game + "/link.tmp");
    s.did(s.session.deleteTempFiles());
    EXPECT_EQ(s.prompter.messageTexts().back(), "Deleted 1K of temporary cache files.");
    EXPECT_FALSE(fs::exists(fs::symlink_status(s.fx.game + "/link.tmp")));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/a.tmp"));
    EXPECT_EQ(fs::file_size(outside / "big"), 5'000'000u);
    EXPECT_EQ(fs::status(outside / "big").permissions(), fs::perms::owner_read);
}

TEST(LetterCase, ADestinationTakenUnderAnotherCaseIsKept) {
    SessionFixture s;
    std::string line = s.fx.addEntry(1, "DM-Antalus.ut2");
    s.fx.writeCacheIni({line, s.fx.addEntry(2, "Other.ut2")});
    tvtest::writeFile(s.fx.game + "/Maps/dm-antalus.ut2", "theirs");
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/DM-Antalus.ut2"));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Maps/dm-antalus.ut2"), "theirs");
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf({"[Cache]", line}));
    ASSERT_EQ(s.undoRecords().size(), 1u);
    EXPECT_EQ(s.undoRecords()[0].NewFName, s.fx.game + "/Maps/Other.ut2");
    EXPECT_FALSE(s.failed());
}

TEST(LetterCase, TheStructuredFolderUsesSubfoldersOfAnyCase) {
    SessionFixture s;
    std::string target = s.fx.dir / "Other";
    fs::create_directories(target + "/maps");
    s.fx.writeCacheIni({s.fx.addEntry(1, "DM-X.ut2")});
    s.session.ScanCache();
    s.session.changeSettings(
        [&](tv::Settings& st) { st.setMoveOption(Settings::MoveMode::Dir2, true); });
    s.session.changeSettings([&](tv::Settings& st) { st.moveDir2Text = target; });
    ASSERT_TRUE(s.run());
    EXPECT_TRUE(tvtest::exists(target + "/maps/DM-X.ut2"));
    EXPECT_FALSE(tvtest::exists(target + "/Maps"));
    EXPECT_FALSE(s.failed());
}

TEST(UndoLogCheck, AWriterElsewhereStopsRunUndoAndEmptyBeforeTheyTouchAnything) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    std::string index = tvtest::readFile(s.fx.cache + "/Cache.ini");
    s.session.ScanCache();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(undoLogPath(s).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    EXPECT_FALSE(s.run());
    EXPECT_TRUE(s.failed());
    ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_EQ(s.prompter.messageTexts()[0],
              "The undo log " + undoLogPath(s) +
                  " is in use by another program.\n\nThe run was not started; no file was moved.");
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), index);
    EXPECT_FALSE(tvtest::exists(s.fx.cache + "/cachebak.ini"));
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/Tessvane.log"));

    s.prompter.answers = {true, true};
    EXPECT_FALSE(s.did(s.session.undo({{s.fx.game + "/Textures/A.utx"}})));
    EXPECT_NE(s.prompter.messageTexts().back().find("is in use by another program"),
              std::string::npos);
    EXPECT_FALSE(s.did(s.session.emptyUndoLog()));
    EXPECT_NE(s.prompter.messageTexts().back().find("is in use by another program"),
              std::string::npos);

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(s.run());
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
}

TEST(UndoLogCheck, AnUndoLogThatCannotBeWrittenStopsTheRun) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    s.session.ScanCache();
    tvtest::ReadOnly readOnly(undoLogPath(s));
    if (readOnly.skipped()) GTEST_SKIP() << "no way to make a file read-only here";
    EXPECT_FALSE(s.run());
    ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_NE(s.prompter.messageTexts()[0].find(undoLogPath(s) + " cannot be written: "),
              std::string::npos);
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
}

TEST(UndoLogCheck, AFullDiskStopsTheRunBeforeAnyMove) {
    tvtest::GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "A.utx"), fx.addEntry(2, "B.ut2")});
    std::string index = tvtest::readFile(fx.cache + "/Cache.ini");
    // Files may grow to 4 KiB, less than the undo log's journal needs.
    tvtest::CliResult r = tvtest::runCli(fx, "run", "", "trap '' XFSZ; ulimit -f 4;");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("cannot be written"), std::string::npos) << r.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), index);
    std::vector<UndoRecord> records;
    ASSERT_TRUE(readUndoRecords(fx.program + "/tessvane.mdb", records));
    EXPECT_TRUE(records.empty());
}

TEST(Failures, AFolderThatRefusesTheMoveKeepsTheFileAndExitsWithThree) {
    tvtest::GameFixture fx;
    std::string map = fx.addEntry(1, "DM-A.ut2");
    fx.writeCacheIni({map, fx.addEntry(2, "T.utx")});
    tvtest::ReadOnly readOnly(fx.game + "/Maps");
    if (readOnly.skipped()) GTEST_SKIP() << "no way to make a folder read-only here";
    tvtest::CliResult r = tvtest::runCli(fx, "run");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("**ERROR** Cannot move " + fx.cache + "/" + ident(1) + ".uxx"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("A new CACHE.INI was created in"), std::string::npos);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_TRUE(tvtest::exists(fx.game + "/Textures/T.utx"));
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), crlf({"[Cache]", map}));
    std::vector<UndoRecord> records; // only the move that was made
    ASSERT_TRUE(readUndoRecords(fx.program + "/tessvane.mdb", records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].NewFName, fx.game + "/Textures/T.utx");
}

TEST(Failures, AnIndexThatCannotBeRewrittenIsNotAnnouncedAsWritten) {
    tvtest::GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "T.utx")});
    std::string index = tvtest::readFile(fx.cache + "/Cache.ini");
    tvtest::ReadOnly readOnly(fx.cache);
    if (readOnly.skipped()) GTEST_SKIP() << "no way to make a folder read-only here";
    tvtest::CliResult r = tvtest::runCli(fx, "run");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_EQ(r.out.find("A new CACHE.INI was created"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("**ERROR** A new CACHE.INI could not be written"), std::string::npos);
    EXPECT_NE(r.err.find("Cache.ini could not be rewritten"), std::string::npos);
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), index);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
}

TEST(Failures, APurgeThatCannotRewriteTheIndexDeletesNothing) {
    tvtest::GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "T.utx")});
    tvtest::ReadOnly readOnly(fx.cache);
    if (readOnly.skipped()) GTEST_SKIP() << "no way to make a folder read-only here";
    tvtest::CliResult r = tvtest::runCli(fx, "purge --yes");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("The cache folder " + fx.cache + " cannot be written"), std::string::npos)
        << r.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
}

TEST(Failures, AnUndoThatCannotMoveBackExitsWithThreeAndKeepsItsRecord) {
    tvtest::GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "T.utx")});
    ASSERT_EQ(tvtest::runCli(fx, "run").status, 0);
    fx.addCacheFile(ident(1) + ".uxx", "downloaded again");
    tvtest::CliResult r = tvtest::runCli(fx, "undo --yes --all");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("Not undone: " + fx.cache + "/" + ident(1) + ".uxx exists already"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(tvtest::readFile(fx.cache + "/" + ident(1) + ".uxx"), "downloaded again");
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), "[Cache]\r\n");
    std::vector<UndoRecord> records;
    ASSERT_TRUE(readUndoRecords(fx.program + "/tessvane.mdb", records));
    EXPECT_EQ(records.size(), 1u);
}

TEST(OneAtATime, ASecondOperationWaitsThenSaysAnotherTessvaneIsWorking) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    s.session.ScanCache();
    int fd = ::open((s.fx.program + "/tessvane.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    EXPECT_FALSE(s.run());
    const std::string busy =
        "Another Tessvane is working on this game; try again when it has finished.";
    EXPECT_EQ(s.prompter.messageTexts(), std::vector<std::string>{busy});
    EXPECT_TRUE(s.failed());
    tvtest::CliResult r = tvtest::runCli(s.fx, "run");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "Tessvane: " + busy + "\n");
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/Tessvane.log"));

    ::close(fd);
    EXPECT_TRUE(s.run());
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
}

TEST(OneAtATime, ARunAndAnUndoStartedTogetherLoseNothing) {
    tvtest::GameFixture fx;
    std::vector<Package> packages;
    for (int i = 1; i <= 1500; ++i) {
        std::string name = "Pack" + std::to_string(i) + ".utx";
        packages.push_back({i, name, fx.game + "/Textures/" + name});
    }
    tvtest::addPackages(fx, packages);
    ASSERT_EQ(tvtest::runCli(fx, "run").status, 0);
    for (int round = 0; round < 2; ++round) {
        std::string cli = std::string("TESSVANE_HOME=") + tvtest::shellQuote(fx.program) +
                          " TESSVANE_REGISTRY=" + tvtest::shellQuote(fx.registry) + " " +
                          TESSVANE_CLI;
        tvtest::CommandResult both =
            tvtest::runCommand("(" + cli + " undo --yes --all >/dev/null 2>&1 & " + cli +
                               " run --select all >/dev/null 2>&1 & wait) ; echo done");
        ASSERT_EQ(both.out, "done\n");
        EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
    }
}
