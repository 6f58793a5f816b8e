#include "observer_hook.h"
#include "run_support.h"

#include "formats/zip_archive.h"
#include "platform/crash_point.h"
#include "platform/dates.h"
#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

using namespace tv;
using tvtest::crlf;
using tvtest::ident;
using tvtest::SessionFixture;

TEST(CacheRun, MovesTickedFilesAndWritesLogIndexAndUndoRecords) {
    tvtest::UtcZone utc;
    SessionFixture s;
    auto& fx = s.fx;
    std::string mapLine = fx.addEntry(1, "DM-One.ut2");
    std::string dashLine = ident(2) + "-1=Tex.utx";
    fx.addCacheFile(ident(2) + "-1.uxx", "texture bytes");
    std::string songLine = fx.addEntry(3, "Song.umx");
    std::string keptLine = fx.addEntry(4, "Kept.uax");
    fx.writeCacheIni({mapLine, "", dashLine, songLine, keptLine});
    std::string original = tvtest::readFile(fx.cache + "/Cache.ini");
    ASSERT_TRUE(s.session.ScanCache());
    s.session.setTicked(3, false); // Kept.uax stays
    s.session.setClock([] { return int64_t{1'000'000'000}; });
    ASSERT_TRUE(s.run());

    EXPECT_EQ(tvtest::readFile(fx.game + "/Maps/DM-One.ut2"), tvtest::packageBytes("DM-One.ut2"));
    EXPECT_EQ(tvtest::readFile(fx.game + "/Textures/Tex.utx"), "texture bytes");
    EXPECT_FALSE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(fx.cache + "/cachebak.ini"), original);
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), crlf({"[Cache]", "", songLine, keptLine}));

    const std::string c = fx.cache;
    EXPECT_EQ(
        s.logLines(),
        (std::vector<std::string>{
            "{{ Using " + c + " as the CACHE directory }}", "",
            "**OLD** " + ident(1) + ".uxx  ---->  **NEW** " + fx.game + "/Maps/DM-One.ut2",
            "**OLD** " + ident(2) + "-1.uxx  ---->  **NEW** " + fx.game + "/Textures/Tex.utx",
            "Song.umx  does NOT have a known file extension and cannot be moved",
            ident(3) + ".uxx {Song.umx} was not moved.",
            ident(4) + ".uxx {Kept.uax} was not moved.",
            c + "/Cache.ini was renamed to cachebak.ini", "A new CACHE.INI was created in " + c, "",
            "NOTE - files not being moved is due to either the file",
            "       not being selected or they already exist.", ""}));
    const auto& status = s.session.statusList();
    ASSERT_GE(status.size(), 10u);
    EXPECT_EQ(status[2], "Song.umx does NOT have a known file extension and cannot be moved");
    EXPECT_EQ(status[5], fx.program + "/Tessvane.log was created.");
    EXPECT_EQ(status[status.size() - 2], std::string(102, '~'));
    EXPECT_EQ(status[status.size() - 4],
              "** NOTE ** - files not being moved is due to either the file not being selected or "
              "they already exist.");

    auto records = s.undoRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].OldFName, c + "/" + ident(1) + ".uxx");
    EXPECT_EQ(records[0].NewFName, fx.game + "/Maps/DM-One.ut2");
    // The C locale's short date of that day (the tests run in UTC).
    EXPECT_EQ(records[0].MoveDate, "09/09/01");
    EXPECT_EQ(records[1].OldFName, c + "/" + ident(2) + "-1.uxx");
    // After the run the list shows what is left.
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"+Song.umx", "+Kept.uax"}));
    EXPECT_EQ(s.session.statusText(), "Done processing files");
}

