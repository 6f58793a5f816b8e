#include "run_support.h"

#include "engine/cache_purge.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tv;
using tvtest::ident;
using tvtest::SessionFixture;

TEST(Repair, AddsTheMapExtensionOncePerProgramStart) {
    SessionFixture s;
    s.session.changeSettings([&](tv::Settings& st) { st.extAlert = true; });
    s.fx.addCacheFile(ident(1) + ".uxx");
    s.fx.writeCacheIni(
        {ident(1) + "=DM-Deck17", ident(2) + "=xx-ctf-Face", ident(3) + "=SomeMod", "[CACHE]"});
    s.session.ScanCache();
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"),
              "[Cache]\r\n" + ident(1) + "=DM-Deck17.UT2\r\n" + ident(2) + "=xx-ctf-Face.UT2\r\n" +
                  ident(3) + "=SomeMod\r\n[CACHE]\r\n");
    EXPECT_EQ(
        s.prompter.messageTexts(),
        std::vector<std::string>{"A file extension is still missing...only maps can be fixed."});
    EXPECT_EQ(s.rows(), (std::vector<std::string>{
                            "+DM-Deck17.UT2", "+xx-ctf-Face.UT2",
                            "-**ERROR** Missing file extension in cache.ini ---> SomeMod"}));
    // A later download without extension waits for the next start.
    s.fx.writeCacheIni({ident(4) + "=AS-Later"});
    s.session.ScanCache();
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"),
              "[Cache]\r\n" + ident(4) + "=AS-Later\r\n");
    EXPECT_EQ(s.prompter.messageTexts().size(), 1u);
}

TEST(Repair, SilentWithAlertsOffAndReportsFullRepair) {
    SessionFixture s;
    s.fx.writeCacheIni({ident(1) + "=BR-Bridge"});
    s.session.ScanCache();
    EXPECT_TRUE(s.prompter.shown.empty());
    EXPECT_EQ(s.rows(), std::vector<std::string>{"+BR-Bridge.UT2"});
    SessionFixture t;
    t.session.changeSettings([&](tv::Settings& st) { st.extAlert = true; });
    t.fx.writeCacheIni({ident(1) + "=dom-Core"});
    t.session.ScanCache();
    EXPECT_EQ(t.prompter.messageTexts(),
              std::vector<std::string>{"Auto-corrected all missing map extensions..."});
}

TEST(Purge, AsksThenDeletesEveryCacheFileUnderEitherName) {
    SessionFixture s;
    s.fx.addCacheFile(ident(2) + "-1.uxx");
    s.fx.addCacheFile("unrelated.txt");
    s.fx.writeCacheIni({s.fx.addEntry(1, "A.utx"), ident(2) + "-1=B.utx"});
    std::string index = tvtest::readFile(s.fx.cache + "/Cache.ini");
    s.session.ScanCache();

    EXPECT_FALSE(!s.session.confirmPurge()); // answered No
    EXPECT_EQ(s.prompter.messageTexts().back(), "Purge cancelled.");
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));

    s.prompter.answers = {true};
    ASSERT_TRUE(!s.session.confirmPurge());
    ASSERT_TRUE(s.did(s.session.purgeCache()));
    EXPECT_FALSE(tvtest::exists(s.fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_FALSE(tvtest::exists(s.fx.cache + "/" + ident(2) + "-1.uxx"));
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/unrelated.txt"));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/cachebak.ini"), index);
    EXPECT_EQ(tvtest::asVector(s.session.statusList()),
              (std::vector<std::string>{"All cache files have been deleted",
                                        s.fx.cache + "/Cache.ini was renamed to cachebak.ini",
                                        "A new CACHE.INI was created in " + s.fx.cache}));
    EXPECT_TRUE(s.session.fileList().rows().empty());

    EXPECT_FALSE(!s.session.confirmPurge());
    EXPECT_EQ(s.prompter.messageTexts().back(), "Cache already empty...");
    // An index with LF line ends (as a native game writes it) keeps them.
    tvtest::writeFile(s.fx.cache + "/Cache.ini", "[Cache]\n" + s.fx.addEntry(3, "C.utx") + "\n");
    s.prompter.answers = {true};
    ASSERT_TRUE(!s.session.confirmPurge());
    ASSERT_TRUE(s.did(s.session.purgeCache()));
    EXPECT_EQ(tvtest::readFile(s.fx.cache + "/Cache.ini"), "[Cache]\n");
}

