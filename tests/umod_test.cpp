// UMOD installers: the directory format, the preview, the installation by
// each file's own folder, hostile paths and damaged files.
#include "format_writers.h"
#include "package_support.h"
#include "test_support.h"
#include "umod_support.h"

#include "archives/umod_installer.h"
#include "formats/file_hash.h"
#include "formats/uz2.h"
#include "platform/crash_point.h"
#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tv;
using tvtest::GameFixture;
using tvtest::makeUmod;
using tvtest::writeFile;

TEST(Umod, CompactIndicesRoundTripAndTheDirectoryIsBounded) {
    using tvtest::compactIndexBytes;
    for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{63}, int64_t{64}, int64_t{8191},
                      int64_t{8192}, int64_t{1000000}, int64_t{-5}, int64_t{-100000},
                      int64_t{1} << 27, (int64_t{1} << 34) + 5, -((int64_t{1} << 35) - 1)}) {
        const std::string bytes = compactIndexBytes(v);
        size_t at = 0;
        EXPECT_EQ(readCompactIndex(bytes, at), v);
        EXPECT_EQ(at, bytes.size());
    }
    size_t at = 0;
    EXPECT_FALSE(readCompactIndex(std::string("\xC0\x80\x80", 3), at)); // cut short
    std::string error;
    // A count that promises more entries than the bytes can hold.
    EXPECT_FALSE(parseUmodDirectory(compactIndexBytes(1000000), 100, &error));
    EXPECT_FALSE(parseUmodDirectory(compactIndexBytes(int64_t{1} << 34), 100, &error));
    // An entry reaching past the files.
    std::string dir = compactIndexBytes(1) + compactIndexBytes(6) + std::string("A.txt\0", 6);
    dir += std::string("\x00\x00\x00\x00\xF0\xFF\xFF\xFF\x00\x00\x00\x00", 12);
    EXPECT_FALSE(parseUmodDirectory(dir, 100, &error));
    EXPECT_NE(error.find("outside the installer"), std::string::npos);
}

namespace {

struct ModFixture {
    GameFixture fx;
    std::string mod = fx.dir / "FooMod.ut4mod";
    std::string texture = tvtest::makePackage(9, "foo texture");
    // Past one 64 KiB piece of the copy and of the comparison.
    std::string big = tvtest::makePackage(6, bigFiller());
    // A path of 64 characters or more: its length takes two bytes.
    std::string longName = "Read-me-first-before-playing-the-foo-maps-with-friends.txt";
    ModFixture() {
        // The player has this song already, with the installer's bytes.
        writeFile(fx.game + "/Music/FooSong.ogg", "song");
        writeFile(mod,
                  makeUmod({{"Maps\\DM-Foo.ut2", tvtest::makePackage(8, "foo map")},
                            {"Maps\\DM-Big.ut2", big},
                            {"System\\Foo.u", tvtest::makePackage(7, "foo code")},
                            {"textures\\FooTex.utx.UZ2", tvtest::makeUz2(texture)},
                            {"Help\\Foo\\ReadMe.txt", "Read me."},
                            {"Help\\Foo\\" + longName, "Long."},
                            {"Music\\FooSong.ogg", "song"},
                            {"System\\Manifest.ini",
                             "[Setup]\r\nProduct=FooMod\r\nVersion=1.2\r\nGroup=Foo\r\n"
                             "[Foo]\r\nFile=(Src=Maps\\DM-Foo.ut2)\r\nCopy=(Src=System\\Foo.u)\r\n"
                             "Ini=System\\UT2004.ini,Engine.GameEngine.ServerPackages=Foo\r\n"
                             "[UT2004Requirement]\r\nProduct=UT2004\r\nVersion=3369\r\n"},
                            {"System\\Manifest.int",
                             "[Setup]\r\nLocalProduct=Foo Mod\r\nDescription=A map and its "
                             "texture.\r\n"}}));
    }
    static std::string bigFiller() {
        std::string s;
        for (int i = 0; s.size() < 200000; ++i)
            s += "piece " + std::to_string(i) + ";";
        return s;
    }
    // The same size as the installer's file, other bytes: the player's own.
    static std::string changedCopy(std::string bytes) {
        bytes.back() = static_cast<char>(bytes.back() ^ 1);
        return bytes;
    }
};

} // namespace