TEST(CacheRun, NothingTickedStillRewritesTheIndex) {
    SessionFixture s;
    std::string a = s.fx.addEntry(1, "A.utx");
    s.fx.writeCacheIni({a, "", "[cache]"});
    tvtest::writeFile(s.fx.cache + "/CACHEBAK.INI", "older"); // kept under its own spelling
    s.session.ScanCache();
    s.session.uncheckAll();
    s.run();
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf({"[Cache]", a, "", "[cache]"}));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/CACHEBAK.INI"),
              tvtest::readFile(s.fx.cache + "/Cache.ini"));
    EXPECT_FALSE(tvtest::exists(s.fx.cache + "/cachebak.ini"));
    const auto& said = s.session.statusList();
    EXPECT_NE(
        std::find(said.begin(), said.end(), s.fx.cache + "/Cache.ini was renamed to CACHEBAK.INI"),
        said.end());
    EXPECT_TRUE(s.undoRecords().empty());
}

TEST(CacheRun, SelectsByTheWholeNameNotAPartOfIt) {
    SessionFixture s;
    s.fx.writeNeverMove({"Keep*"});
    s.fx.writeCacheIni(
        {s.fx.addEntry(1, "Foo.u"), s.fx.addEntry(2, "Foo.utx"), s.fx.addEntry(3, "KeepMe.utx")});
    s.session.ScanCache();
    s.session.setTicked(1, false);
    s.session.setTicked(2, true); // a never-move row ticked by hand
    s.run();
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/System/Foo.u"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Textures/Foo.utx"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Textures/KeepMe.utx"));
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(3) + ".uxx"));
}

TEST(CacheRun, ExistingDestinationIsNeverReplacedAndTheLineStays) {
    SessionFixture s;
    std::string line = s.fx.addEntry(1, "DM-Taken.ut2");
    s.fx.writeCacheIni({line});
    tvtest::writeFile(s.fx.game + "/Maps/DM-Taken.ut2", "the player's own map");
    s.session.ScanCache();
    s.run();
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Maps/DM-Taken.ut2"), "the player's own map");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(1) + ".uxx"),
              tvtest::packageBytes("DM-Taken.ut2"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf({"[Cache]", line}));
    EXPECT_TRUE(s.undoRecords().empty());
    auto log = s.logLines();
    EXPECT_EQ(log[2], ident(1) + ".uxx {DM-Taken.ut2} was not moved.");
    for (const auto& l : log)
        EXPECT_EQ(l.find("**OLD**"), std::string::npos);
    EXPECT_EQ(s.ran().existing.size(), 1u);
    EXPECT_FALSE(s.failed());
}

// Both copies of a name ticked by hand (in two letter cases): the first
// moves, the second would stand beside it under another case and stays.
TEST(CacheRun, TwoCopiesOfANameTickedByHandMoveOnce) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "DM-Twin.ut2"), s.fx.addEntry(2, "DM-TWIN.UT2")});
    s.session.ScanCache();
    s.session.checkAll();
    s.run();
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-Twin.ut2"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/DM-TWIN.UT2"));
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(2) + ".uxx"));
    EXPECT_EQ(s.ran().existing.size(), 1u);
}

TEST(CacheRun, RefusedDashOneFileIsReportedUnderItsOwnName) {
    SessionFixture s;
    s.fx.addCacheFile(ident(1) + ".uxx");
    s.fx.writeCacheIni({ident(1) + "=Busy.utx"});
    tvtest::writeFile(s.fx.game + "/Textures/Busy.utx", "there");
    s.session.ScanCache();
    s.run();
    EXPECT_EQ(s.logLines()[2], ident(1) + ".uxx {Busy.utx} was not moved.");
}

TEST(CacheRun, ALineRepeatedAfterItsFileMovedIsNotFound) {
    SessionFixture s;
    std::string line = s.fx.addEntry(1, "Twice.utx");
    s.fx.writeCacheIni({line, line});
    s.session.ScanCache();
    s.session.setTicked(0, true); // both rows are duplicates: tick one by hand
    s.run();
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/Twice.utx"));
    EXPECT_EQ(s.logLines()[3], ident(1) + "-1.uxx NOT FOUND in the Cache Directory");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(s.undoRecords().size(), 1u);
}

