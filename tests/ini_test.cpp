#include "test_support.h"

#include "formats/ini.h"
#include "recording_prompter.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tv;
using tvtest::TempDir;

TEST(IniRead, SectionAndKeyIgnoreCaseAndValuesAreTrimmed) {
    TempDir t;
    std::string f = t / "UT2003.ini";
    tvtest::writeFile(f, "[URL]\r\nName=wrong\r\n[Core.System]\r\n  purgecachedays =  45  \r\n"
                         "Quoted=\"a b\"\r\n[DefaultPlayer]\nName=Player One\n");
    EXPECT_EQ(INIGetSettingString("CORE.SYSTEM", "PurgeCacheDays", f, ""), "45");
    EXPECT_EQ(INIGetSettingString("Core.System", "Quoted", f, ""), "a b");
    EXPECT_EQ(INIGetSettingString("DefaultPlayer", "Name", f, ""), "Player One");
    EXPECT_EQ(INIGetSettingString("Core.System", "Missing", f, "dflt"), "dflt");
    EXPECT_EQ(INIGetSettingString("NoSection", "Name", f, "dflt"), "dflt");
    EXPECT_EQ(INIGetSettingString("Core.System", "Name", t / "missing.ini", "dflt"), "dflt");
    // A key the section lists more than once (the game's Paths=): each value, in order.
    const std::vector<std::string> lines = {
        "[Other]", "Paths=../Not/*.u",   "[core.system]", "paths=../Maps/*.ut2",
        "X=1",     " PATHS = ../B/*.u ", "[Next]",        "Paths=../Not/*.u"};
    EXPECT_EQ(iniValues(lines, "Core.System", "Paths"),
              (std::vector<std::string>{"../Maps/*.ut2", "../B/*.u"}));
}

TEST(IniRead, LongValuesAreCutTo255Characters) {
    TempDir t;
    std::string f = t / "a.ini";
    tvtest::writeFile(f, "[S]\r\nK=" + std::string(300, 'x') + "\r\n");
    EXPECT_EQ(INIGetSettingString("S", "K", f, ""), std::string(255, 'x'));
}

TEST(IniWrite, ReplacesOnlyTheKeyAndKeepsEveryOtherLine) {
    TempDir t;
    std::string f = t / "UT2003.ini";
    tvtest::writeFile(
        f, "; comment\r\n[URL]\r\nPurgeCacheDays=1\r\n\r\n[Core.System]\r\n"
           "Paths=../System/*.u\r\nPURGECACHEDAYS=30\r\nCacheExt=.uxx\r\n\r\n[Last]\r\nX=1\r\n");
    ASSERT_TRUE(INIWriteSetting("core.system", "PurgeCacheDays", "360", f));
    EXPECT_EQ(
        tvtest::readFile(f),
        "; comment\r\n[URL]\r\nPurgeCacheDays=1\r\n\r\n[Core.System]\r\n"
        "Paths=../System/*.u\r\nPurgeCacheDays=360\r\nCacheExt=.uxx\r\n\r\n[Last]\r\nX=1\r\n");
}

TEST(IniWrite, AddsKeyToSectionOrSectionToFileOrCreatesTheFile) {
    TempDir t;
    std::string f = t / "a.ini";
    // A native game's configuration has LF line ends, and keeps them.
    tvtest::writeFile(f, "[Core.System]\nA=1\n\n[Other]\nB=2\n");
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "360", f));
    EXPECT_EQ(tvtest::readFile(f), "[Core.System]\nA=1\nPurgeCacheDays=360\n\n[Other]\nB=2\n");
    ASSERT_TRUE(INIWriteSetting("New", "K", "v", f));
    EXPECT_EQ(INIGetSettingString("New", "K", f, ""), "v");
    std::string fresh = t / "fresh.ini";
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "", fresh));
    EXPECT_EQ(tvtest::readFile(fresh), "[Core.System]\r\nPurgeCacheDays=\r\n");
}

TEST(IniWrite, FailureIsReportedNotTakenForSuccess) {
    TempDir t;
    // A folder where the file should be: it cannot be replaced.
    std::string f = t / "UT2003.ini";
    std::filesystem::create_directories(f);
    RecordingPrompter p;
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "360", f, noticesTo(p)));
    EXPECT_TRUE(std::filesystem::is_directory(f));
    ASSERT_EQ(p.shown.size(), 1u);
    EXPECT_EQ(p.shown[0].title, "INIWriteSetting");
}