TEST(Umod, PreviewThenEachFileGoesToItsOwnFolder) {
    ModFixture m;
    auto r = tvtest::runCli(m.fx, "zip " + m.mod);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Product: Foo Mod\nVersion: 1.2\nDescription:\nA map and its texture.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  Maps\\DM-Foo.ut2 ("), std::string::npos);
    // A requirement is said as one, not as an instruction; the manifest is
    // no file to install.
    EXPECT_NE(r.out.find("Not carried out (do these by hand if the add-on needs them):\n  [Foo] "
                         "Ini=System\\UT2004.ini,Engine.GameEngine.ServerPackages=Foo\n"
                         "DM-Foo.ut2 needs: nothing else\n"
                         "DM-Big.ut2 needs: nothing else\n**OLD**"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Requires: UT2004, Version 3369\nFiles:\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("  System\\Manifest"), std::string::npos) << r.out;
    const std::string& game = m.fx.game;
    EXPECT_EQ(tvtest::readFile(game + "/Maps/DM-Foo.ut2"), tvtest::makePackage(8, "foo map"));
    EXPECT_EQ(tvtest::readFile(game + "/System/Foo.u"), tvtest::makePackage(7, "foo code"));
    EXPECT_TRUE(tvtest::readFile(game + "/Maps/DM-Big.ut2") == m.big);
    // Unpacked (.UZ2 in capitals too), into the folder of another letter case.
    EXPECT_EQ(tvtest::readFile(game + "/Textures/FooTex.utx"), m.texture);
    EXPECT_FALSE(tvtest::exists(game + "/textures"));
    EXPECT_EQ(tvtest::readFile(game + "/Help/Foo/ReadMe.txt"), "Read me.");
    EXPECT_EQ(tvtest::readFile(game + "/Help/Foo/" + m.longName), "Long.");
    EXPECT_NE(r.out.find("Created folder " + game + "/Help\n"), std::string::npos);
    // The manifest is the installer's, not the game's.
    EXPECT_FALSE(tvtest::exists(game + "/System/Manifest.ini"));
    EXPECT_FALSE(tvtest::exists(game + "/System/Manifest.int"));
    const std::string log = tvtest::readFile(m.fx.program + "/Tessvane.log");
    EXPECT_NE(log.find("Processing UMOD file " + m.mod), std::string::npos);

    // Again: the same bytes count as installed; a file changed since (of
    // the same size) stays.
    const std::string own = ModFixture::changedCopy(tvtest::makePackage(7, "foo code"));
    writeFile(game + "/System/Foo.u", own);
    r = tvtest::runCli(m.fx, "zip " + m.mod);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(game + "/System/Foo.u exists already and was not replaced"),
              std::string::npos);
    // Unchanged files, plain and compressed, count as installed.
    EXPECT_NE(r.out.find("**OLD** Maps\\DM-Foo.ut2 (FooMod.ut4mod)  ---->  **NEW** " + game +
                         "/Maps/DM-Foo.ut2\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("**OLD** Maps\\DM-Big.ut2 (FooMod.ut4mod)  ---->  **NEW** " + game +
                         "/Maps/DM-Big.ut2\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("**OLD** textures\\FooTex.utx.UZ2 (FooMod.ut4mod)  ---->  **NEW** " +
                         game + "/Textures/FooTex.utx\n"),
              std::string::npos);
    EXPECT_EQ(tvtest::readFile(game + "/System/Foo.u"), own);
}

TEST(Umod, HostilePathsAndDamagedInstallersWriteNothingOutside) {
    GameFixture fx;
    const std::string mod = fx.dir / "Evil.umod";
    writeFile(mod, makeUmod({{"..\\..\\evil.u", "x"},
                             {"C:\\Windows\\evil.dll", "x"},
                             {"\\evil.u", "x"},
                             {"Maps\\..\\..\\evil.ut2", "x"},
                             {"Maps\\Custom\\evil.ut2", "x"},
                             {"Textures\\Fine.utx", "fine"},
                             {"Maps\\DM-Fine.ut2", "fine"}}));
    // A link planted below Maps is not followed; a type folder that is a
    // link (to another disk) is used as ever.
    std::filesystem::create_directories(fx.dir / "elsewhere");
    std::filesystem::create_directories(fx.dir / "disk2/Textures");
    std::filesystem::create_directory_symlink(fx.dir / "elsewhere", fx.game + "/Maps/Custom");
    std::filesystem::remove(fx.game + "/Textures");
    std::filesystem::create_directory_symlink(fx.dir / "disk2/Textures", fx.game + "/Textures");
    const auto outside = tvtest::snapshotTree(fx.dir.path());
    auto r = tvtest::runCli(fx, "zip " + mod);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("**ERROR** ..\\..\\evil.u could not be installed"), std::string::npos);
    EXPECT_NE(r.out.find("**ERROR** Maps\\Custom\\evil.ut2 could not be installed: " + fx.game +
                         "/Maps/Custom is a link to another place"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Fine.ut2"));
    for (const auto& [path, what] : tvtest::snapshotTree(fx.dir.path())) {
        if (outside.count(path)) continue;
        EXPECT_TRUE(path == "program/Tessvane.log" || path == "program/tessvane.lock" ||
                    path == "UT2003/Maps/DM-Fine.ut2" || path == "disk2/Textures/Fine.utx" ||
                    path == "stderr.txt")
            << path;
    }

    const std::string whole = makeUmod({{"Maps\\DM-Cut.ut2", std::string(5000, 'm')}});
    struct Case {
        std::string name, bytes, says;
    };
    std::string pastTheEnd = whole;
    pastTheEnd[whole.size() - 14] = '\x7F'; // the directory's offset past the end
    std::string wrongOffset = whole;
    wrongOffset[whole.size() - 16] = '\x01'; // the directory read from inside the files
    // Bytes gone from the middle (the trailer still at the end): its size says so.
    const std::string middleGone = whole.substr(0, 1000) + whole.substr(1010);
    std::string hugeSize = whole;
    // The entry's size field: just before its flags and the trailer.
    for (size_t i = whole.size() - 20 - 8; i < whole.size() - 20 - 4; ++i)
        hugeSize[i] = '\xFF';
    for (const Case& c : {Case{"cut.umod", whole.substr(0, whole.size() - 5), "no UMOD installer"},
                          Case{"past.umod", pastTheEnd, "does not fit"},
                          Case{"middle.umod", middleGone, "does not fit"},
                          Case{"offset.umod", wrongOffset, "directory is damaged"},
                          Case{"huge.umod", hugeSize, "outside the installer"},
                          Case{"tiny.umod", "abc", "too short"}}) {
        writeFile(fx.dir / c.name, c.bytes);
        r = tvtest::runCli(fx, "zip " + (fx.dir / c.name));
        EXPECT_EQ(r.status, 3) << c.name;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    }
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Cut.ut2"));

    // A whole installer with a damaged compressed file: said, and the exit says so.
    writeFile(fx.dir / "bad.umod", makeUmod({{"Maps\\DM-Bad.ut2.uz2", "not compressed"}}));
    r = tvtest::runCli(fx, "zip " + (fx.dir / "bad.umod"));
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("**ERROR** Maps\\DM-Bad.ut2.uz2 could not be installed"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Bad.ut2"));
    // The same with a file of that name there already, also when the damage
    // comes after a first chunk that differs from it: still a failure.
    writeFile(fx.game + "/Maps/DM-Bad.ut2", "the player's");
    // (past the first 64 KiB that are compared)
    const std::string packed = tvtest::makeUz2(std::string(3 * 32768, 'a'));
    writeFile(fx.dir / "late.umod",
              makeUmod({{"Maps\\DM-Bad.ut2.uz2", packed + packed.substr(0, 20)}}));
    for (const char* mod : {"bad.umod", "late.umod"}) {
        r = tvtest::runCli(fx, "zip " + (fx.dir / mod));
        EXPECT_EQ(r.status, 3) << mod << r.out;
        EXPECT_EQ(r.out.find("exists already"), std::string::npos) << mod << r.out;
    }
    EXPECT_EQ(tvtest::readFile(fx.game + "/Maps/DM-Bad.ut2"), "the player's");
    EXPECT_EQ(tvtest::leftoverFiles(fx.dir.path()), std::vector<std::string>{});

    // Control characters in a name could forge a line: refused like a ZIP's.
    writeFile(fx.dir / "forged.umod", makeUmod({{"Maps\\DM-Line\nFORGED.ut2", "x"},
                                                {"Maps\\DM-\x1b[7mPWN.ut2", "x"},
                                                {"Help\x07\\ReadMe.txt", "x"}}));
    r = tvtest::runCli(fx, "zip " + (fx.dir / "forged.umod"));
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_EQ(r.out.find("\nFORGED"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Line\nFORGED.ut2"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Help\x07"));
}

// Type folders a fresh player folder lacks are made as the game spells them;
// the installation reports its progress, stops between files when asked,
// and records each file with the size and hash of the bytes it wrote.
TEST(Umod, FreshFoldersTakeTheGamesSpellingAndAnInstallStopsWhenAsked) {
    GameFixture fx;
    std::filesystem::remove_all(fx.game + "/StaticMeshes");
    std::filesystem::remove_all(fx.game + "/Animations");
    const std::string mod = fx.dir / "Three.umod";
    writeFile(mod, makeUmod({{"STATICMESHES\\Rock.usx", "rock"},
                             {"animations\\Walk.ukx", "walk"},
                             {"Maps\\DM-Late.ut2", "late"}}));
    auto package = loadUmod(mod, nullptr);
    ASSERT_TRUE(package);
    struct Recorder : InstallRecorder {
        std::vector<std::string> confirmed;
        bool pending(const std::string&, std::string*) override { return true; }
        void written(const std::string& path, uint64_t size, const std::string& hash) override {
            confirmed.push_back(path + " " + std::to_string(size) + " " + hash);
        }
        void withdrawn(const std::string&) override {}
    } recorder;
    std::vector<std::string> lines;
    size_t reported = 0;
    WorkSink sink;
    sink.statusLine = [&](const std::string& l) { lines.push_back(l); };
    sink.progress = [&](size_t done, size_t total) {
        EXPECT_EQ(total, 3u);
        reported = done;
    };
    sink.stopRequested = [&] { return reported == 2; };
    const auto r = installUmod(*package, fx.game, fx.program, sink, recorder);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.installed, 2u);
    EXPECT_EQ(tvtest::readFile(fx.game + "/StaticMeshes/Rock.usx"), "rock");
    EXPECT_EQ(tvtest::readFile(fx.game + "/Animations/Walk.ukx"), "walk");
    EXPECT_FALSE(tvtest::exists(fx.game + "/STATICMESHES"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Late.ut2"));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Created folder " + fx.game + "/StaticMeshes"),
              lines.end());
    EXPECT_EQ(lines.back(), "Stopped after 2 of 3");
    // The log holds what the Status list was told, the folder made too.
    EXPECT_NE(tvtest::readFile(fx.program + "/Tessvane.log")
                  .find("Created folder " + fx.game + "/StaticMeshes"),
              std::string::npos);
    const std::string rock = fx.game + "/StaticMeshes/Rock.usx";
    ASSERT_EQ(recorder.confirmed.size(), 2u);
    EXPECT_EQ(recorder.confirmed[0], rock + " 4 " + fileHash(rock).value_or("?"));

    // A folder that is there in another letter case is used as it is.
    std::filesystem::create_directories(fx.game + "/Help/ModDocs");
    writeFile(fx.dir / "docs.umod", makeUmod({{"help\\MODDOCS\\ReadMe.txt", "docs"}}));
    EXPECT_EQ(tvtest::runCli(fx, "zip " + (fx.dir / "docs.umod")).status, 0);
    EXPECT_EQ(tvtest::readFile(fx.game + "/Help/ModDocs/ReadMe.txt"), "docs");
    // The move options do not steer an installer: asking for them is a usage error.
    for (const char* to : {"--to ", "--to-structured "}) {
        const auto r = tvtest::runCli(fx, "zip " + std::string(to) + (fx.dir / "x") + " " +
                                              (fx.dir / "docs.umod"));
        EXPECT_EQ(r.status, 2) << to;
        EXPECT_NE(r.err.find("do not apply to UMOD installers"), std::string::npos) << r.err;
    }
}

TEST(InstallUndo, AnInstallationIsTakenBackWhereItsFilesAreUnchanged) {
    ModFixture m;
    const std::string& game = m.fx.game;
    // The player had this texture already: the archive's copy is the same,
    // so it is not the archive's to take back.
    writeFile(game + "/Textures/HadTex.utx", "had it");
    const std::string zip = m.fx.dir / "DM-Zipped.zip";
    tvtest::makeZip(zip, {{"DM-Zipped.ut2", "zipped map"}, {"HadTex.utx", "had it"}});
    ASSERT_EQ(tvtest::runCli(m.fx, "zip " + m.mod).status, 0);
    ASSERT_EQ(tvtest::runCli(m.fx, "zip " + zip).status, 0);
    auto r = tvtest::runCli(m.fx, "undo --list");
    EXPECT_NE(r.out.find("\t" + game + "/Maps/DM-Foo.ut2\tinstalled from " + m.mod + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\t" + game + "/Maps/DM-Zipped.ut2\tinstalled from " + zip + "\n"),
              std::string::npos);
    // One file alone.
    r = tvtest::runCli(m.fx, "undo --yes " + game + "/Maps/DM-Zipped.ut2");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Zipped.ut2"));
    // A file that cannot be deleted keeps its record.
    {
        tvtest::ReadOnly locked(game + "/Help/Foo");
        if (!locked.skipped()) {
            r = tvtest::runCli(m.fx, "undo --yes " + game + "/Help/Foo/" + m.longName);
            EXPECT_EQ(r.status, 3) << r.out;
            EXPECT_NE(tvtest::runCli(m.fx, "undo --list").out.find(m.longName), std::string::npos);
        }
    }
    // The rest; the player changed one file since (its size kept): it stays, and is said.
    const std::string own = ModFixture::changedCopy(tvtest::makePackage(7, "foo code"));
    writeFile(game + "/System/Foo.u", own);
    std::filesystem::remove(game + "/Help/Foo/ReadMe.txt"); // gone already
    r = tvtest::runCli(m.fx, "undo --yes --all");
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("Not undone: " + game +
                         "/System/Foo.u (installed from FooMod.ut4mod) "
                         "was changed since it was installed; it stays"),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(game + "/Help/Foo/ReadMe.txt (installed from FooMod.ut4mod) is gone already"),
        std::string::npos);
    EXPECT_EQ(tvtest::readFile(game + "/System/Foo.u"), own);
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Foo.ut2"));
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Big.ut2"));
    EXPECT_FALSE(tvtest::exists(game + "/Textures/FooTex.utx"));
    EXPECT_FALSE(tvtest::exists(game + "/Help/Foo/" + m.longName));
    // What the player had before stays: it was never the installations'.
    EXPECT_EQ(tvtest::readFile(game + "/Music/FooSong.ogg"), "song");
    EXPECT_EQ(tvtest::readFile(game + "/Textures/HadTex.utx"), "had it");
    // Only the changed file keeps its record; asking for a path without one is said.
    r = tvtest::runCli(m.fx, "undo --list");
    EXPECT_EQ(tv::splitLines(r.out).size(), 1u) << r.out;
    EXPECT_NE(r.out.find("/System/Foo.u\tinstalled from"), std::string::npos) << r.out;
}

TEST(InstallUndo, AnInstallationKilledPartWayCanBeTakenBackAndLeavesNoHalfFile) {
    GameFixture fx;
    const std::string& game = fx.game;
    const std::string mod = fx.dir / "Big.umod", big(2 << 20, 'b');
    writeFile(mod, makeUmod({{"Maps\\DM-Small.ut2", "small map"}, {"Textures\\Big.utx", big}}));
    // Killed by the file size limit while writing the second file.
    auto r = tvtest::runCli(fx, "zip " + mod, "", "ulimit -f 1024;");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(tvtest::exists(game + "/Maps/DM-Small.ut2"));
    EXPECT_FALSE(tvtest::exists(game + "/Textures/Big.utx"));
    EXPECT_NE(tvtest::runCli(fx, "undo --list").out.find("/Maps/DM-Small.ut2\tinstalled from"),
              std::string::npos);
    // The next installation clears the half-written file and finishes.
    r = tvtest::runCli(fx, "zip " + mod);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(tvtest::leftoverFiles(fx.dir.path()), std::vector<std::string>{});
    EXPECT_TRUE(tvtest::readFile(game + "/Textures/Big.utx") == big);

    // Killed after a file was written, before it was recorded as whole.
    const std::string other = fx.dir / "Other.umod";
    writeFile(other, makeUmod({{"Maps\\DM-Other.ut2", "other"}, {"Maps\\DM-Two.ut2", "two"}}));
    r = tvtest::runCli(fx, "zip " + other, "TESSVANE_CRASH_AFTER=1");
    EXPECT_EQ(r.status, tv::kCrashExitStatus) << r.out << r.err;
    EXPECT_TRUE(tvtest::exists(game + "/Maps/DM-Other.ut2"));
    // Every file written is taken back.
    r = tvtest::runCli(fx, "undo --yes --all");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* gone : {"/Maps/DM-Small.ut2", "/Textures/Big.utx", "/Maps/DM-Other.ut2"})
        EXPECT_FALSE(tvtest::exists(game + gone)) << gone;
    EXPECT_EQ(tvtest::runCli(fx, "undo --list").out, "");

    // Killed after 8, 20 or 32 of 40 files: the second installation finishes
    // and every one of the 40 can be taken back (none counted as the
    // player's own for having been there already).
    std::vector<std::pair<std::string, std::string>> forty;
    for (int i = 0; i < 40; ++i)
        forty.push_back({"Maps\\DM-K" + std::to_string(i) + ".ut2", "map " + std::to_string(i)});
    const std::string many = fx.dir / "Forty.umod";
    writeFile(many, makeUmod(forty));
    for (int killedAfter : {8, 20, 32}) {
        r = tvtest::runCli(fx, "zip " + many,
                           "TESSVANE_CRASH_AFTER=" + std::to_string(killedAfter));
        EXPECT_EQ(r.status, tv::kCrashExitStatus) << killedAfter;
        ASSERT_EQ(tvtest::runCli(fx, "zip " + many).status, 0) << killedAfter;
        r = tvtest::runCli(fx, "undo --yes --all");
        EXPECT_EQ(r.status, 0) << killedAfter << r.out;
        for (int i = 0; i < 40; ++i)
            EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-K" + std::to_string(i) + ".ut2"))
                << killedAfter << " " << i;
        EXPECT_EQ(tvtest::runCli(fx, "undo --list").out, "") << killedAfter;
    }
}

// An undo log edited by hand (or a folder swapped for a link) never makes a
// take-back delete outside the folders installations write into.
TEST(InstallUndo, TakingBackNeverDeletesOutsideTheGamesFolders) {
    GameFixture fx;
    const std::string& game = fx.game;
    const std::string mod = fx.dir / "Mod.umod";
    writeFile(mod, makeUmod({{"Maps\\DM-Mine.ut2", "mine"},
                             {"Help\\Mod\\Read.txt", "read"},
                             {"Help\\Own\\Note.txt", "note"}}));
    ASSERT_EQ(tvtest::runCli(fx, "zip " + mod).status, 0);
    // Files elsewhere, named by added records with their right sizes and hashes.
    std::filesystem::create_directories(fx.dir / "outside/sub");
    const std::string outside = fx.dir / "outside/x.ut2";
    writeFile(outside, "precious");
    writeFile(fx.dir / "outside/sub/Note.txt", "note");
    const std::string dotted = game + "/Maps/../../outside/x.ut2";
    ASSERT_EQ(std::filesystem::weakly_canonical(dotted).string(), outside);
    const std::string atRoot = game + "/Top.ut2";
    writeFile(atRoot, "precious");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((fx.program + "/tessvane.mdb").c_str(), &db), SQLITE_OK);
        for (const std::string& path : {outside, dotted, atRoot}) {
            const std::string sql = "INSERT INTO InstalledFiles (Install, Path, Size, Hash) "
                                    "SELECT MIN(Id), '" +
                                    path + "', 8, '" + fileHash(outside).value() +
                                    "' FROM Installs";
            EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        sqlite3_close(db);
    }
    // A folder the installer made, swapped for a link to another place.
    std::filesystem::rename(game + "/Help/Own", fx.dir / "own-was");
    std::filesystem::create_directory_symlink(fx.dir / "outside/sub", game + "/Help/Own");

    const auto r = tvtest::runCli(fx, "undo --yes --all");
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_EQ(tvtest::readFile(outside), "precious");
    EXPECT_EQ(tvtest::readFile(atRoot), "precious");
    EXPECT_EQ(tvtest::readFile(fx.dir / "outside/sub/Note.txt"), "note");
    for (const std::string& said :
         {outside + " is not in a folder Tessvane installs into", dotted + " is not a whole path",
          atRoot + " is not in a folder Tessvane installs into",
          game + "/Help/Own/Note.txt lies through a link (" + game + "/Help/Own)"})
        EXPECT_NE(r.out.find("Not undone: " + said), std::string::npos) << said << "\n" << r.out;
    // What the installer put in its own places went as ever.
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Mine.ut2"));
    EXPECT_FALSE(tvtest::exists(game + "/Help/Mod/Read.txt"));
}