TEST(CacheRun, MissingCacheIniDoesNothingAndSaysNothingMore) {
    SessionFixture s;
    s.session.ScanCache(); // says it once
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/Tessvane.log"));
    EXPECT_EQ(s.session.statusText(), "Done processing files");
}

TEST(CacheRun, DestinationModes) {
    for (auto mode : {Settings::MoveMode::Dir, Settings::MoveMode::Dir2}) {
        SessionFixture s;
        tvtest::TempDir target;
        std::string folder = target / "Stuff";
        s.fx.writeCacheIni({s.fx.addEntry(1, "Bar.ut2"), s.fx.addEntry(2, "Words.int")});
        // The game's own Bar.ut2 is no reason to keep it from another folder.
        tvtest::writeFile(s.fx.game + "/Maps/Bar.ut2", "stock");
        s.session.ScanCache();
        s.session.changeSettings([&](tv::Settings& st) { st.setMoveOption(mode, true); });
        s.session.changeSettings([&](tv::Settings& st) {
            (mode == Settings::MoveMode::Dir ? st.moveDirText : st.moveDir2Text) = folder + "/";
        });
        ASSERT_TRUE(s.session.checkRunDestination());
        ASSERT_TRUE(s.run());
        if (mode == Settings::MoveMode::Dir) {
            EXPECT_EQ(s.session.settings().moveDirText, folder);
            EXPECT_TRUE(tvtest::exists(folder + "/Bar.ut2"));
            EXPECT_TRUE(tvtest::exists(folder + "/Words.int"));
        } else {
            EXPECT_TRUE(tvtest::exists(folder + "/Maps/Bar.ut2"));
            EXPECT_TRUE(tvtest::exists(folder + "/System/Words.int"));
            EXPECT_TRUE(std::filesystem::is_directory(folder + "/Animations"));
        }
    }
}

TEST(CacheRun, DriveLetterCheckStopsBeforeAnything) {
    SessionFixture s;
    s.session.changeSettings(
        [&](tv::Settings& st) { st.setMoveOption(Settings::MoveMode::Dir, true); });
    s.session.changeSettings([&](tv::Settings& st) { st.moveDirText = "D"; });
    EXPECT_FALSE(s.session.checkRunDestination());
    EXPECT_EQ(s.prompter.messageTexts(),
              std::vector<std::string>{"You must select a destination folder"});
}

TEST(CacheRun, ARelativeDestinationFolderIsRefusedInBothModes) {
    SessionFixture s;
    for (auto mode : {Settings::MoveMode::Dir, Settings::MoveMode::Dir2}) {
        s.prompter.shown.clear();
        s.session.changeSettings([&](tv::Settings& st) { st.setMoveOption(mode, true); });
        s.session.changeSettings(
            [&](tv::Settings& st) { st.moveDirText = st.moveDir2Text = "relout"; });
        EXPECT_FALSE(s.session.checkRunDestination());
        EXPECT_FALSE(s.session.checkArchiveDestination());
        ASSERT_FALSE(s.prompter.messageTexts().empty());
        EXPECT_NE(s.prompter.messageTexts()[0].find("A full path is needed"), std::string::npos);
        s.session.changeSettings(
            [&](tv::Settings& st) { st.moveDirText = st.moveDir2Text = s.fx.dir / "relout"; });
        EXPECT_TRUE(s.session.checkRunDestination());
    }
}

TEST(CacheRun, NoDestinationOptionChosenNeedsTheStructuredFolder) {
    SessionFixture s;
    s.session.changeSettings(
        [](tv::Settings& st) { st.moveNorm = st.moveDir = st.moveDir2 = false; });
    EXPECT_FALSE(s.session.checkRunDestination());
    s.session.changeSettings([&](tv::Settings& st) { st.moveDir2Text = s.fx.dir / "Elsewhere"; });
    EXPECT_TRUE(s.session.checkRunDestination());
}

