#include "test_support.h"

#include "formats/zip_archive.h"
#include "platform/cfile.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <vector>
#include <zip.h>

using namespace tv;
using tvtest::TempDir;

TEST(Move, NeverReplacesAnExistingFile) {
    TempDir t;
    tvtest::writeFile(t / "a", "new");
    tvtest::writeFile(t / "b", "old");
    std::string error;
    EXPECT_FALSE(moveNoReplace(t / "a", t / "b", &error));
    EXPECT_NE(error.find("exists"), std::string::npos);
    EXPECT_EQ(tvtest::readFile(t / "a"), "new");
    EXPECT_EQ(tvtest::readFile(t / "b"), "old");
    EXPECT_TRUE(moveNoReplace(t / "a", t / "c"));
    EXPECT_FALSE(tvtest::exists(t / "a"));
    EXPECT_EQ(tvtest::readFile(t / "c"), "new");
    EXPECT_FALSE(moveNoReplace(t / "c", t / "missing-folder/c"));
    EXPECT_EQ(tvtest::readFile(t / "c"), "new");
}

TEST(Move, ADestinationThatAppearsDuringACopyToAnotherFileSystemIsKept) {
    struct stat shm {
    }, tmp{};
    TempDir t;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(t.path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system here";
    std::string other = "/dev/shm/" + std::filesystem::path(t.path()).filename().string();
    std::filesystem::create_directories(other);
    tvtest::writeFile(t / "pkg", "package");
    // Another program puts a file of that name there between the copy and its linking.
    setStepHook([&](const char* step) {
        if (std::string(step) == "copy synced") tvtest::writeFile(other + "/pkg", "player's");
    });
    std::string error;
    int code = 0;
    EXPECT_FALSE(moveNoReplace(t / "pkg", other + "/pkg", &error, &code));
    setStepHook({});
    EXPECT_EQ(code, EEXIST);
    EXPECT_EQ(tvtest::readFile(t / "pkg"), "package");
    EXPECT_EQ(tvtest::readFile(other + "/pkg"), "player's");
    EXPECT_EQ(tvtest::leftoverFiles(other), std::vector<std::string>{});
    // Without it the move goes through, and the source goes only after the copy has its name.
    std::vector<std::string> steps;
    setStepHook([&](const char* step) {
        steps.push_back(step);
        if (std::string(step) == "copy in place") {
            EXPECT_EQ(tvtest::readFile(other + "/pkg2"), "package");
            EXPECT_TRUE(tvtest::exists(t / "pkg"));
        }
    });
    // Dated as it was: a download of last March stays one of last March.
    const auto march = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 280);
    std::filesystem::last_write_time(t / "pkg", march);
    EXPECT_TRUE(moveNoReplace(t / "pkg", other + "/pkg2", &error)) << error;
    setStepHook({});
    EXPECT_EQ(std::filesystem::last_write_time(other + "/pkg2"), march);
    EXPECT_EQ(steps, (std::vector<std::string>{"copy written", "copy synced", "copy in place",
                                               "source removed"}));
    EXPECT_FALSE(tvtest::exists(t / "pkg"));
    std::filesystem::remove_all(other);
}

// The folder snapshot the run plans with: the exact spelling wins over
// another case of the same name, Latin-1 letters fold too, and only regular
// files (or links to them) count as files.
TEST(FolderSnapshot, FindsNamesExactlyThenIgnoringCaseAndKnowsFiles) {
    TempDir t;
    tvtest::writeFile(t / "Map.ut2", "a");
    tvtest::writeFile(t / "MAP.ut2", "b");
    tvtest::writeFile(t / "\xE9t\xE9.utx", "c"); // été in Latin-1
    tvtest::writeFile(t / "CTF-Caf\xE9"
                          "DesArtistes-\xFEorn.ut2",
                      "d"); // past eight bytes
    std::filesystem::create_directories(t / "Folder.u");
    std::filesystem::create_symlink(t / "Map.ut2", t / "Link.ut2");
    std::filesystem::create_symlink(t / "nowhere", t / "Dangling.ut2");
    FolderIndex index(t.path());
    EXPECT_EQ(index.find("Map.ut2"), "Map.ut2");
    EXPECT_EQ(index.find("MAP.ut2"), "MAP.ut2");
    auto folded = index.find("map.UT2");
    ASSERT_TRUE(folded);
    EXPECT_TRUE(*folded == "Map.ut2" || *folded == "MAP.ut2");
    EXPECT_EQ(index.find("\xC9T\xC9.UTX"), "\xE9t\xE9.utx");
    EXPECT_EQ(index.find("ctf-caf\xC9"
                         "desartistes-\xDEORN.UT2"),
              "CTF-Caf\xE9"
              "DesArtistes-\xFEorn.ut2");
    EXPECT_FALSE(index.find("ctf-caf\xC9"
                            "desartistes-\xDEORN.UT"));
    EXPECT_FALSE(index.find("Map.ut"));
    EXPECT_TRUE(index.containsNoCase("FOLDER.U"));
    EXPECT_TRUE(index.isFile("Map.ut2"));
    EXPECT_TRUE(index.isFile("Link.ut2"));
    EXPECT_FALSE(index.isFile("Folder.u"));
    EXPECT_FALSE(index.isFile("Dangling.ut2"));
    EXPECT_FALSE(index.isFile("map.ut2")); // an actual name is asked for

    index.insert("New.ogg"); // came after the snapshot, not yet on the disk
    EXPECT_EQ(index.find("new.OGG"), "New.ogg");
    EXPECT_FALSE(index.isFile("New.ogg"));
    tvtest::writeFile(t / "New.ogg", "d");
    EXPECT_TRUE(index.isFile("New.ogg"));
}