TEST(InstallUndo, EmptyingTheUndoLogForgetsInstallationsToo) {
    ModFixture m;
    ASSERT_EQ(tvtest::runCli(m.fx, "zip " + m.mod).status, 0);
    ASSERT_NE(tvtest::runCli(m.fx, "undo --list").out.find("installed from"), std::string::npos);
    ASSERT_EQ(tvtest::runCli(m.fx, "empty-undo --yes").status, 0);
    EXPECT_EQ(tvtest::runCli(m.fx, "undo --list").out.find("installed from"), std::string::npos);
    EXPECT_TRUE(tvtest::exists(m.fx.game + "/Maps/DM-Foo.ut2")); // the files stay
}

TEST(Refusals, UmodInstallTakeBackAndRepairWaitForTheGameAndTheLock) {
    ModFixture m;
    const std::string& game = m.fx.game;
    auto r = tvtest::runCli(m.fx, "zip " + m.mod);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string other = m.fx.dir / "Other.umod";
    writeFile(other, makeUmod({{"Maps\\DM-Other.ut2", "other"}}));
    // An index line without its extension: a scan repairs it when it may.
    const std::string line = tvtest::ident(3) + "=DM-NoExt";
    m.fx.addCacheFile(tvtest::ident(3) + ".uxx", "map");
    m.fx.writeCacheIni({line});
    const std::string index = tvtest::readFile(m.fx.cache + "/Cache.ini");

    const std::string running =
        "UT2003 is running (pid 4242, ut2003-bin). Close the game first, then try again.";
    writeFile(m.fx.proc + "/4242/comm", "ut2003-bin\n");
    r = tvtest::runCli(m.fx, "zip " + other);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(running), std::string::npos) << r.err;
    r = tvtest::runCli(m.fx, "undo --yes --all");
    EXPECT_EQ(r.status, 3);
    r = tvtest::runCli(m.fx, "scan");
    EXPECT_NE((r.out + r.err).find(running), std::string::npos) << r.out << r.err;
    EXPECT_EQ(tvtest::readFile(m.fx.cache + "/Cache.ini"), index);
    // The game's .tmp files may be a download under way.
    writeFile(game + "/Download.tmp", "part");
    EXPECT_EQ(tvtest::runCli(m.fx, "clean-tmp").status, 3);
    EXPECT_TRUE(tvtest::exists(game + "/Download.tmp"));

    // Another Tessvane at work: nothing starts either.
    std::filesystem::remove_all(m.fx.proc + "/4242");
    const int fd =
        ::open((m.fx.program + "/tessvane.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(tvtest::runCli(m.fx, "zip " + other).status, 3);
    EXPECT_EQ(tvtest::runCli(m.fx, "undo --yes --all").status, 3);
    tvtest::runCli(m.fx, "scan");
    EXPECT_EQ(tvtest::readFile(m.fx.cache + "/Cache.ini"), index);
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Other.ut2"));
    EXPECT_TRUE(tvtest::exists(game + "/Maps/DM-Foo.ut2"));
    ::close(fd);

    // Free again: each goes ahead.
    EXPECT_EQ(tvtest::runCli(m.fx, "zip " + other).status, 0);
    EXPECT_EQ(tvtest::runCli(m.fx, "undo --yes --all").status, 0);
    EXPECT_FALSE(tvtest::exists(game + "/Maps/DM-Foo.ut2"));
    tvtest::runCli(m.fx, "scan");
    EXPECT_NE(tvtest::readFile(m.fx.cache + "/Cache.ini").find(line + ".UT2"), std::string::npos);
}
