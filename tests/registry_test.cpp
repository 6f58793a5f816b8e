#include "test_support.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "recording_prompter.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tv;
using tvtest::TempDir;

namespace {
const std::string kSettings = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
}

TEST(RegistryFormat, RoundTripsEveryValueKind) {
    RegistryData d;
    d.setValue(kSettings, "Text", RegValue::text("C:\\Games \"UT\""));
    d.setValue(kSettings, "Number", RegValue::dword(30));
    RegValue bin{REG_BINARY, std::string("\x0a\x0b\x00\xff", 4)};
    d.setValue(kSettings, "Bin", bin);
    RegValue noNul{REG_SZ, "abc"};
    d.setValue(kSettings, "NoNul", noNul);
    RegValue multi{REG_MULTI_SZ, std::string("a\0b\0\0", 5)};
    d.setValue(kSettings, "Multi", multi);
    RegValue longBin{REG_BINARY, std::string(100, '\x5a')};
    d.setValue(kSettings, "Long", longBin);
    std::string text = d.serialize();

    EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane]\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Text\"=\"C:\\\\Games \\\"UT\\\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Number\"=dword:0000001e\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Bin\"=hex:0a,0b,00,ff\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,62,63\r\n"), std::string::npos);

    RegistryData back;
    ASSERT_TRUE(back.parse(text));
    EXPECT_EQ(*back.findValue(kSettings, "text"), RegValue::text("C:\\Games \"UT\""));
    EXPECT_EQ(*back.findValue(kSettings, "NUMBER"), RegValue::dword(30));
    EXPECT_EQ(*back.findValue(kSettings, "Bin"), bin);
    EXPECT_EQ(*back.findValue(kSettings, "NoNul"), noNul);
    EXPECT_EQ(*back.findValue(kSettings, "Multi"), multi);
    EXPECT_EQ(*back.findValue(kSettings, "Long"), longBin);
}

TEST(RegistryFormat, KeysAndNamesIgnoreCaseAndKeepTheirCase) {
    RegistryData d;
    d.setValue("HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane", "CacheDir",
               RegValue::text("a"));
    d.setValue("hkey_local_machine\\SOFTWARE\\zarnowick\\TESSVANE", "cachedir",
               RegValue::text("b"));
    ASSERT_NE(d.findKey(kSettings), nullptr);
    ASSERT_EQ(d.findKey(kSettings)->values.size(), 1u);
    EXPECT_EQ(d.findKey(kSettings)->values[0].first, "CacheDir");
    EXPECT_EQ(d.findKey(kSettings)->path, kSettings);
    EXPECT_EQ(*d.findValue(kSettings, "CACHEDIR"), RegValue::text("b"));
}

TEST(RegistryFormat, ReadsWhatRegeditWrites) {
    const char* text = "REGEDIT4\r\n\r\n"
                       "; exported\r\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane]\r\n"
                       "@=\"default\"\r\n"
                       "\"Wrapped\"=hex:01,02,\\\r\n"
                       "  03,04\r\n"
                       "\"Gone\"=\"x\"\r\n"
                       "\"Gone\"=-\r\n"
                       "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n";
    RegistryData d;
    ASSERT_TRUE(d.parse(text));
    EXPECT_EQ(d.findValue(kSettings, "")->data, std::string("default\0", 8));
    EXPECT_EQ(d.findValue(kSettings, "Wrapped")->data, std::string("\x01\x02\x03\x04"));
    EXPECT_EQ(d.findValue(kSettings, "Gone"), nullptr);
}