TEST(TempFiles, SizeWording) {
    EXPECT_EQ(sizeText(0), "0 bytes");
    EXPECT_EQ(sizeText(999), "999 bytes");
    EXPECT_EQ(sizeText(1999), "1K");
    EXPECT_EQ(sizeText(999999), "999K");
    EXPECT_EQ(sizeText(12500000), "12MEG");
    EXPECT_EQ(sizeText(1234567890), "1234567890");
}

TEST(TempFiles, DeletesTmpFilesOfTheGameFolderOnly) {
    SessionFixture s;
    tvtest::writeFile(s.fx.game + "/a.tmp", std::string(1500, 'x'));
    tvtest::writeFile(s.fx.game + "/B.TMP", std::string(600, 'x'));
    tvtest::writeFile(s.fx.cache + "/c.tmp", "cache");
    std::filesystem::permissions(s.fx.game + "/B.TMP", std::filesystem::perms::owner_read);
    s.did(s.session.deleteTempFiles());
    EXPECT_EQ(s.prompter.messageTexts(),
              std::vector<std::string>{"Deleted 2K of temporary cache files."});
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/a.tmp"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/B.TMP"));
    EXPECT_TRUE(tvtest::exists(s.fx.cache + "/c.tmp"));
    s.did(s.session.deleteTempFiles());
    EXPECT_EQ(s.prompter.shown.back().text, "No TMP files found..");
    EXPECT_EQ(s.prompter.shown.back().title, "TMP File Deletion");
}

TEST(NeverMoveEditing, AddRemoveSaveApplyToTheList) {
    SessionFixture s;
    s.fx.writeNeverMove({"CTF*", "Other.u"});
    s.fx.writeCacheIni(
        {s.fx.addEntry(1, "CTF-Face.ut2"), s.fx.addEntry(2, "DM-A.ut2"), ident(3) + "=NoExt"});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{
                            "-CTF-Face.ut2", "+DM-A.ut2",
                            "-**ERROR** Missing file extension in cache.ini ---> NoExt"}));
    EXPECT_FALSE(s.session.neverMoveAdd("DM"));
    EXPECT_EQ(s.prompter.messageTexts().back(),
              "Please type the Never Move text before pressing Add...");
    EXPECT_TRUE(s.session.neverMoveAdd("DM-"));
    EXPECT_TRUE(s.session.neverMoveEdits().changed());
    s.session.neverMoveRemove({0}, 0);
    EXPECT_EQ(s.session.neverMoveEdits().lines(), (std::vector<std::string>{"Other.u", "DM-"}));
    // Not saved yet: the file is unchanged.
    EXPECT_EQ(tvtest::readFile(s.fx.program + "/TessvaneDontMove.ini"), "CTF*\r\nOther.u\r\n");
    s.session.neverMoveAdd("DM-A.ut2");
    ASSERT_TRUE(s.did(s.session.neverMoveSave()));
    EXPECT_FALSE(s.session.neverMoveEdits().changed());
    EXPECT_EQ(tvtest::readFile(s.fx.program + "/TessvaneDontMove.ini"),
              "Other.u\r\nDM-\r\nDM-A.ut2\r\n");
    EXPECT_EQ(s.rows(), (std::vector<std::string>{
                            "+CTF-Face.ut2", "-DM-A.ut2",
                            "-**ERROR** Missing file extension in cache.ini ---> NoExt"}));
    EXPECT_FALSE(s.session.fileList().rows()[0].neverMove);
    EXPECT_EQ(s.session.statusText(), "Found 1 file to process");
    s.session.neverMoveRemove({0, 2}, 2);
    EXPECT_EQ(s.session.neverMoveEdits().lines(), std::vector<std::string>{"DM-"});
}