TEST(CFileClass, ChecksInOrderAndRaisesNumberedErrors) {
    TempDir t;
    CFile f;
    auto number = [](auto&& call) {
        try {
            call();
        } catch (const ComponentError& e) {
            return e.number();
        }
        return 0u;
    };
    EXPECT_EQ(number([&] { (void)f.Size(); }), 0x8004440Du);
    EXPECT_EQ(number([&] { f.Init(""); }), 0x8004440Eu);
    f.Init(t / "missing.ut2");
    EXPECT_EQ(number([&] { f.Copy(""); }), 0x8004440Eu); // the argument before the file
    EXPECT_EQ(number([&] { f.Copy(t / "x"); }), 0x8004440Fu);
    EXPECT_EQ(number([&] { (void)f.Size(); }), 0x8004440Fu);
    try {
        f.Delete();
        ADD_FAILURE() << "deleting a missing file raised no error";
    } catch (const ComponentError& e) {
        EXPECT_STREQ(e.what(), "File not found");
        EXPECT_EQ(e.source(), programName() + ".CFile");
    }
}

TEST(CFileClass, NamePartsContentsCopyAndCompare) {
    TempDir t;
    CFile f;
    f.Init("/maps/DM-Room.ut2");
    EXPECT_EQ(f.FileExt(), "ut2");
    EXPECT_EQ(f.FileName(), "DM-Room.ut2");
    EXPECT_EQ(f.FilePath(), "/maps");
    f.Init("/maps/README");
    EXPECT_EQ(f.FileExt(), "");

    f.Init(t / "a.txt");
    f.Contents("abc");
    EXPECT_EQ(f.Contents(), "\r\nabc");
    EXPECT_EQ(f.Size(), 5);
    tvtest::writeFile(t / "b.txt", "something else entirely");
    f.Copy(t / "b.txt");
    EXPECT_EQ(tvtest::readFile(t / "b.txt"), "abc\r\n");
    EXPECT_TRUE(f.IdenticalWith(t / "b.txt"));
    tvtest::writeFile(t / "c.txt", "abd\r\n");
    EXPECT_FALSE(f.IdenticalWith(t / "c.txt"));
    tvtest::writeFile(t / "d.txt", "abc\r\nx");
    EXPECT_FALSE(f.IdenticalWith(t / "d.txt"));
    // Larger than one compare block, differing in the last byte.
    std::string big(40000, 'z');
    tvtest::writeFile(t / "e", big);
    big.back() = 'y';
    tvtest::writeFile(t / "f", big);
    CFile e;
    e.Init(t / "e");
    EXPECT_FALSE(e.IdenticalWith(t / "f"));
    e.Move(t / "g");
    EXPECT_EQ(e.PathFileName(), t / "e");
    EXPECT_TRUE(tvtest::exists(t / "g"));
}

TEST(Wildcards, MatchLikeTheWindowsFileFunctions) {
    EXPECT_TRUE(wildcardMatch("*.*", "Cache.ini"));
    EXPECT_TRUE(wildcardMatch("*.*", "noextension"));
    EXPECT_TRUE(wildcardMatch("*.zip", "TESSVANEBAK.ZIP"));
    EXPECT_FALSE(wildcardMatch("*.zip", "a.zipx"));
    EXPECT_TRUE(wildcardMatch("*.ut2", "DM-Deck17.UT2"));
    EXPECT_TRUE(wildcardMatch("DM-?ck*", "DM-Ack17.ut2"));
}

