#include "test_support.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "session/session.h"
#include "store/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tv;
using tvtest::GameFixture;

using tvtest::kGameKey;
using tvtest::kSettingsKey;

TEST(RequiredFiles, FirstMissingFileGivesTwoMessages) {
    GameFixture fx;
    std::filesystem::remove(fx.program + "/search.gif");
    std::filesystem::remove(fx.program + "/tessvane.mdb");
    RegistryStore store(fx.registry);
    RecordingPrompter p;
    Session s(fx.program, store, p);
    EXPECT_FALSE(s.checkRequiredFiles());
    EXPECT_EQ(p.messageTexts(),
              (std::vector<std::string>{
                  "A critical file (Search.gif) is missing...please re-install the program.",
                  "Remember to copy the latest EXE over the one installed..."}));
    EXPECT_EQ(p.shown[0].title, "Tessvane");
}

TEST(RequiredFiles, AllPresentInAnyLetterCase) {
    GameFixture fx;
    std::filesystem::rename(fx.program + "/tessvane.mdb", fx.program + "/Tessvane.MDB");
    RegistryStore store(fx.registry);
    RecordingPrompter p;
    Session s(fx.program, store, p);
    EXPECT_TRUE(s.checkRequiredFiles());
    EXPECT_TRUE(p.shown.empty());
}

TEST(GameFolder, MissingValueMakesTheUserChooseUntilAFolderIsChosenOrLeave) {
    GameFixture fx;
    tvtest::TempDir other;
    RegistryStore store(other / "registry.reg");
    RecordingPrompter p;
    p.folders = {"", "", other.path(), fx.game};
    p.answers = {true, true, false}; // choose again, again; not that folder
    Session s(fx.program, store, p);
    EXPECT_TRUE(s.readGameFolder());
    EXPECT_EQ(s.install().gameFolder, fx.game);
    std::vector<std::string> kinds;
    for (const auto& shown : p.shown)
        kinds.push_back(shown.kind + ":" + shown.text + shown.title);
    const std::string again = "question:You MUST select the root UT folder..\n\n"
                              "Choose it now? (No ends Tessvane.)Tessvane";
    EXPECT_EQ(kinds,
              (std::vector<std::string>{
                  "message:Unreal Tournament not found.\n\nPlease click OK to select the main "
                  "directory..\n(Ex - /home/you/ut2003)Tessvane",
                  "folder:Choose the root UT folder:", again,
                  "folder:Choose the root UT folder:", again, "folder:Choose the root UT folder:",
                  "question:This does not look like an Unreal Tournament 2003 or 2004 folder. "
                  "Use it anyway?Tessvane",
                  "folder:Choose the root UT folder:"}));
    EXPECT_EQ(store.value(kGameKey, "Folder")->data, fx.game + std::string(1, '\0'));

    // Leaving writes nothing.
    tvtest::TempDir third;
    RegistryStore empty(third / "registry.reg");
    RecordingPrompter leave;
    leave.folders = {""};
    leave.answers = {false};
    Session gone(fx.program, empty, leave);
    EXPECT_FALSE(gone.readGameFolder());
    EXPECT_FALSE(tvtest::exists(third / "registry.reg"));
}

TEST(GameFolder, SetTheUtDirPointsTheCacheLabelAtItsCacheFolder) {
    GameFixture fx;
    RegistryStore store(fx.registry);
    RecordingPrompter p;
    Session s(fx.program, store, p);
    s.readGameFolder();
    p.folders = {fx.game};
    s.setUtDir();
    EXPECT_EQ(s.install().gameFolder, fx.game);
    EXPECT_EQ(s.settings().cacheDir, fx.game + "/Cache");
    p.folders = {"/games/other/"};
    p.answers = {true}; // no System or Cache there: used anyway
    s.setUtDir();
    EXPECT_EQ(s.settings().cacheDir, "/games/other/Cache");
    p.folders = {"/games/third"}; // answered No: nothing changes
    s.setUtDir();
    s.setUtDir(); // cancelled: nothing changes
    EXPECT_EQ(s.install().gameFolder, "/games/other");
}