TEST(CacheRun, FolderThatCannotBeCreatedStopsTheRunBeforeAnyMove) {
    SessionFixture s;
    std::string line = s.fx.addEntry(1, "Bar.ut2");
    s.fx.writeCacheIni({line});
    s.session.ScanCache();
    s.session.changeSettings(
        [&](tv::Settings& st) { st.setMoveOption(Settings::MoveMode::Dir, true); });
    s.session.changeSettings(
        [&](tv::Settings& st) { st.moveDirText = s.fx.dir / "no/such/parent"; });
    EXPECT_FALSE(s.run());
    ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_NE(s.prompter.messageTexts()[0].find("no file was moved"), std::string::npos);
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_FALSE(tvtest::exists(s.fx.cache + "/cachebak.ini"));
}

TEST(CacheRun, UnreadableUndoLogStopsTheRunBeforeAnyMove) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "Bar.ut2")});
    tvtest::writeFile(s.fx.program + "/tessvane.mdb",
                      "this is not a database file at all, not one bit");
    s.session.ScanCache();
    EXPECT_FALSE(s.run());
    ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_NE(s.prompter.messageTexts()[0].find("cannot be opened"), std::string::npos);
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/Bar.ut2"));
}

TEST(CacheRun, BackupKeepsTwoGenerationsAndLeavesOutZips) {
    SessionFixture s;
    s.session.changeSettings([&](tv::Settings& st) { st.backupCache = true; });
    tvtest::writeFile(s.fx.cache + "/other.zip", "zip");
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    const std::string zip = s.fx.cache + "/tessvanebak.zip";
    const std::string old = s.fx.cache + "/tessvanebak-old.zip";
    s.session.ScanCache();
    s.session.uncheckAll();
    s.run();
    EXPECT_TRUE(tvtest::exists(zip));
    EXPECT_FALSE(tvtest::exists(old));
    EXPECT_EQ(s.session.statusList()[0], "All original cache files were backed up to " + zip);
    std::string first = tvtest::readFile(zip);
    s.session.uncheckAll();
    s.run();
    EXPECT_EQ(tvtest::readFile(old), first);
    std::string second = tvtest::readFile(zip);
    s.session.uncheckAll();
    s.run();
    EXPECT_EQ(tvtest::readFile(old), second);
    // Stopped part-way, a backup leaves both archives as they were.
    const std::string third = tvtest::readFile(zip);
    tvtest::ObserverHook hook(s.session);
    hook.onStopRequested = [] { return true; };
    s.run();
    EXPECT_EQ(tvtest::readFile(old), second);
    EXPECT_EQ(tvtest::readFile(zip), third);

    std::vector<std::string> members;
    ZipArchive z;
    z.ArchiveName = zip;
    z.FileListed = [&](const std::string& n) { members.push_back(n); };
    z.ListContents();
    EXPECT_EQ(members, (std::vector<std::string>{ident(1) + ".uxx", "Cache.ini", "cachebak.ini"}));
}

TEST(Undo, RoundTripRestoresTheFileAndItsIndexLine) {
    SessionFixture s;
    // A folder with "-1" in its name and a "-7" file must not confuse the key.
    s.fx.addCacheFile(ident(2) + "-7.uxx", "seven");
    s.fx.writeCacheIni({s.fx.addEntry(1, "O'Brien's Map.ut2"), ident(2) + "-7=Seven.utx"});
    s.session.ScanCache();
    s.run();
    auto records = s.undoRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].NewFName, s.fx.game + "/Maps/O'Brien's Map.ut2");

    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({{records[0].NewFName, records[1].NewFName}})));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(1) + ".uxx"),
              tvtest::packageBytes("O'Brien's Map.ut2"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(2) + "-7.uxx"), "seven");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"),
              crlf({"[Cache]", ident(1) + "=O'Brien's Map.ut2", ident(2) + "-7=Seven.utx"}));
    EXPECT_TRUE(s.undoRecords().empty());
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"+O'Brien's Map.ut2", "+Seven.utx"}));
}

