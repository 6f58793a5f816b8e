// Hostile map archives: only what is installed is unpacked, and only when it
// fits; a member larger than it declared, a name with a line break and the
// folders of killed installations are dealt with.
#include "run_support.h"

#include "archives/map_archive.h"
#include "formats/zip_archive.h"
#include "platform/temp_folder.h"
#include "platform/text_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tv;
using tvtest::makeZip;
using tvtest::SessionFixture;
using tvtest::TempDir;

namespace {

// Names in a folder, the lock file of its owner left out.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename() != ".lock") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// $TMPDIR for the test's length: the installer's private folders go there.
class TemporaryFolderHere {
public:
    explicit TemporaryFolderHere(const std::string& folder) {
        if (const char* old = std::getenv("TMPDIR")) m_old = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderHere() {
        if (m_old.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

// The archive's bytes with every declared uncompressed size of `member`
// (local header and central directory) set to `size`.
std::string withDeclaredSize(std::string zip, const std::string& member, uint32_t size) {
    auto put32 = [&](size_t at) {
        for (int i = 0; i < 4; ++i)
            zip[at + static_cast<size_t>(i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
    };
    for (size_t at = 0; (at = zip.find(member, at)) != std::string::npos; at += member.size()) {
        if (at >= 30 && zip.compare(at - 30, 4, "PK\x03\x04") == 0) put32(at - 30 + 22);
        if (at >= 46 && zip.compare(at - 46, 4, "PK\x01\x02") == 0) put32(at - 46 + 24);
    }
    return zip;
}

} // namespace

TEST(ArchiveBounds, OnlyWhatIsInstalledOrPreviewedIsUnpacked) {
    SessionFixture s;
    TempDir temp;
    TemporaryFolderHere here(temp.path());
    const std::string big(1 << 20, 'x');
    const std::string archive = s.fx.dir / "map.zip";
    makeZip(archive, {{"DM-A.ut2", "map"},
                      {"Tex.utx", "tex"},
                      {"readme.txt", "About"},
                      {"shot.png", "png"},
                      {"second.png", "png"},
                      {"padding.bin", big},
                      {"notes.doc", big},
                      {"Maps/DM-B.ut2", "map b"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Previewed);
    // Every member the game reads, the description and the first picture;
    // the second picture and the unknown kinds stay in the archive.
    EXPECT_EQ(
        namesIn(s.session.archives().extractFolder()),
        (std::vector<std::string>{"DM-A.ut2", "DM-B.ut2", "Tex.utx", "readme.txt", "shot.png"}));

    s.session.changeSettings([&](tv::Settings& st) { st.unzipNoPreview = true; });
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Installed);
    EXPECT_EQ(namesIn(s.session.archives().extractFolder()),
              (std::vector<std::string>{"DM-A.ut2", "DM-B.ut2"}));
    EXPECT_TRUE(tvtest::exists(s.fx.game + "/Maps/DM-A.ut2"));
}

TEST(ArchiveBounds, AnArchiveThatDoesNotFitIsNotUnpacked) {
    SessionFixture s;
    TempDir temp;
    TemporaryFolderHere here(temp.path());
    const std::string archive = s.fx.dir / "huge.zip";
    makeZip(archive, {{"DM-Huge.ut2", std::string(3 << 20, '\0')}});
    s.session.setFreeSpaceProbe([](const std::string&) { return uint64_t{1} << 20; });
    for (bool several : {false, true}) {
        s.prompter.shown.clear();
        EXPECT_EQ(s.load(s.session.loadZipArchive(archive, several)),
                  MapArchiveInstaller::Load::Unreadable);
        ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
        EXPECT_EQ(s.prompter.messageTexts()[0].rfind(
                      "Not enough room in " + temp.path() + "/tessvane-zip-", 0),
                  0u)
            << s.prompter.messageTexts()[0];
        EXPECT_NE(s.prompter.messageTexts()[0].find(" to unpack " + archive + " (needs 20 MB)."),
                  std::string::npos)
            << s.prompter.messageTexts()[0];
        EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/DM-Huge.ut2"));
        EXPECT_FALSE(s.session.archives().loaded());
    }
    EXPECT_TRUE(namesIn(temp.path()).empty()); // no folder, no part of a file
}

TEST(ArchiveBounds, AMemberLargerThanItDeclaresStopsTheInstallation) {
    SessionFixture s;
    TempDir temp;
    TemporaryFolderHere here(temp.path());
    const std::string made = s.fx.dir / "made.zip";
    makeZip(made, {{"DM-Liar.ut2", std::string(200000, 'a')}});
    const std::string archive = s.fx.dir / "liar.zip";
    tvtest::writeFile(archive, withDeclaredSize(tvtest::readFile(made), "DM-Liar.ut2", 1000));
    for (bool several : {false, true}) {
        s.prompter.shown.clear();
        EXPECT_EQ(s.load(s.session.loadZipArchive(archive, several)),
                  MapArchiveInstaller::Load::Unreadable);
        ASSERT_EQ(s.prompter.messageTexts().size(), 1u);
        EXPECT_NE(s.prompter.messageTexts()[0].find("DM-Liar.ut2"), std::string::npos)
            << s.prompter.messageTexts()[0];
        EXPECT_FALSE(tvtest::exists(s.fx.game + "/Maps/DM-Liar.ut2"));
    }
    EXPECT_TRUE(namesIn(temp.path()).empty());
}

TEST(ArchiveBounds, NamesWithControlCharactersArePassedOverAndLogLinesStayWhole) {
    for (const char* name : {"DM-A\r\n**OLD** x  ---->  **NEW** y.ut2", "DM-\x1b]0;t\x07.ut2",
                             "Maps/D\tM.ut2", "DM-\x7f.ut2"})
        EXPECT_EQ(memberFileName(name), std::nullopt) << name;

    SessionFixture s;
    TempDir temp;
    TemporaryFolderHere here(temp.path());
    const std::string archive = s.fx.dir / "forged.zip";
    makeZip(archive, {{"DM-Real.ut2", "map"}, {"DM-Forged\r\nA new CACHE.INI.ut2", "x"}});
    s.session.changeSettings([&](tv::Settings& st) { st.unzipNoPreview = true; });
    ASSERT_EQ(s.load(s.session.loadZipArchive(archive, false)),
              MapArchiveInstaller::Load::Installed);
    EXPECT_EQ(namesIn(s.fx.game + "/Maps"), std::vector<std::string>{"DM-Real.ut2"});

    // A name from Cache.ini with a control character is shown escaped.
    s.fx.writeCacheIni({s.fx.addEntry(1, "Odd\x1b[2J.ut2")});
    s.session.changeSettings([&](tv::Settings& st) { st.unzipNoPreview = false; });
    s.session.ScanCache();
    ASSERT_TRUE(s.run());
    bool listed = false;
    for (const auto& line : s.session.statusList()) {
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
        listed = listed || line.find("Odd\\x1B[2J.ut2") != std::string::npos;
    }
    EXPECT_TRUE(listed);
    const std::string log = tvtest::readFile(s.fx.program + "/Tessvane.log");
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_NE(log.find("Odd\\x1B[2J.ut2"), std::string::npos);
}

TEST(ArchiveBounds, FoldersOfKilledInstallationsAreRemoved) {
    SessionFixture s; // its own folders are made before $TMPDIR points elsewhere
    TempDir temp;
    TemporaryFolderHere here(temp.path());
    // Left by a killed installation: its lock file is there, nobody holds it.
    fs::create_directories(temp / "tessvane-zip-dead01/sub");
    tvtest::writeFile(temp / "tessvane-zip-dead01/.lock", "");
    tvtest::writeFile(temp / "tessvane-zip-dead01/sub/DM-Big.ut2", "left");
    // Another program's folder in use: its lock is held.
    fs::create_directories(temp / "tessvane-zip-live01");
    tvtest::writeFile(temp / "tessvane-zip-live01/.lock", "");
    int held = ::open((temp / "tessvane-zip-live01/.lock").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // A folder without a lock: left alone while it is new, removed once old.
    fs::create_directories(temp / "tessvane-zip-young1");
    fs::create_directories(temp / "tessvane-zip-olden1");
    tvtest::setModified(temp / "tessvane-zip-olden1", std::time(nullptr) - 7200);
    fs::create_directories(temp / "other-zip-dead01");
    tvtest::writeFile(temp / "other-zip-dead01/.lock", "");

    makeZip(s.fx.dir / "map.zip", {{"DM-A.ut2", "map"}});
    ASSERT_EQ(s.load(s.session.loadZipArchive(s.fx.dir / "map.zip", false)),
              MapArchiveInstaller::Load::Previewed);
    const std::string mine = fs::path(s.session.archives().extractFolder()).filename().string();
    std::vector<std::string> expected = {"other-zip-dead01", mine, "tessvane-zip-live01",
                                         "tessvane-zip-young1"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(temp.path()), expected);
    // Our own folder in use is not taken for a dead one.
    EXPECT_EQ(TempFolder::removeAbandoned("tessvane-zip"), 0);
    EXPECT_TRUE(fs::exists(s.session.archives().extractFolder()));

    // A new folder's ".lock" is held from the moment it has that name: the
    // lock is taken under another name first, so another program cleaning
    // up at that moment never finds it free.
    {
        TempFolder fresh("tessvane-zip");
        ASSERT_TRUE(fresh.valid());
        EXPECT_FALSE(fs::exists(fresh.path() + "/.lock-new"));
        int probe = ::open((fresh.path() + "/.lock").c_str(), O_RDONLY);
        ASSERT_GE(probe, 0);
        EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
        ::close(probe);
        // While the lock still has its first name, the young folder is kept.
        fs::rename(fresh.path() + "/.lock", fresh.path() + "/.lock-new");
        EXPECT_EQ(TempFolder::removeAbandoned("tessvane-zip"), 0);
        EXPECT_TRUE(fs::exists(fresh.path()));
        fs::rename(fresh.path() + "/.lock-new", fresh.path() + "/.lock");
    }
    ::close(held);
}