TEST(Settings, FirstStartGivesDefaultsAndShutDownWritesEveryValue) {
    GameFixture fx;
    RegistryStore store(fx.registry);
    RecordingPrompter p;
    Session s(fx.program, store, p);
    s.changeSettings(
        [&](tv::Settings& st) { st.selectAll = false; }); // loading must restore the default
    s.loadSettings();
    EXPECT_TRUE(s.settings().selectAll);
    EXPECT_FALSE(s.settings().selectOnly);
    EXPECT_TRUE(s.settings().moveNorm);
    EXPECT_TRUE(s.settings().backupCache);
    EXPECT_FALSE(s.settings().UT2);
    EXPECT_EQ(s.settings().firstRun, 1);
    EXPECT_FALSE(store.keyExists(kSettingsKey));

    s.saveSettings();
    RegistryData data = store.load();
    const RegKey* key = data.findKey(kSettingsKey);
    ASSERT_NE(key, nullptr);
    std::vector<std::string> names;
    for (const auto& [n, v] : key->values)
        names.push_back(n);
    EXPECT_EQ(names, (std::vector<std::string>{"SelectAll", "SelectOnly", "ExtAlert", "U", "UAX",
                                               "UMX", "UT2", "UTX", "USX", "UKX", "UnZIPNoPreview",
                                               "AutoUpdate", "AutoClean", "MoveNorm", "MoveDir",
                                               "MoveDirText", "MoveDir2", "MoveDir2Text",
                                               "CacheDir", "BackupCache", "FirstRun",
                                               // Tessvane's own: whose cache folder
                                               "CacheDirGame"}));
    EXPECT_EQ(store.value(kSettingsKey, "FirstRun")->data, std::string("0\0", 2));
    EXPECT_EQ(store.value(kSettingsKey, "AutoClean")->data, std::string("0\0", 2));
    EXPECT_EQ(store.value(kSettingsKey, "SelectAll")->data, std::string("True\0", 5));
}

TEST(Settings, StoredValuesAreLoadedAndBadOnesLeaveTheControl) {
    GameFixture fx;
    RegistryStore store(fx.registry);
    clsRegistry reg(store);
    useSettingsKey(reg);
    reg.WriteEntry("SelectAll", "False");
    reg.WriteEntry("SelectOnly", "True");
    reg.WriteEntry("UT2", "1");
    reg.WriteEntry("UMX", "7");          // not a check box state
    reg.WriteEntry("MoveNorm", "maybe"); // not a boolean
    reg.WriteEntry("MoveDir2", "True");
    reg.WriteEntry("MoveDir2Text", "/data/ut");
    reg.SetKeyValue(HKEY_LOCAL_MACHINE, reg.keyPath(), "BackupCache", "0", REG_SZ);
    reg.WriteEntry("FirstRun", "0");
    RecordingPrompter p;
    Session s(fx.program, store, p);
    s.changeSettings([&](tv::Settings& st) { st.UMX = true; });
    s.loadSettings();
    EXPECT_FALSE(s.settings().selectAll);
    EXPECT_TRUE(s.settings().selectOnly);
    EXPECT_TRUE(s.settings().UT2);
    EXPECT_TRUE(s.settings().UMX);
    EXPECT_FALSE(s.settings().moveNorm); // cleared by MoveDir2 being chosen
    EXPECT_TRUE(s.settings().moveDir2);
    EXPECT_EQ(s.settings().moveDir2Text, "/data/ut");
    EXPECT_FALSE(s.settings().backupCache);
    EXPECT_EQ(s.settings().firstRun, 0);
}

TEST(Settings, InstallPathIsWrittenOnlyWhenMissing) {
    GameFixture fx;
    RegistryStore store(fx.registry);
    RecordingPrompter p;
    Session s(fx.program, store, p);
    s.ensureInstallPath();
    EXPECT_EQ(store.value(kSettingsKey, "InstallPath")->data, fx.program + std::string(1, '\0'));
    store.setValue(kSettingsKey, "InstallPath", RegValue::text("/elsewhere"));
    s.ensureInstallPath();
    EXPECT_EQ(store.value(kSettingsKey, "InstallPath")->data, std::string("/elsewhere\0", 11));
}

TEST(Settings, OptionAndCheckTextRules) {
    EXPECT_EQ(optionFromText("TRUE"), true);
    EXPECT_EQ(optionFromText("false"), false);
    EXPECT_EQ(optionFromText("-1"), true);
    EXPECT_EQ(optionFromText("0"), false);
    EXPECT_EQ(optionFromText("yes"), std::nullopt);
    EXPECT_EQ(checkFromText("1"), true);
    EXPECT_EQ(checkFromText("0"), false);
    EXPECT_EQ(checkFromText("True"), std::nullopt);
    EXPECT_EQ(checkFromText("3"), std::nullopt);
}