TEST(Undo, KeyComesFromTheFileNameNotFromFolders) {
    SessionFixture s;
    std::string cache = s.fx.dir / "UT2003-1/Cache";
    std::filesystem::create_directories(cache);
    tvtest::writeFile(s.fx.game + "/Maps/Back.ut2", "b");
    UndoLog log;
    ASSERT_TRUE(log.open(s.fx.program + "/tessvane.mdb"));
    log.insert({"d", cache + "/" + ident(5) + ".uxx", s.fx.game + "/Maps/Back.ut2"});
    log.close();
    s.session.changeSettings([&](tv::Settings& st) { st.cacheDir = cache; });
    s.prompter.answers = {true};
    s.did(s.session.undo({{s.fx.game + "/Maps/Back.ut2"}}));
    EXPECT_EQ(tvtest::readFile(cache + "/cache.ini"), crlf({"[Cache]", ident(5) + "=Back.ut2"}));
}

TEST(Undo, NothingSelectedOrNoLeavesEverythingAlone) {
    SessionFixture s;
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx")});
    s.session.ScanCache();
    s.run();
    std::string index = tvtest::readFile(s.fx.cache + "/Cache.ini");
    EXPECT_FALSE(!s.session.confirmUndo({}));
    EXPECT_EQ(s.prompter.messageTexts().back(), "Please select files to undo before running.");
    EXPECT_FALSE(!s.session.confirmUndo({s.fx.game + "/Textures/A.utx"})); // answered No
    EXPECT_EQ(s.prompter.shown.back().title, "This is the **ONLY** Undo Warning");
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), index);
    EXPECT_EQ(s.undoRecords().size(), 1u);
}

TEST(Undo, FileBackInTheCacheKeepsItsRecordAndMissingFileDropsIt) {
    SessionFixture s;
    s.fx.writeCacheIni(
        {s.fx.addEntry(1, "A.utx"), s.fx.addEntry(2, "B.utx"), s.fx.addEntry(3, "C.utx")});
    s.session.ScanCache();
    s.run();
    s.fx.addCacheFile(ident(1) + ".uxx", "downloaded again");
    std::filesystem::remove(s.fx.game + "/Textures/B.utx");
    // A file of its name in other letter case is another file: C goes back.
    s.fx.addCacheFile(ident(3) + ".UXX", "another file");
    s.prompter.answers = {true};
    s.did(s.session.undo({{s.fx.game + "/Textures/A.utx", s.fx.game + "/Textures/B.utx",
                           s.fx.game + "/Textures/C.utx"}}));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(1) + ".uxx"), "downloaded again");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/" + ident(3) + ".uxx"),
              tvtest::packageBytes("C.utx"));
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
    auto records = s.undoRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].NewFName, s.fx.game + "/Textures/A.utx");
}

TEST(UndoLogFile, EmptyAndCompact) {
    SessionFixture s;
    {
        UndoLog log;
        ASSERT_TRUE(log.open(s.fx.program + "/tessvane.mdb"));
        log.begin();
        for (int i = 0; i < 2000; ++i)
            log.insert({"d", std::string(200, 'o') + std::to_string(i), std::string(200, 'n')});
        log.commit();
    }
    auto before = std::stoll(s.session.undoLogSize());
    tvtest::writeFile(s.fx.program + "/TessvaneBak.mdb", "left over");
    s.prompter.answers = {true};
    ASSERT_TRUE(s.session.confirmEmptyUndoLog());
    ASSERT_TRUE(s.did(s.session.emptyUndoLog()));
    EXPECT_EQ(s.prompter.shown[0].title, "Delete All Undo Entries");
    EXPECT_TRUE(s.undoRecords().empty());
    EXPECT_LT(std::stoll(s.session.undoLogSize()), before);
    EXPECT_EQ(s.session.statusText(), "Database compacted");
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/TessvaneBak.mdb"));
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/tessvanebak.mdb"));

    std::filesystem::remove(s.fx.program + "/tessvane.mdb");
    s.did(s.session.compactUndoLog());
    EXPECT_EQ(s.prompter.messageTexts().back(), "Tessvane.mdb Is missing - can 't compact.");
}