// Every byte below 0x20 and DEL, wherever it stands in a line, is shown as
// \xNN; every other byte (0x20, 0x7E, Latin-1, UTF-8) is kept.
TEST(Escaping, EachControlCharacterAtAnyPlaceAndNothingElse) {
    const std::string plain = "Abcdefghijklmnopqrstuvwxyz \x80\x9F\xC3\xA9\xFF~0123456789";
    EXPECT_FALSE(hasControls(plain));
    EXPECT_EQ(escapeControls(plain), plain);
    for (int c = 0; c < 0x100; ++c) {
        const bool control = c < 0x20 || c == 0x7F;
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        for (size_t at : {size_t{0}, size_t{7}, size_t{8}, size_t{15}, plain.size()}) {
            std::string line = plain;
            line.insert(at, 1, static_cast<char>(c));
            ASSERT_EQ(hasControls(line), control) << c << " at " << at;
            std::string shown = plain;
            shown.insert(at, control ? std::string(hex) : std::string(1, static_cast<char>(c)));
            ASSERT_EQ(escapeControls(line), shown) << c << " at " << at;
        }
    }
}

using tvtest::makeZip;

TEST(Zip, CompressLeavesOutExcludedFilesAndFolders) {
    TempDir t;
    tvtest::writeFile(t / "src/Cache.ini", "[Cache]\r\n");
    tvtest::writeFile(t / "src/A.uxx", "aaa");
    tvtest::writeFile(t / "src/old.ZIP", "zzz");
    tvtest::writeFile(t / "src/sub/inner.uxx", "iii");
    ZipArchive z;
    z.IncludeMask = "*.*";
    z.ExcludeMask = "*.zip";
    z.SourceFolder = t / "src/";
    z.ArchiveName = t / "src/backup.zip";
    ASSERT_TRUE(z.Compress()) << z.lastError();
    std::vector<std::string> names;
    ZipArchive list;
    list.ArchiveName = z.ArchiveName;
    list.FileListed = [&](const std::string& n) { names.push_back(n); };
    ASSERT_TRUE(list.ListContents());
    EXPECT_EQ(names, (std::vector<std::string>{"A.uxx", "Cache.ini"}));
}

TEST(Zip, ExtractUsesFileNamesOnlyAndNeverReplaces) {
    TempDir t;
    makeZip(t / "map.zip", {{"Maps/DM-New.ut2", "map"},
                            {"../../evil.ut2", "evil"},
                            {"Textures/", ""},
                            {"readme.txt", "new text"},
                            {"Keep.ut2", "new keep"}});
    std::filesystem::create_directories(t / "out");
    tvtest::writeFile(t / "out/keep.UT2", "old keep");
    ZipArchive z;
    z.ArchiveName = t / "map.zip";
    z.ExtractFolder = t / "out";
    z.IncludeMask = "*.ut2";
    ASSERT_TRUE(z.Extract()) << z.lastError();
    EXPECT_EQ(tvtest::readFile(t / "out/DM-New.ut2"), "map");
    // A path that climbs out is no member of the archive's own.
    EXPECT_FALSE(tvtest::exists(t / "out/evil.ut2"));
    EXPECT_FALSE(tvtest::exists(t / "evil.ut2"));
    EXPECT_FALSE(tvtest::exists(t / "out/readme.txt"));
    EXPECT_FALSE(tvtest::exists(t / "out/Keep.ut2"));
    EXPECT_EQ(tvtest::readFile(t / "out/keep.UT2"), "old keep");
}

TEST(Zip, MemberFileNames) {
    EXPECT_EQ(memberFileName("Maps/DM-New.ut2"), "DM-New.ut2");
    EXPECT_EQ(memberFileName("Maps\\DM-Back.ut2"), "DM-Back.ut2");
    EXPECT_EQ(memberFileName("DM-Top.UT2"), "DM-Top.UT2");
    for (const char* refused : {"../../x.ut2", "/etc/x.ut2", "\\x.ut2", "C:\\x.ut2", "a/../x.ut2",
                                "Maps/", "..", ".", "__MACOSX/DM-New.ut2", "Maps/._DM-New.ut2", ""})
        EXPECT_EQ(memberFileName(refused), std::nullopt) << refused;
}

TEST(Zip, CorruptArchiveIsAnErrorNotACrash) {
    TempDir t;
    tvtest::writeFile(t / "bad.zip", "PK\x03\x04 this is not really a zip archive");
    ZipArchive z;
    z.ArchiveName = t / "bad.zip";
    z.ExtractFolder = t.path();
    int listed = 0;
    z.FileListed = [&](const std::string&) { ++listed; };
    EXPECT_FALSE(z.ListContents());
    EXPECT_FALSE(z.Extract());
    EXPECT_FALSE(z.lastError().empty());
    EXPECT_EQ(listed, 0);
}
