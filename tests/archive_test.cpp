// Map archives: loading with and without a preview, installation in the
// three destination modes, and what must never happen (replacing a file,
// writing outside the game, showing one archive's files for another).
#include "observer_hook.h"
#include "run_support.h"

#include "archives/map_archive.h"
#include "platform/cfile.h"
#include "platform/text_io.h"
#include "ui/file_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace tv;
using tvtest::crlf;
using tvtest::makeZip;
using tvtest::SessionFixture;
using tvtest::TempDir;

namespace {

const std::vector<std::pair<std::string, std::string>> kFullMap = {
    {"DM-Test/DM-Test.ut2", "map"}, {"Textures/TestTex.utx", "tex"},
    {"Music/Song.ogg", "song"},     {"Sounds/Boom.uax", "boom"},
    {"Mesh.usx", "mesh"},           {"Anim.ukx", "anim"},
    {"System/Test.int", "words"},   {"Test.dem", "demo"},
    {"readme.txt", "A map"},        {"shot.jpg", "not really a jpeg"}};

// The installed kinds with the game folder each goes to.
const std::vector<std::pair<std::string, std::string>> kTargets = {
    {"DM-Test.ut2", "Maps"}, {"TestTex.utx", "Textures"},  {"Song.ogg", "Music"},
    {"Boom.uax", "Sounds"},  {"Mesh.usx", "StaticMeshes"}, {"Anim.ukx", "Animations"},
    {"Test.int", "System"},  {"Test.dem", "System"}};

size_t filesNamed(const std::string& root, const std::string& name) {
    size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        n += e.path().filename() == name;
    return n;
}

bool said(const SessionFixture& s, const std::string& line) {
    const auto lines = tvtest::asVector(s.session.statusList());
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(MapArchive, EveryKindGoesToItsFolderInEveryModeWithItsLogAndStatusLines) {
    for (auto mode :
         {Settings::MoveMode::Norm, Settings::MoveMode::Dir, Settings::MoveMode::Dir2}) {
        SCOPED_TRACE(static_cast<int>(mode));
        SessionFixture s;
        std::string archive = s.fx.dir / "DM-Test.zip";
        makeZip(archive, kFullMap);
        std::string other = s.fx.dir / "Other";
        s.session.changeSettings([&](tv::Settings& st) { st.setMoveOption(mode, true); });
        s.session.changeSettings([&](tv::Settings& st) { st.moveDirText = other + "/"; });
        s.session.changeSettings([&](tv::Settings& st) { st.moveDir2Text = other + "/"; });
        ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
                  MapArchiveInstaller::Load::Previewed);
        ASSERT_TRUE(s.session.checkArchiveDestination());
        ASSERT_TRUE(s.did(s.session.processLoadedZip()));
        EXPECT_EQ(s.session.settings().moveDirText, other);

        const std::string temp = s.session.archives().extractFolder();
        std::vector<std::string> moves;
        for (const auto& [name, folder] : kTargets) {
            std::string target = mode == Settings::MoveMode::Norm  ? s.fx.game + "/" + folder
                                 : mode == Settings::MoveMode::Dir ? other
                                                                   : other + "/" + folder;
            target += "/" + name;
            EXPECT_TRUE(tvtest::exists(target)) << target;
            moves.push_back("**OLD** " + temp + "/" + name + "  ---->  **NEW** " + target);
        }
        EXPECT_EQ(filesNamed(s.fx.dir.path(), "readme.txt"), 0u);
        EXPECT_EQ(filesNamed(s.fx.dir.path(), "shot.jpg"), 0u);

        std::vector<std::string> status = moves;
        // What is for the reader stays out, said.
        for (const char* doc : {"readme.txt", "shot.jpg"})
            status.push_back(std::string(doc) +
                             " was not installed: it is for the reader, not for the game");
        const std::vector<std::string> said(status.begin(), status.end());
        for (const char* l :
             {"", "** NOTE - files not being extracted is due to them existing already.", "", "~",
              ""})
            status.push_back(std::string(l) == "~" ? std::string(102, '~') : l);
        status.insert(status.begin() + static_cast<long>(said.size()),
                      s.fx.program + "/Tessvane.log was created.");
        // The structured folder gets the game's subfolders first, each said.
        if (mode == Settings::MoveMode::Dir2)
            for (const char* sub :
                 {"Animations", "StaticMeshes", "Textures", "System", "Sounds", "Music", "Maps"})
                status.insert(status.begin(), "Created folder " + other + "/" + sub);
        EXPECT_EQ(tvtest::asVector(s.session.statusList()), status);

        std::vector<std::string> log = {"Processing ZIP file " + archive, ""};
        log.insert(log.end(), said.begin(), said.end());
        for (const char* l :
             {"", "NOTE - files not being extracted is due to them existing already.", ""})
            log.push_back(l);
        EXPECT_EQ(s.logLines(), log);
        EXPECT_EQ(s.session.statusText(), "Done processing ZIP files");
        EXPECT_FALSE(s.failed());
    }
}

TEST(MapArchive, APreviewShowsTheMapItsDescriptionAndPicture) {
    SessionFixture s;
    std::string archive = s.fx.dir / "DM-Test.zip";
    makeZip(archive,
            {{"DM-Test.ut2", "map"},
             {"Docs/ReadMe.TXT", "Title: Test, \"A map, with commas\"\r\n  Author: Me\r\n"},
             {"Shot.JPG", "picture"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    const ArchivePreview& p = s.session.archives().preview();
    EXPECT_EQ(p.mapName, "DM-Test.ut2");
    // As written: commas and quotes are the text's own.
    EXPECT_EQ(p.description, "Title: Test, \"A map, with commas\"\r\n  Author: Me\r\n");
    EXPECT_EQ(p.textFile, "ReadMe.TXT");
    EXPECT_EQ(tvtest::readFile(p.textPath),
              "Title: Test, \"A map, with commas\"\r\n  Author: Me\r\n");
    EXPECT_EQ(tvtest::readFile(p.picture), "picture");
    // Nothing was installed by the preview.
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/DM-Test.ut2"));
}

// A mod's archive: every member the game reads goes where the game reads
// it, several of a kind included; what it would not read is said and makes
// the installation one that failed.
TEST(MapArchive, EveryMemberTheGameReadsIsInstalledAndTheRestIsSaid) {
    SessionFixture s;
    std::string archive = s.fx.dir / "mutator.zip";
    makeZip(archive, {{"System/X.u", "code"},
                      {"System/X.ucl", "class list"},
                      {"System/X.int", "english"},
                      {"System/Foo.upl", "player"},
                      {"System/Foo.det", "deutsch"},
                      {"Maps/DM-X.ut2", "map"},
                      {"First.utx", "1"},
                      {"Second.UTX", "2"},
                      {"KarmaData/Rag.ka", "karma"},
                      {"Speech/Words.xml", "<words/>"},
                      {"Saves/Slot.uvx", "save"},
                      {"ForceFeedback/Hit.ifr", "rumble"},
                      {"readme.txt.bak", "b"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    ASSERT_TRUE(s.did(s.session.processLoadedZip()));
    for (const auto& [file, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"System/X.u", "code"},
                                                          {"System/X.ucl", "class list"},
                                                          {"System/X.int", "english"},
                                                          {"System/Foo.upl", "player"},
                                                          {"System/Foo.det", "deutsch"},
                                                          {"Maps/DM-X.ut2", "map"},
                                                          {"Textures/First.utx", "1"},
                                                          {"Textures/Second.UTX", "2"},
                                                          {"KarmaData/Rag.ka", "karma"},
                                                          {"Speech/Words.xml", "<words/>"},
                                                          {"Saves/Slot.uvx", "save"},
                                                          {"ForceFeedback/Hit.ifr", "rumble"}})
        EXPECT_EQ(tvtest::readFile(s.fx.game + "/" + file), bytes) << file;
    EXPECT_EQ(filesNamed(s.fx.game, "readme.txt.bak"), 0u);
    EXPECT_TRUE(s.failed());
    // Readable as any file the player makes.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(fs::status(s.fx.game + "/System/X.u").permissions(),
              static_cast<fs::perms>(0666 & ~mask));
    EXPECT_TRUE(said(s, "**ERROR** readme.txt.bak could not be installed: the game reads no "
                        "file of its kind"));

    // Without a preview only the maps go: the rest is said, and it failed.
    fs::remove(s.fx.game + "/Maps/DM-X.ut2");
    s.load(s.session.loadZipArchive(archive, true));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Maps/DM-X.ut2"), "map");
    EXPECT_TRUE(s.failed());
    EXPECT_TRUE(said(s, "**ERROR** X.u could not be installed: only maps are installed without a "
                        "preview"));
}

// The installations listed (and taken back) are the chosen game's.
TEST(MapArchive, EachGameListsItsOwnInstallations) {
    SessionFixture s;
    const std::string archive = s.fx.dir / "DM-Own.zip";
    makeZip(archive, {{"DM-Own.ut2", "map"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, true)),
              MapArchiveInstaller::Load::Installed);
    ASSERT_EQ(s.session.installations().size(), 1u);
    const std::string other = s.fx.dir / "OtherGame";
    fs::create_directories(other + "/System");
    fs::create_directories(other + "/Cache");
    s.session.workOnInstall(tvtest::installAt(other));
    EXPECT_TRUE(s.session.installations().empty());
    s.session.workOnInstall(tvtest::installAt(s.fx.game));
    EXPECT_EQ(s.session.installations().size(), 1u);
}

// Taken back whole, an installation removes the folders it made, each
// only while empty; folders that were there stay.
TEST(MapArchive, TakingAnInstallationBackRemovesTheEmptyFoldersItMade) {
    SessionFixture s;
    const std::string archive = s.fx.dir / "mod.zip";
    makeZip(archive,
            {{"DM-Mod.ut2", "map"}, {"KarmaData/Rag.ka", "karma"}, {"Speech/Words.xml", "<w/>"}});
    ASSERT_TRUE(fs::exists(s.fx.game + "/Maps"));
    ASSERT_FALSE(fs::exists(s.fx.game + "/KarmaData"));
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    ASSERT_TRUE(s.did(s.session.processLoadedZip()));
    ASSERT_TRUE(tvtest::exists(s.fx.game + "/KarmaData/Rag.ka"));
    tvtest::writeFile(s.fx.game + "/Speech/Mine.xml", "the player's"); // put there since
    std::vector<std::string> files;
    for (const auto& in : s.session.installations())
        for (const auto& f : in.files)
            files.push_back(f.path);
    ASSERT_EQ(files.size(), 3u);
    ASSERT_TRUE(s.did(s.session.undoInstalledFiles(files)));
    EXPECT_FALSE(fs::exists(s.fx.game + "/KarmaData"));
    EXPECT_TRUE(fs::exists(s.fx.game + "/Maps"));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Speech/Mine.xml"), "the player's");
    EXPECT_TRUE(said(s, "Removed folder " + s.fx.game + "/KarmaData"));
}

TEST(MapArchive, AnArchiveForTheOlderGameIsRefusedWithNothingCopied) {
    for (bool several : {false, true}) {
        SessionFixture s;
        std::string archive = s.fx.dir / "old.zip";
        makeZip(archive, {{"DM-New.ut2", "map"}, {"CTF-Old.unr", "old map"}, {"T.utx", "t"}});
        EXPECT_EQ(s.load(s.session.loadZipArchive(archive, several)),
                  MapArchiveInstaller::Load::Refused);
        EXPECT_EQ(
            s.prompter.messageTexts(),
            std::vector<std::string>{"This is a UT map, not UT2.  Files will not be extracted."});
        EXPECT_TRUE(s.session.archives().preview().mapName.empty());
        tvtest::writeFile(s.fx.program + "/Tessvane.log", "the last run\r\n");
        EXPECT_FALSE(s.did(s.session.processLoadedZip())); // nothing is loaded
        EXPECT_EQ(filesNamed(s.fx.game, "DM-New.ut2"), 0u);
        EXPECT_EQ(filesNamed(s.fx.game, "T.utx"), 0u);
        EXPECT_EQ(tvtest::readFile(s.fx.program + "/Tessvane.log"), "the last run\r\n");
    }
}

TEST(MapArchive, AnArchiveWithNothingToInstallSaysSoAndLoadsNothing) {
    for (bool several : {false, true}) {
        SessionFixture s;
        std::string archive = s.fx.dir / "readme.zip";
        makeZip(archive, several ? std::vector<std::pair<std::string, std::string>>{{"T.utx", "t"}}
                                 : std::vector<std::pair<std::string, std::string>>{
                                       {"readme.txt", "hello"}, {"shot.png", "png"}});
        EXPECT_EQ(s.load(s.session.loadZipArchive(archive, several)),
                  MapArchiveInstaller::Load::Empty);
        EXPECT_EQ(s.prompter.messageTexts(),
                  std::vector<std::string>{archive + " holds no files to install."});
        EXPECT_FALSE(s.session.archives().loaded());
        EXPECT_FALSE(s.did(s.session.processLoadedZip()));
        EXPECT_FALSE(tvtest::exists(s.fx.program + "/Tessvane.log"));
        EXPECT_EQ(filesNamed(s.fx.game, "T.utx"), 0u);
    }
}

TEST(MapArchive, ThePreviewShowsTheFirstPictureOfAnyCommonFormat) {
    for (const char* picture : {"shot.PNG", "shot.jpeg", "shot.webp", "shot.bmp", "shot.gif"}) {
        SessionFixture s;
        std::string archive = s.fx.dir / "map.zip";
        makeZip(archive, {{"DM-New.ut2", "map"}, {picture, "picture"}, {"second.jpg", "no"}});
        ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
                  MapArchiveInstaller::Load::Previewed);
        EXPECT_EQ(tv::fileNameOf(s.session.archives().preview().picture), picture);
    }
}

TEST(MapArchive, ARelativeArchivePathIsLoggedWhole) {
    SessionFixture s;
    makeZip(s.fx.dir / "Rel.zip", {{"DM-New.ut2", "map"}});
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(s.fx.dir.path());
    auto load = s.load(s.session.loadZipArchive("Rel.zip", false));
    std::filesystem::current_path(previous);
    ASSERT_EQ(load, MapArchiveInstaller::Load::Previewed);
    ASSERT_TRUE(s.did(s.session.processLoadedZip()));
    ASSERT_FALSE(s.logLines().empty());
    EXPECT_EQ(s.logLines()[0], "Processing ZIP file " + (s.fx.dir / "Rel.zip"));
}

TEST(MapArchive, NothingThePlayerHasIsReplaced) {
    SessionFixture s;
    std::string archive = s.fx.dir / "DM-Test.zip";
    makeZip(archive,
            {{"DM-Test.ut2", "map"}, {"TestTex.utx", "new texture"}, {"Song.ogg", "song"}});
    tvtest::writeFile(s.fx.game + "/Maps/DM-Test.ut2", "map"); // the same bytes
    tvtest::writeFile(s.fx.game + "/Textures/testtex.UTX",
                      "the player's"); // other bytes, other case
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    ASSERT_TRUE(s.did(s.session.processLoadedZip()));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Textures/testtex.UTX"), "the player's");
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Textures/TestTex.utx"));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Music/Song.ogg"), "song");
    const std::string kept =
        s.fx.game + "/Textures/testtex.UTX exists already and was not replaced";
    // Nothing copied is no move; a file kept is a member left out.
    EXPECT_EQ(s.session.statusList()[0],
              s.fx.game + "/Maps/DM-Test.ut2 is there already with the same bytes");
    EXPECT_EQ(s.session.statusList()[1], kept);
    EXPECT_EQ(s.logLines()[3], kept);
    EXPECT_TRUE(s.failed());

    // The direct install keeps it too.
    tvtest::writeFile(s.fx.game + "/Maps/DM-Test.ut2", "the player's map");
    s.load(s.session.loadZipArchive(archive, true));
    EXPECT_EQ(tvtest::readFile(s.fx.game + "/Maps/DM-Test.ut2"), "the player's map");
    EXPECT_TRUE(said(s, s.fx.game + "/Maps/DM-Test.ut2 exists already and was not replaced"));
}

TEST(MapArchive, MembersThatLeadOutOfTheirFolderAreIgnored) {
    SessionFixture s;
    std::string archive = s.fx.dir / "hostile.zip";
    const std::string marker = "tessvane-escape-" + fs::path(s.fx.dir.path()).filename().string();
    makeZip(archive, {{"../../" + marker + ".ut2", "x"},
                      {"/tmp/" + marker + "-root.ut2", "x"},
                      {"__MACOSX/DM-Ok.ut2", "mac"},
                      {"Maps/._DM-Ok.ut2", "mac"},
                      {"Maps/DM-Ok.ut2", "map"}});
    for (bool several : {false, true}) {
        ASSERT_NE(s.load(s.session.loadZipArchive(archive, several)),
                  MapArchiveInstaller::Load::Unreadable);
        if (!several) {
            EXPECT_EQ(s.session.archives().archiveSlots()[ArchiveKind::UT2], "DM-Ok.ut2");
            s.did(s.session.processLoadedZip());
        }
        EXPECT_EQ(tvtest::readFile(s.fx.game + "/Maps/DM-Ok.ut2"), "map");
        EXPECT_FALSE(tvtest::exists("/tmp/" + marker + "-root.ut2"));
        EXPECT_FALSE(tvtest::exists(fs::path(s.fx.dir.path()).parent_path() / (marker + ".ut2")));
        EXPECT_EQ(filesNamed(s.fx.dir.path(), marker + ".ut2"), 0u);
        EXPECT_EQ(filesNamed(s.fx.game, "._DM-Ok.ut2"), 0u);
        fs::remove(s.fx.game + "/Maps/DM-Ok.ut2");
    }
}

TEST(MapArchive, AnArchiveThatCannotBeReadIsNamedAndInstallsNothing) {
    SessionFixture s;
    std::string bad = s.fx.dir / "bad.zip";
    tvtest::writeFile(bad, "PK\x03\x04 this is not really a zip archive");
    for (bool several : {false, true}) {
        EXPECT_EQ(s.load(s.session.loadZipArchive(bad, several)),
                  MapArchiveInstaller::Load::Unreadable);
        ASSERT_FALSE(s.prompter.messageTexts().empty());
        EXPECT_EQ(
            s.prompter.messageTexts().back().rfind("The archive " + bad + " cannot be read: ", 0),
            0u);
        EXPECT_TRUE(s.failed());
    }
    std::string good = s.fx.dir / "good.zip";
    makeZip(good, {{"DM-Good.ut2", "map"}});
    EXPECT_EQ(s.load(s.session.loadZipArchive(good, false)), MapArchiveInstaller::Load::Previewed);
}

TEST(MapArchive, EachLoadHasAFolderOfItsOwn) {
    SessionFixture s;
    std::string first = s.fx.dir / "first.zip", second = s.fx.dir / "second.zip";
    makeZip(first,
            {{"DM-One.ut2", "1"}, {"readme.txt", "first"}, {"shot.jpg", "p"}, {"A.utx", "a"}});
    makeZip(second, {{"DM-Two.ut2", "2"}, {"readme.txt", "second"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(first, false)), MapArchiveInstaller::Load::Previewed);
    std::string firstFolder = s.session.archives().extractFolder();
    ASSERT_TRUE(tvtest::exists(firstFolder + "/A.utx"));
    ASSERT_EQ(s.load(s.session.loadZipArchive(second, false)),
              MapArchiveInstaller::Load::Previewed);
    EXPECT_FALSE(tvtest::exists(firstFolder));
    EXPECT_EQ(s.session.archives().preview().description, "second");
    EXPECT_EQ(s.session.archives().preview().picture, "");
    s.did(s.session.processLoadedZip());
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-Two.ut2"));
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
}

TEST(MapArchive, SeveralArchivesPutOnlyTheirMapsIntoMaps) {
    SessionFixture s;
    std::string a = s.fx.dir / "a.zip", b = s.fx.dir / "b.zip";
    makeZip(a, {{"DM-A.ut2", "a"}, {"DM-A2.UT2", "a2"}, {"A.utx", "t"}});
    makeZip(b, {{"Maps/DM-B.ut2", "b"}, {"readme.txt", "r"}});
    EXPECT_EQ(s.load(s.session.loadZipArchive(a, true)), MapArchiveInstaller::Load::Installed);
    EXPECT_EQ(s.load(s.session.loadZipArchive(b, true)), MapArchiveInstaller::Load::Installed);
    for (const char* m : {"DM-A.ut2", "DM-A2.UT2", "DM-B.ut2"})
        EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/" + m)) << m;
    EXPECT_FALSE(tvtest::exists(s.fx.game + "/Textures/A.utx"));
    EXPECT_FALSE(tvtest::exists(s.fx.program + "/Tessvane.log"));
    EXPECT_TRUE(s.session.archives().preview().mapName.empty());
    EXPECT_TRUE(
        said(s, "**OLD** DM-B.ut2 (" + b + ")  ---->  **NEW** " + s.fx.game + "/Maps/DM-B.ut2"));
    EXPECT_EQ(s.session.statusList().back(),
              "readme.txt was not installed: it is for the reader, not for the game");

    // The check box does the same for one archive.
    s.session.changeSettings([&](tv::Settings& st) { st.unzipNoPreview = true; });
    std::string c = s.fx.dir / "c.zip";
    makeZip(c, {{"DM-C.ut2", "c"}});
    EXPECT_EQ(s.load(s.session.loadZipArchive(c, false)), MapArchiveInstaller::Load::Installed);
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-C.ut2"));
}

TEST(MapArchive, WithNoDestinationChosenTheGameFoldersAreUsed) {
    SessionFixture s;
    std::string archive = s.fx.dir / "DM-Test.zip";
    makeZip(archive, {{"DM-Test.ut2", "map"}, {"T.utx", "t"}});
    s.session.changeSettings(
        [](tv::Settings& st) { st.moveNorm = st.moveDir = st.moveDir2 = false; });
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    ASSERT_TRUE(s.session.checkArchiveDestination());
    ASSERT_TRUE(s.did(s.session.processLoadedZip()));
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-Test.ut2"));
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Textures/T.utx"));
}

TEST(MapArchive, AFolderThatCannotBeCreatedStopsTheInstallation) {
    SessionFixture s;
    std::string archive = s.fx.dir / "DM-Test.zip";
    makeZip(archive, {{"DM-Test.ut2", "map"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    s.session.changeSettings(
        [&](tv::Settings& st) { st.setMoveOption(Settings::MoveMode::Dir, true); });
    s.session.changeSettings(
        [&](tv::Settings& st) { st.moveDirText = s.fx.dir / "no/such/parent"; });
    EXPECT_FALSE(s.did(s.session.processLoadedZip()));
    ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
    EXPECT_NE(s.prompter.messageTexts()[0].find("Nothing was installed."), std::string::npos);
    EXPECT_EQ(filesNamed(s.fx.dir.path(), "DM-Test.ut2"), 0u);
    EXPECT_FALSE(tvtest::exists(s.fx.dir / "no"));
}

TEST(MapArchive, TheCommandLineInstallsAndSaysHowItWent) {
    tvtest::GameFixture fx;
    std::string one = fx.dir / "DM-Test.zip", old = fx.dir / "old.zip", bad = fx.dir / "bad.zip";
    makeZip(one, {{"DM-Test.ut2", "map"}, {"T.utx", "t"}, {"readme.txt", "Title: Test,By me"}});
    makeZip(old, {{"DM-Old.unr", "o"}});
    tvtest::writeFile(bad, "not a zip");

    tvtest::CliResult r = tvtest::runCli(fx, "zip " + tvtest::shellQuote(one));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Map Name: DM-Test.ut2\nDescription:\nTitle: Test,By me\n"
                          "DM-Test.ut2 is not a package: the game cannot load it\n**OLD** ",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("Done processing ZIP files\n"), std::string::npos);
    EXPECT_TRUE(tvtest::exists(fx.game + "/Textures/T.utx"));

    fs::remove(fx.game + "/Maps/DM-Test.ut2");
    tvtest::TempDir target;
    r = tvtest::runCli(fx, "zip --no-preview " + tvtest::shellQuote(one));
    EXPECT_EQ(r.status, 3) << r.err; // T.utx stays out
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Test.ut2"));
    r = tvtest::runCli(fx, "zip --to " + tvtest::shellQuote(target.path()) + " " +
                               tvtest::shellQuote(one));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tvtest::exists(target / "T.utx"));

    r = tvtest::runCli(fx, "zip " + tvtest::shellQuote(old));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Tessvane: This is a UT map, not UT2.  Files will not be extracted.\n");
    r = tvtest::runCli(fx, "zip " + tvtest::shellQuote(bad) + " " + tvtest::shellQuote(one));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("The archive " + bad + " cannot be read: "), std::string::npos);
}

TEST(FileDialog, PassesTheRequestAndReadsOneOrSeveralFiles) {
    RecordingPrompter prompter;
    CFileOpenSaveDialog dialog(prompter);
    EXPECT_EQ(dialog.Flags(), 0x280000);
    EXPECT_EQ(dialog.MaxFileSize(), 1024);
    EXPECT_EQ(dialog.DefaultFilter(), 1);
    dialog.DialogTitle("Select one or more files");
    dialog.Filter("ZIP Files (*.ZIP)|*.ZIP|All (*.*)|*.*");
    dialog.Flags(528900);
    dialog.InitialDir("/home/player");
    EXPECT_FALSE(dialog.Show(2));
    EXPECT_TRUE(prompter.requests.empty());

    prompter.files.push_back({"/a/DM-One.zip"});
    ASSERT_TRUE(dialog.Show(0));
    const FileRequest& r = prompter.requests.at(0);
    EXPECT_EQ(r.title, "Select one or more files");
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(r.filters[0].description, "ZIP Files (*.ZIP)");
    EXPECT_EQ(r.filters[0].patterns, "*.ZIP");
    EXPECT_TRUE(r.several);
    EXPECT_TRUE(r.mustExist);
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.initialFolder, "/home/player");
    EXPECT_EQ(dialog.FileCount(), 1);
    EXPECT_EQ(dialog.GetNextFileName(), "/a/DM-One.zip");
    EXPECT_EQ(dialog.GetNextFileName(1), "/a/DM-One.zip");
    EXPECT_EQ(dialog.FileTitle(), "DM-One.zip");
    EXPECT_EQ(dialog.SelectedPath(), "/a/");

    // Several files, also from several folders, come back as full paths.
    prompter.files.push_back({"/a/One.zip", "/a/Two.zip", "/b/Three.zip"});
    ASSERT_TRUE(dialog.Show(0));
    EXPECT_EQ(dialog.FileCount(), 3);
    EXPECT_EQ(dialog.GetNextFileName(2), "/a/Two.zip");
    EXPECT_EQ(dialog.GetNextFileName(3), "/b/Three.zip");
    EXPECT_EQ(dialog.GetNextFileName(4), "/a/One.zip");
    EXPECT_EQ(dialog.SelectedPath(), "/a");

    // A cancel changes nothing.
    EXPECT_FALSE(dialog.Show(1));
    EXPECT_TRUE(prompter.requests.back().save);
    EXPECT_EQ(dialog.FileCount(), 3);
}

TEST(FileDialog, AnOwnerThatIsNoWindowIsRefused) {
    RecordingPrompter prompter;
    prompter.windows = std::set<int64_t>{42};
    CFileOpenSaveDialog dialog(prompter);
    dialog.HWndOwner(42);
    dialog.HWndOwner(0);
    try {
        dialog.HWndOwner(7);
        FAIL() << "no error raised";
    } catch (const ComponentError& e) {
        EXPECT_EQ(e.number(), 0x80044435u);
        EXPECT_STREQ(e.what(), "Invalid window handle");
        EXPECT_EQ(e.source(), programName() + ".CFileOpenSaveDialog");
    }
    EXPECT_EQ(dialog.HWndOwner(), 0);
}

TEST(MapArchive, AStoppedDirectInstallKeepsTheMapsInstalledSoFar) {
    SessionFixture s;
    const std::string archive = s.fx.dir / "many.zip";
    std::vector<std::pair<std::string, std::string>> members;
    for (int i = 0; i < 200; ++i)
        members.push_back({"DM-Map" + std::to_string(i) + ".ut2", "map " + std::to_string(i)});
    makeZip(archive, members);
    int asked = 0;
    std::vector<std::pair<size_t, size_t>> progress;
    tvtest::ObserverHook hook(s.session);
    hook.onStopRequested = [&] { return ++asked > 130; };
    hook.onProgress = [&](size_t done, size_t total) { progress.emplace_back(done, total); };
    EXPECT_EQ(s.load(s.session.loadZipArchive(archive, true)),
              MapArchiveInstaller::Load::Installed);
    EXPECT_FALSE(s.failed()); // a stop is no failure
    EXPECT_EQ(std::count(s.session.statusList().begin(), s.session.statusList().end(),
                         "Stopped after 130 of 200"),
              1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (std::pair<size_t, size_t>{64, 200}));
    size_t installed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(s.fx.game + "/Maps"))
        installed += entry.path().extension() == ".ut2";
    EXPECT_EQ(installed, 130u);
}