TEST(CacheRun, UnwritableDestinationKeepsTheFileAndItsLine) {
    SessionFixture s;
    std::string line = s.fx.addEntry(1, "Ambience.uax");
    s.fx.writeCacheIni({line});
    // Nowhere to put it: a file where the folder should be (a missing folder
    // would be made).
    std::filesystem::remove_all(s.fx.game + "/Sounds");
    tvtest::writeFile(s.fx.game + "/Sounds", "not a folder");
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), crlf({"[Cache]", line}));
    EXPECT_TRUE(s.undoRecords().empty());
    EXPECT_EQ(s.rows(), std::vector<std::string>{"+Ambience.uax"});
}

TEST(Dates, TheLocalesShortAndGeneralForms) {
    // The C locale, in UTC: 2001-09-09 01:46:40.
    tvtest::UtcZone utc;
    EXPECT_EQ(shortDate(1'000'000'000), "09/09/01");
    EXPECT_EQ(generalDate(1'000'000'000), "09/09/01 01:46:40");
    EXPECT_EQ(parseShortDate("09/09/01").value_or(0) / 86400, 1'000'000'000 / 86400);
}

namespace {

// `count` textures in the cache, scanned; each belongs in Textures.
std::vector<tvtest::Package> scannedTextures(SessionFixture& s, int count) {
    std::vector<tvtest::Package> packages;
    for (int i = 0; i < count; ++i)
        packages.push_back({i, "Pack" + std::to_string(i) + ".utx",
                            s.fx.game + "/Textures/Pack" + std::to_string(i) + ".utx"});
    tvtest::addPackages(s.fx, packages);
    s.session.ScanCache();
    return packages;
}

} // namespace

TEST(CacheRun, AStopEndsTheRunBetweenBatchesWithNothingHalfDone) {
    SessionFixture s;
    const std::vector<tvtest::Package> packages = scannedTextures(s, 600);
    int asked = 0;
    std::vector<std::pair<size_t, size_t>> progress;
    tvtest::ObserverHook hook(s.session);
    hook.onStopRequested = [&] { return ++asked > 1; }; // after the first batch
    hook.onProgress = [&](size_t done, size_t total) { progress.emplace_back(done, total); };
    ASSERT_TRUE(s.run());
    EXPECT_TRUE(s.ran().stopped);
    EXPECT_FALSE(s.failed()); // a stop is no failure
    EXPECT_EQ(s.ran().moved, 256);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (std::pair<size_t, size_t>{256, 600}));
    // How it ended is the last word of the list (before the separator) and
    // of the status bar; the 344 left are not listed one by one.
    const std::string stopped = "Stopped after 256 of 600; the rest stays in the cache";
    const auto& lines = s.session.statusList();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], stopped);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), stopped), 1);
    EXPECT_EQ(lines.size(), 256u + 8u);
    EXPECT_EQ(s.session.statusText(), stopped);
    // Each package where it belongs: moved with its record, or in the cache
    // with its line; the rescan lists the 344 that stayed.
    EXPECT_EQ(tvtest::misplacedPackages(s.fx, packages), std::vector<std::string>{});
    EXPECT_EQ(s.undoRecords().size(), 256u);
    EXPECT_EQ(s.session.fileList().rows().size(), 344u);
    // Stopped before the first batch, and during the backup: nothing is
    // rewritten or said rewritten, not the index (not even the line of a
    // package whose file is away for the while, and so not planned), nor
    // cachebak.ini, nor the backups.
    const std::string last = s.fx.cache + "/" + ident(packages.back().id) + ".uxx";
    std::filesystem::rename(last, s.fx.dir / "away.uxx");
    const auto before = tvtest::snapshotTree(s.fx.cache);
    hook.onStopRequested = [] { return true; };
    const size_t said = lines.size();
    ASSERT_TRUE(s.run());
    const std::string none = "Stopped after 0 of 343; the rest stays in the cache";
    EXPECT_EQ(s.session.statusText(), none);
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(said), lines.end()),
        (std::vector<std::string>{s.fx.program + "/Tessvane.log was created.", "", none, "",
                                  std::string(102, '~'), ""}));
    s.session.changeSettings([&](tv::Settings& st) { st.backupCache = true; });
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.session.statusText(),
              "Stopped during the backup; no file was moved and the backups are as they were");
    EXPECT_EQ(tvtest::snapshotTree(s.fx.cache), before);
    std::filesystem::rename(s.fx.dir / "away.uxx", last);
    // The next run, not stopped, moves the rest, after a backup that said how
    // far it was.
    hook.onStopRequested = nullptr;
    progress.clear();
    ASSERT_TRUE(s.run());
    EXPECT_FALSE(s.ran().stopped);
    EXPECT_EQ(s.ran().moved, 344);
    EXPECT_EQ(tvtest::misplacedPackages(s.fx, packages), std::vector<std::string>{});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().second, 346u); // the 344 packages, Cache.ini, cachebak.ini
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/tessvanebak.zip"));
}