TEST(NeverMoveEditing, SaveKeepsTheTicksTheUserLeft) {
    SessionFixture s;
    s.session.changeSettings([&](tv::Settings& st) { st.setSelectOption(false, true); });
    s.session.changeSettings([&](tv::Settings& st) { st.U = st.UAX = st.UMX = false; });
    s.session.changeSettings([&](tv::Settings& st) { st.UTX = st.USX = st.UKX = false; });
    s.session.changeSettings(
        [&](tv::Settings& st) { st.UT2 = true; }); // only maps are ticked by the selection
    s.fx.writeNeverMove({"Twin*", "Lone.ut2", "Tex.utx", "Hand*"});
    s.fx.writeCacheIni({s.fx.addEntry(1, "Twin.ut2"), s.fx.addEntry(2, "Twin.ut2"),
                        s.fx.addEntry(3, "Lone.ut2"), s.fx.addEntry(4, "Tex.utx"),
                        s.fx.addEntry(5, "Hand.ut2"), s.fx.addEntry(6, "Other.ut2"),
                        s.fx.addEntry(7, "Free.utx")});
    s.session.ScanCache();
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"-Twin.ut2", "-Twin.ut2", "-Lone.ut2", "-Tex.utx",
                                                  "-Hand.ut2", "+Other.ut2", "-Free.utx"}));
    // By hand: the other map unticked, a texture the selection leaves ticked.
    s.session.setTicked(5, false);
    s.session.setTicked(6, true);
    // The list lets go of every entry but Hand*, and newly names Free.utx.
    s.session.neverMoveSetLines({"Hand*", "Free.utx"});
    ASSERT_TRUE(s.did(s.session.neverMoveSave()));
    // Released rows get a scan's tick: the duplicated name none, the excluded
    // type none, the lone map its tick. The hand-made choices stay.
    EXPECT_EQ(s.rows(), (std::vector<std::string>{"-Twin.ut2", "-Twin.ut2", "+Lone.ut2", "-Tex.utx",
                                                  "-Hand.ut2", "-Other.ut2", "-Free.utx"}));
    EXPECT_FALSE(s.session.fileList().rows()[0].neverMove);
    EXPECT_TRUE(s.session.fileList().rows()[4].neverMove);
    EXPECT_TRUE(s.session.fileList().rows()[6].neverMove);
    EXPECT_EQ(s.session.statusText(), "Found 1 file to process");
}

TEST(NeverMoveEditing, RowAddAsksAndAppendsOnce) {
    SessionFixture s;
    s.fx.writeNeverMove({"First.u"});
    s.fx.writeCacheIni({s.fx.addEntry(1, "Mod.u"), s.fx.addEntry(2, "First.u")});
    s.session.ScanCache();
    EXPECT_FALSE(s.session.confirmAddRowToNeverMove(0)); // No
    EXPECT_EQ(s.prompter.shown.back().text, "Add MOD.U to the never move list?");
    EXPECT_EQ(s.prompter.shown.back().title, "Add File");
    EXPECT_FALSE(s.session.confirmAddRowToNeverMove(1)); // already marked: nothing asked
    EXPECT_FALSE(s.did(s.session.addRowToNeverMove(1)));
    EXPECT_EQ(s.prompter.shown.size(), 1u);
    ASSERT_TRUE(s.did(s.session.addRowToNeverMove(0)));
    EXPECT_EQ(tvtest::readFile(s.fx.program + "/TessvaneDontMove.ini"), "First.u\r\nMod.u\r\n");
    EXPECT_TRUE(s.session.fileList().rows()[0].neverMove);
    EXPECT_FALSE(s.session.fileList().rows()[0].ticked);
}