TEST(RegistryFormat, RejectsTextThatIsNotARegistryFile) {
    RegistryData d;
    EXPECT_FALSE(d.parse("hello world\n"));
    EXPECT_FALSE(d.parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:xyz\n"));
    EXPECT_FALSE(d.parse("REGEDIT4\n\"a\"=\"outside a key\"\n"));
}

TEST(RegistryStore, UnreadableFileGivesDefaultsAndIsKeptOnFirstWrite) {
    TempDir t;
    std::string file = t / "registry.reg";
    tvtest::writeFile(file, "this is not a registry file");
    RegistryStore store(file);
    RecordingPrompter prompter;
    clsRegistry reg(store, noticesTo(prompter));
    useSettingsKey(reg);
    EXPECT_EQ(reg.ReadEntry("CacheDir", "dflt"), "dflt");
    EXPECT_EQ(tvtest::readFile(file), "this is not a registry file"); // reading changes nothing

    reg.WriteEntry("CacheDir", "/games/ut");
    EXPECT_EQ(tvtest::readFile(file + ".bad"), "this is not a registry file");
    EXPECT_EQ(reg.ReadEntry("CacheDir", "dflt"), "/games/ut");
    ASSERT_EQ(prompter.messageTexts().size(), 1u);
    EXPECT_NE(prompter.messageTexts()[0].find("registry.reg.bad"), std::string::npos);
}

TEST(RegistryStore, FailedWriteSaysWhyOncePerSeries) {
    TempDir t;
    // The folder of the file is a regular file: nothing can be written there.
    tvtest::writeFile(t / "conf", "not a folder");
    RegistryStore store(t / "conf/registry.reg");
    RecordingPrompter prompter;
    clsRegistry reg(store, noticesTo(prompter));
    useSettingsKey(reg);
    reg.WriteEntry("A", "2");
    reg.WriteEntry("B", "3");
    EXPECT_EQ(reg.ReadEntry("A", "dflt"), "dflt");
    ASSERT_EQ(prompter.shown.size(), 1u); // one box for the series, not one per value
    EXPECT_EQ(prompter.shown[0].title, "SetKeyValue");
    EXPECT_EQ(prompter.shown[0].text.rfind("Error: ", 0), 0u);
    EXPECT_EQ(tvtest::readFile(t / "conf"), "not a folder");
}

TEST(RegistryStore, TwoWritersAtOnceLoseNothing) {
    TempDir t;
    std::string file = t / "registry.reg";
    const int perWriter = 40;
    auto writer = [&](const char* prefix) {
        RegistryStore store(file);
        for (int i = 0; i < perWriter; ++i)
            store.setValue(kSettings, prefix + std::to_string(i), RegValue::text("v"));
    };
    pid_t child = ::fork();
    if (child == 0) {
        writer("child");
        ::_exit(0);
    }
    writer("parent");
    int status = 0;
    ::waitpid(child, &status, 0);
    RegistryStore store(file);
    RegistryStore::ReadState state;
    RegistryData d = store.load(&state);
    ASSERT_EQ(state, RegistryStore::ReadState::Ok);
    EXPECT_EQ(d.findKey(kSettings)->values.size(), 2u * perWriter);
}

TEST(ClsRegistry, KeyPathDropsOneTrailingSeparator) {
    RegistryStore store("/nonexistent/registry.reg");
    clsRegistry reg(store);
    EXPECT_EQ(reg.keyPath(), "SOFTWARE\\\\\\Settings");
    useSettingsKey(reg);
    EXPECT_EQ(reg.keyPath(), "Software\\Zarnowick\\Tessvane");
    reg.Program("");
    EXPECT_EQ(reg.keyPath(), "Software\\Zarnowick\\");
    useGameKey(reg);
    EXPECT_EQ(reg.keyPath(), "Software\\Unreal Technology\\Installed Apps\\UT2003");
}

TEST(ClsRegistry, DefaultsAfterCreation) {
    RegistryStore store("/nonexistent/registry.reg");
    clsRegistry reg(store);
    EXPECT_EQ(reg.RootKey(), 0x80000002u);
    EXPECT_EQ(reg.MainBranch(), "SOFTWARE");
    EXPECT_EQ(reg.RegBase(), "");
    EXPECT_EQ(reg.Program(), "");
    EXPECT_EQ(reg.Section(), "Settings");
}

TEST(ClsRegistry, ReadEntryRules) {
    TempDir t;
    RegistryStore store(t / "registry.reg");
    store.setValue(kSettings, "Dword", RegValue::dword(1234));
    store.setValue(kSettings, "Binary", RegValue{REG_BINARY, "ab"});
    store.setValue(kSettings, "Multi", RegValue{REG_MULTI_SZ, std::string("a\0\0", 3)});
    store.setValue(kSettings, "Empty", RegValue::text(""));
    store.setValue(kSettings, "NoNul", RegValue{REG_SZ, "whole"});
    store.setValue(kSettings, "TwoNuls", RegValue{REG_SZ, std::string("ab\0\0", 4)});
    clsRegistry reg(store);
    useSettingsKey(reg);
    EXPECT_EQ(reg.ReadEntry("Dword", "d"), "1234");
    EXPECT_EQ(reg.ReadEntry("Binary", "d"), "d");
    EXPECT_EQ(reg.ReadEntry("Multi", "d"), "d");
    EXPECT_EQ(reg.ReadEntry("Empty", "d"), "d");
    EXPECT_EQ(reg.ReadEntry("Missing", "d"), "d");
    EXPECT_EQ(reg.ReadEntry("NoNul", "d"), "whole");
    // Only the one last NUL goes.
    EXPECT_EQ(std::get<std::string>(reg.GetKeyValue(HKEY_LOCAL_MACHINE, reg.keyPath(), "TwoNuls")),
              std::string("ab\0", 3));
    EXPECT_EQ(std::get<uint32_t>(reg.GetKeyValue(HKEY_LOCAL_MACHINE, reg.keyPath(), "Dword")),
              1234u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        reg.GetKeyValue(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "Dword")));
}

TEST(ClsRegistry, WriteEntryStoresTextWithOneNul) {
    TempDir t;
    RegistryStore store(t / "registry.reg");
    clsRegistry reg(store);
    useSettingsKey(reg);
    reg.WriteEntry("Empty", "");
    reg.WriteEntry("Name", "UT");
    EXPECT_EQ(store.value(kSettings, "Empty")->data, std::string(1, '\0'));
    EXPECT_EQ(store.value(kSettings, "Name")->data, std::string("UT\0", 3));
    EXPECT_EQ(store.value(kSettings, "Name")->type, REG_SZ);
    EXPECT_EQ(reg.ReadEntry("Empty", "dflt"), "dflt");
    EXPECT_TRUE(store.keyExists("HKEY_LOCAL_MACHINE\\Software\\Zarnowick"));
}