// Another program takes the undo log once the first batch is recorded: the
// records of the next batch, committed while the first batch's files move,
// fail; those files stay in the cache with their lines, and the run says so.
TEST(CacheRun, AnUndoLogLostAfterTheFirstBatchKeepsTheRestInTheCache) {
    SessionFixture s;
    const std::vector<tvtest::Package> packages = scannedTextures(s, 600);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((s.fx.program + "/tessvane.mdb").c_str(), &other), SQLITE_OK);
    bool taken = false;
    setStepHook([&](const char* step) {
        if (!taken && std::string(step) == "undo records committed")
            taken = sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    });
    ASSERT_TRUE(s.run());
    setStepHook({});
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(taken);
    EXPECT_EQ(s.ran().moved, 256);
    EXPECT_EQ(s.ran().undoError, "is in use by another program");
    EXPECT_TRUE(s.failed());
    EXPECT_EQ(tvtest::misplacedPackages(s.fx, packages), std::vector<std::string>{});
    EXPECT_EQ(s.undoRecords().size(), 256u);
    EXPECT_EQ(s.session.fileList().rows().size(), 344u);
}

TEST(CacheRun, AnotherGameChosenDuringARunNeitherReachesItNorIsStored) {
    SessionFixture s;
    const std::vector<tvtest::Package> packages = scannedTextures(s, 300);
    tvtest::TempDir other;
    Session::GameChoice choice{tvtest::installAt(other.path()), other / "Cache", 0};
    s.prompter.picks = {0};
    bool chosen = true;
    tvtest::ObserverHook hook(s.session);
    hook.onProgress = [&](size_t, size_t) {
        if (s.prompter.picks.empty()) return;
        chosen = s.session.chooseGame(false, {choice});
    };
    ASSERT_TRUE(s.run());
    EXPECT_FALSE(chosen);
    EXPECT_EQ(s.session.install().gameFolder, s.fx.game);
    EXPECT_EQ(s.store.value(tvtest::kGameKey, "Folder")->data, s.fx.game + std::string(1, '\0'));
    // Every package went into the game the run started with.
    EXPECT_EQ(s.ran().moved, 300);
    EXPECT_EQ(tvtest::misplacedPackages(s.fx, packages), std::vector<std::string>{});
}

TEST(CacheRun, RecordsAStoppedUndoKeepsBringTheirIndexLinesBackLater) {
    SessionFixture s;
    std::string index = "[Cache]\n";
    std::vector<std::string> moved;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "Pack" + std::to_string(i) + ".utx";
        s.fx.addCacheFile(ident(i) + ".uxx", tvtest::packageBytes(name));
        index += ident(i) + "-1=" + name + "\n"; // UT2004's line of a file without "-1"
        moved.push_back(s.fx.game + "/Textures/" + name);
    }
    tvtest::writeFile(s.fx.cache + "/Cache.ini", index);
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    ASSERT_EQ(s.ran().moved, 3);
    int asked = 0;
    tvtest::ObserverHook hook(s.session);
    hook.onStopRequested = [&] { return ++asked > 2; }; // one file goes back
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({moved})));
    hook.onStopRequested = nullptr;
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({moved})));
    EXPECT_TRUE(s.undoRecords().empty());
    const std::string back = tvtest::readFile(s.fx.cache + "/Cache.ini");
    for (int i = 1; i <= 3; ++i) {
        const std::string line = ident(i) + "-1=Pack" + std::to_string(i) + ".utx\n";
        EXPECT_NE(back.find(line), std::string::npos) << line << back;
    }
}

TEST(CacheRun, AStoppedUndoLeavesEachFileWithItsRecordOrItsLine) {
    SessionFixture s;
    std::vector<tvtest::Package> packages;
    std::vector<std::string> moved;
    for (int i = 0; i < 200; ++i) {
        std::string name = "Pack" + std::to_string(i) + ".utx";
        packages.push_back({i, name, s.fx.game + "/Textures/" + name});
        moved.push_back(s.fx.game + "/Textures/" + name);
    }
    tvtest::addPackages(s.fx, packages);
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    ASSERT_EQ(s.undoRecords().size(), 200u);

    int asked = 0;
    std::vector<std::pair<size_t, size_t>> progress;
    // Asked once before anything is touched, then before each file: 70 go back.
    tvtest::ObserverHook hook(s.session);
    hook.onStopRequested = [&] { return ++asked > 71; };
    hook.onProgress = [&](size_t done, size_t total) { progress.emplace_back(done, total); };
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({moved})));
    EXPECT_FALSE(s.failed()); // a stop is no failure
    EXPECT_EQ(s.session.statusText(), "Stopped after 70 of 200 files");
    EXPECT_EQ(std::count(s.session.statusList().begin(), s.session.statusList().end(),
                         "Stopped after 70 of 200"),
              1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (std::pair<size_t, size_t>{64, 200}));
    EXPECT_EQ(progress.back(), (std::pair<size_t, size_t>{70, 200}));
    // 70 back in the cache, each once in Cache.ini; 130 still moved, each
    // with its record and without a line.
    EXPECT_EQ(s.undoRecords().size(), 130u);
    auto index = tv::readLines(s.fx.cache + "/Cache.ini").value();
    EXPECT_EQ(index.size(), 71u);
    int back = 0;
    for (const auto& p : packages)
        back += !tvtest::exists(p.destination);
    EXPECT_EQ(back, 70);
    // A stop asked before the undo touched anything leaves everything as it was.
    const std::string indexBefore = tvtest::readFile(s.fx.cache + "/Cache.ini");
    hook.onStopRequested = [] { return true; };
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({moved})));
    EXPECT_EQ(s.session.statusText(), "Stopped after 0 of 130 files");
    EXPECT_EQ(s.undoRecords().size(), 130u);
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), indexBefore);
    // The rest comes back on the next undo.
    hook.onStopRequested = nullptr;
    s.prompter.answers = {true};
    ASSERT_TRUE(s.did(s.session.undo({moved})));
    EXPECT_TRUE(s.undoRecords().empty());
    EXPECT_EQ(tv::readLines(s.fx.cache + "/Cache.ini").value().size(), 201u);
}
