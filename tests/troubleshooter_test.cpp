// The troubleshooter's report, its folder questions and settings, and the
// environment class, without the window.
#include "test_support.h"

#include "formats/registry_store.h"
#include "platform/cfile.h"
#include "platform/text_io.h"
#include "recording_prompter.h"
#include "troubleshooter/environment.h"
#include "troubleshooter/troubleshooter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace tv;
using tvtest::crlf;
using tvtest::GameFixture;

namespace {

const std::string kGameKey =
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003";
const std::string kSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
const std::string kDashes(56, '-');

// A game with a cache that holds a folder and a dot file beside its files, a
// Tessvane folder with a 600-line log, and the settings naming both.
struct TroubleFixture {
    GameFixture fx;
    RegistryStore store{fx.registry};
    RecordingPrompter prompter;
    RecordingShell shell;
    Troubleshooter t{store, prompter, shell};
    std::vector<FolderDialogRequest> dialogs; // every folder dialog opened, in order
    TroubleFixture(bool withInstallPath = true) {
        t.setFolderDialog([this](const FolderDialogRequest& r) {
            dialogs.push_back(r);
            return prompter.browseForFolder(r.title);
        });
        fx.writeCacheIni({fx.addEntry(2, "b.utx"), fx.addEntry(1, "A.ut2")});
        fs::create_directories(fx.cache + "/Sub");
        tvtest::writeFile(fx.cache + "/.hidden", "x");
        std::string log;
        for (int i = 1; i <= 600; ++i)
            log += "line " + std::to_string(i) + "\r\n";
        tvtest::writeFile(fx.program + "/tessvane.LOG", log);
        store.setValue(kSettingsKey, "CacheDir", RegValue::text(fx.cache));
        if (withInstallPath)
            store.setValue(kSettingsKey, "InstallPath", RegValue::text(fx.program));
        prompter.folders = {fx.dir / "NoCacheHere", fx.cache};
        fs::create_directories(fx.dir / "NoCacheHere");
    }
    std::vector<std::string> expected(bool withLog) const {
        std::vector<std::string> lines = {"Tessvane Troubleshooter Info",
                                          std::string(36, '='),
                                          "",
                                          "<Windows Version>: Test OS",
                                          kDashes,
                                          "<UT Reg Dir>: " + fx.game,
                                          kDashes,
                                          "<Tessvane Reg Dir>: " + fx.cache,
                                          kDashes,
                                          "<Tessvane InstallPath>: " + (withLog ? fx.program : ""),
                                          kDashes,
                                          "<Cache.INI Contents>:    ",
                                          "[Cache]",
                                          tvtest::ident(2) + "=b.utx",
                                          tvtest::ident(1) + "=A.ut2",
                                          kDashes,
                                          "<Cache Directory listing of " + fx.cache + ">:",
                                          tvtest::ident(1) + ".uxx",
                                          tvtest::ident(2) + ".uxx",
                                          "Cache.ini",
                                          kDashes};
        if (withLog) {
            lines.push_back("<Tessvane.LOG from " + fx.program + ">");
            for (int i = 1; i <= 500; ++i)
                lines.push_back("line " + std::to_string(i));
            lines.push_back(kDashes);
        }
        // The sections added since come after the first ones.
        lines.push_back("<Games found>:");
        lines.push_back("UT2003 (chosen) " + fx.game + "; cache " + fx.cache);
        lines.push_back(kDashes);
        lines.push_back("*** END OF INFO ***");
        return lines;
    }
};

} // namespace

TEST(TroubleshooterReport, ByteForByteWithAndWithoutTessvanesFolder) {
    for (bool withLog : {true, false}) {
        TroubleFixture f(withLog);
        ASSERT_TRUE(f.t.start());
        // The cache folder of the settings needs no asking.
        EXPECT_TRUE(f.dialogs.empty());
        EXPECT_TRUE(f.prompter.shown.empty());
        EXPECT_FALSE(f.t.osName.empty());
        f.t.osName = "Test OS";
        std::string report = f.fx.dir / "CacheInfo.txt";
        ASSERT_TRUE(f.t.SaveReport(report));
        EXPECT_EQ(tvtest::readFile(report), crlf(f.expected(withLog)));
        // Saved over a file with LF line ends (edited here), it keeps them.
        tvtest::writeFile(report, "an older report\n");
        ASSERT_TRUE(f.t.SaveReport(report));
        std::string lf;
        for (const auto& line : f.expected(withLog))
            lf += line + "\n";
        EXPECT_EQ(tvtest::readFile(report), lf);
        // Saved over a link, the link is replaced and its target's line ends
        // (and bytes) stay the target's.
        const std::string target = f.fx.dir / "elsewhere.txt", linked = f.fx.dir / "Link.txt";
        tvtest::writeFile(target, "someone's notes\n");
        fs::create_symlink(target, linked);
        ASSERT_TRUE(f.t.SaveReport(linked));
        EXPECT_EQ(tvtest::readFile(linked), crlf(f.expected(withLog)));
        EXPECT_EQ(tvtest::readFile(target), "someone's notes\n");
    }
}

TEST(Troubleshooter, TheCacheFolderChooserNamesTheGameChosenInTessvane) {
    for (const char* game : {"UT2003", "UT2004"}) {
        TroubleFixture f;
        f.store.setValue(kSettingsKey, "Game", RegValue::text(game));
        f.store.setValue(kSettingsKey, "CacheDir", RegValue::text(f.fx.dir / "gone"));
        ASSERT_TRUE(f.t.start());
        ASSERT_FALSE(f.prompter.shown.empty());
        EXPECT_EQ(f.prompter.shown[0].kind, "folder");
        EXPECT_EQ(f.prompter.shown[0].title, std::string("Choose the ") + game + " Cache folder:");
        // The setting's folder is gone: the dialog starts in the player's folder.
        ASSERT_FALSE(f.dialogs.empty());
        EXPECT_EQ(f.dialogs[0].startFolder, f.fx.home);
    }
    // Without a game folder, the game named is the one chosen too.
    TroubleFixture f;
    RegistryStore(f.fx.registry).setValue(tvtest::kGameKey, "Folder", RegValue::text(""));
    f.store.setValue(kSettingsKey, "Game", RegValue::text("UT2004"));
    f.prompter.choices = {Choice::No, Choice::No};
    f.prompter.folders = {"", f.fx.cache};
    ASSERT_TRUE(f.t.start());
    EXPECT_EQ(f.t.utRegDir, kGameFolderNotFoundUT2004);
    bool asked = false;
    for (const auto& shown : f.prompter.shown)
        asked = asked || shown.text.rfind("You MUST select the root UT2004 folder", 0) == 0;
    EXPECT_TRUE(asked);
}

TEST(Troubleshooter, FolderDialogsStartInTheFolderTheSettingNamesWhileItExists) {
    TroubleFixture f;
    // A cache folder setting without a Cache.ini is said and asked about,
    // as is the folder chosen first.
    const std::string noIndex = f.fx.dir / "EmptyCache";
    fs::create_directories(noIndex);
    f.store.setValue(kSettingsKey, "CacheDir", RegValue::text(noIndex + "/"));
    ASSERT_TRUE(f.t.start());
    EXPECT_EQ(f.prompter.messageTexts(),
              (std::vector<std::string>{"Cache.INI not found in " + noIndex + " ...try again.",
                                        "Cache.INI not found in " + (f.fx.dir / "NoCacheHere") +
                                            " ...try again."}));
    ASSERT_EQ(f.dialogs.size(), 2u);
    EXPECT_EQ(f.dialogs[0].startFolder, noIndex);
    EXPECT_EQ(f.t.cacheFolder, f.fx.cache);
    EXPECT_EQ(f.t.cacheIniLines.size(), 3u); // each list filled once
    EXPECT_EQ(f.t.cacheFiles.size(), 3u);
    // The game folder's: in the stored folder, at home once that is gone.
    f.t.SetGameRegistryFolder(false);
    f.store.setValue(kGameKey, "Folder", RegValue::text(f.fx.dir / "moved/"));
    f.t.SetGameRegistryFolder(false);
    ASSERT_EQ(f.dialogs.size(), 4u);
    EXPECT_EQ(f.dialogs[2].startFolder, f.fx.game);
    EXPECT_EQ(f.dialogs[3].startFolder, f.fx.home);
}

TEST(TroubleshooterReport, AnEmptyIndexAndTheSettingsAsTheyAreNow) {
    TroubleFixture f;
    tvtest::writeFile(f.fx.cache + "/Cache.ini", "");
    ASSERT_TRUE(f.t.start());
    f.store.setValue(kGameKey, "Folder", RegValue::text("/games/moved/"));
    auto lines = f.t.reportLines();
    auto contents = std::find(lines.begin(), lines.end(), "<Cache.INI Contents>:    ");
    ASSERT_NE(contents, lines.end());
    EXPECT_EQ(*(contents + 1), kDashes);
    EXPECT_EQ(lines[5], "<UT Reg Dir>: /games/moved/");
}

TEST(TroubleshooterReport, AReportThatCannotBeWrittenIsSaid) {
    TroubleFixture f;
    ASSERT_TRUE(f.t.start());
    EXPECT_FALSE(f.t.SaveReport(f.fx.dir / "no/such/folder/CacheInfo.txt"));
    EXPECT_EQ(f.prompter.messageTexts().back().rfind("The report could not be saved: ", 0), 0u);
    EXPECT_EQ(f.t.mailLink("/home/you/CacheInfo.txt"),
              "mailto:tessvane@example.org?subject=Tessvane Troubleshooter&Body=*** NOTE - "
              "remember to attach /home/you/CacheInfo.txt before sending ***");
    f.t.MailReport("/r.txt");
    EXPECT_EQ(f.shell.opened.back(), "open:" + f.t.mailLink("/r.txt"));
    // Without $HOME the report still goes to the user's home, never to the
    // folder the program was started in.
    const std::string home = std::getenv("HOME");
    EXPECT_EQ(Troubleshooter::defaultReportPath(), home + "/CacheInfo.txt");
    ::unsetenv("HOME");
    const std::string without = Troubleshooter::defaultReportPath();
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(without.front(), '/') << without;
    EXPECT_EQ(without.substr(without.rfind('/')), "/CacheInfo.txt");
}

TEST(Troubleshooter, AMissingGameFolderIsAskedForAndStoredWithItsSeparatorOrLeft) {
    TroubleFixture f;
    tvtest::TempDir fresh;
    RegistryStore store(fresh / "registry.reg");
    RecordingPrompter prompter;
    RecordingShell shell;
    Troubleshooter t(store, prompter, shell);
    prompter.folders = {"", f.fx.game, f.fx.cache};
    prompter.choices = {Choice::Yes};
    ASSERT_TRUE(t.start());
    EXPECT_EQ(store.value(kGameKey, "Folder")->data, f.fx.game + "/" + std::string(1, '\0'));
    EXPECT_EQ(t.utRegDir, f.fx.game + "/");

    tvtest::TempDir other;
    RegistryStore none(other / "registry.reg");
    RecordingPrompter leave;
    leave.folders = {""};
    leave.answers = {false};
    Troubleshooter gone(none, leave, shell);
    EXPECT_FALSE(gone.start());
    EXPECT_FALSE(tvtest::exists(other / "registry.reg"));
}

TEST(TroubleshooterReport, WithNoGameItSaysNoneAndWhereItLooked) {
    GameFixture fx;
    // A Lutris prefix and a second Steam library are looked in too.
    fs::create_directories(fx.home + "/Games/lutris-prefix");
    fs::create_directories(fx.dir / "SteamLib2");
    tvtest::writeFile(fx.home + "/.local/share/Steam/steamapps/libraryfolders.vdf",
                      "\"libraryfolders\"\n{\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                          (fx.dir / "SteamLib2") + "\"\n\t}\n}\n");
    tvtest::TempDir other;
    RegistryStore store(other / "registry.reg");
    RecordingPrompter prompter;
    RecordingShell shell;
    Troubleshooter t(store, prompter, shell);
    prompter.choices = {Choice::No, Choice::No}; // neither folder, but a report
    ASSERT_TRUE(t.start());
    EXPECT_EQ(t.utRegDir, kGameFolderNotFound);
    const std::string report = other / "CacheInfo.txt";
    ASSERT_TRUE(t.SaveReport(report));
    EXPECT_FALSE(tvtest::exists(other / "registry.reg"));

    const auto lines = splitLines(tvtest::readFile(report));
    EXPECT_EQ(lines[5], std::string("<UT Reg Dir>: ") + kGameFolderNotFound);
    auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_EQ(at("<Cache.INI Contents>:    ") + 1, at("No cache folder was chosen."));
    const auto none = at("<Games found>: none");
    ASSERT_LT(none, static_cast<long>(lines.size()));
    EXPECT_GT(none, at("<Cache Directory listing of >:"));
    EXPECT_EQ(lines[none + 1], kDashes);
    EXPECT_EQ(lines[none + 2], "<Places looked in>:");
    const std::vector<std::string> places(lines.begin() + none + 3, lines.end() - 2);
    for (const std::string& place :
         {"ut2003 and ut2004 folders in " + fx.machine + "/opt",
          "player's folder " + fx.home + "/.ut2004", "Wine prefix " + fx.home + "/.wine",
          "Wine prefix " + fx.home + "/Games/lutris-prefix",
          "Steam library " + fx.home + "/.local/share/Steam",
          "Steam library " + (fx.dir / "SteamLib2")})
        EXPECT_EQ(std::count(places.begin(), places.end(), place), 1) << place;
    EXPECT_EQ(lines[lines.size() - 2], kDashes);
    EXPECT_EQ(lines.back(), "*** END OF INFO ***");
}

TEST(Troubleshooter, ResetClearsOnlyTheCacheFolderSettingAfterYes) {
    TroubleFixture f;
    ASSERT_TRUE(f.t.start());
    EXPECT_FALSE(f.t.ResetProgramRegistry()); // No
    EXPECT_EQ(f.prompter.shown.back().text, "Definately reset Tessvane's registry entry?");
    EXPECT_EQ(f.store.value(kSettingsKey, "CacheDir")->data, f.fx.cache + std::string(1, '\0'));
    f.prompter.answers = {true};
    ASSERT_TRUE(f.t.ResetProgramRegistry());
    EXPECT_EQ(f.t.cacheRegDir, "");
    EXPECT_EQ(f.store.value(kSettingsKey, "CacheDir")->data, std::string(1, '\0'));
    EXPECT_EQ(f.store.value(kSettingsKey, "InstallPath")->data,
              f.fx.program + std::string(1, '\0'));
}

TEST(Troubleshooter, TheLogIsShownOrItsAbsenceSaid) {
    TroubleFixture f;
    ASSERT_TRUE(f.t.start());
    f.t.viewLog();
    EXPECT_EQ(f.shell.opened.back(), "editor:" + f.fx.program + "/tessvane.LOG");
    f.t.installPath.clear();
    f.t.viewLog();
    EXPECT_NE(f.prompter.messageTexts().back().find("folder is not known"), std::string::npos);
}

TEST(Troubleshooter, TheCommandLineWritesTheReportOrSaysWhatIsMissing) {
    TroubleFixture f;
    std::string env = "TESSVANE_REGISTRY=" + tvtest::shellQuote(f.fx.registry) +
                      " HOME=" + tvtest::shellQuote(f.fx.dir.path()) + " ";
    std::string program = std::string(TESSVANE_BUILD_DIR) + "/tessvane-troubleshooter";
    tvtest::CommandResult r = tvtest::runCommand(env + program + " --report");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, f.fx.dir / "CacheInfo.txt\n");
    std::string text = tvtest::readFile(f.fx.dir / "CacheInfo.txt");
    EXPECT_NE(text.find("<Cache Directory listing of " + f.fx.cache + ">:\r\n"), std::string::npos);
    EXPECT_NE(text.find("<Tessvane.LOG from " + f.fx.program + ">\r\nline 1\r\n"),
              std::string::npos);

    r = tvtest::runCommand(env + program + " --clear --yes 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(f.store.value(kSettingsKey, "CacheDir")->data, std::string(1, '\0'));

    // Without a game the report is written all the same, saying so.
    tvtest::TempDir fresh;
    r = tvtest::runCommand("TESSVANE_REGISTRY=" + tvtest::shellQuote(fresh / "r.reg") + " " +
                           program + " --report " + tvtest::shellQuote(fresh / "x.txt") + " 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--game DIR"), std::string::npos);
    text = tvtest::readFile(fresh / "x.txt");
    EXPECT_NE(text.find("<Games found>: none\r\n"), std::string::npos);
    EXPECT_NE(text.find("<Cache.INI Contents>:    \r\nNo cache folder is known"),
              std::string::npos);

    // Arguments are checked before anything is written, and paths are whole.
    const std::string freshEnv = "TESSVANE_REGISTRY=" + tvtest::shellQuote(fresh / "r.reg") + " ";
    for (const char* bad : {"--report --cache --game x", "--report --game", "--report --bogus",
                            "--clear --cache x"}) {
        r = tvtest::runCommand(freshEnv + program + " " + bad + " 2>&1");
        EXPECT_EQ(r.status, 2) << bad;
    }
    EXPECT_NE(tvtest::runCommand(freshEnv + program + " --report --cache 2>&1")
                  .out.find("--cache needs a folder"),
              std::string::npos);
    r = tvtest::runCommand(freshEnv + program + " --report --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(tvtest::exists(fresh / "r.reg"));
    r = tvtest::runCommand("cd " + tvtest::shellQuote(f.fx.dir.path()) + " && " + freshEnv +
                           program + " --report rel.txt --game " + tvtest::shellQuote(f.fx.game) +
                           " 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, f.fx.dir / "rel.txt\n");
    EXPECT_TRUE(tvtest::exists(f.fx.dir / "rel.txt"));

    // A game folder with neither System nor Cache is stored only with --yes.
    tvtest::TempDir other, notGame;
    const std::string otherEnv = "TESSVANE_REGISTRY=" + tvtest::shellQuote(other / "r.reg") + " ";
    r = tvtest::runCommand(otherEnv + program + " --report " + tvtest::shellQuote(other / "x.txt") +
                           " --game " + tvtest::shellQuote(notGame.path()) + " 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("does not look like an Unreal Tournament 2003 or 2004 folder"),
              std::string::npos);
    EXPECT_FALSE(tvtest::exists(other / "x.txt"));
}

TEST(Environment, MembersAndErrors) {
    CEnvironment env;
    tvtest::TempDir t;
    env.osReleaseFile = t / "os-release";
    env.fallbackOsReleaseFile = t / "none";
    tvtest::writeFile(env.osReleaseFile,
                      "NAME=X\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    EXPECT_EQ(env.OsName().rfind("Debian GNU/Linux 12 (bookworm) (Linux ", 0), 0u);
    env.osReleaseFile = t / "missing";
    EXPECT_EQ(env.OsName().rfind("Linux ", 0), 0u);

    EXPECT_FALSE(env.ComputerName().empty());
    EXPECT_FALSE(env.UserName().empty());
    EXPECT_EQ(env.TempDirectory().back(), '/');
    EXPECT_EQ(env.SystemDirectory(), "/usr/bin");
    EXPECT_EQ(env.WindowsDirectory(), "/");
    EXPECT_EQ(env.Path(), std::getenv("PATH"));
    EXPECT_EQ(env.GetEnvironmentVariable("no references here"), "no references here");
    env.SetEnvironmentVariable("TV_ENV_TEST", "value");
    EXPECT_EQ(env.GetEnvironmentVariable("a%tv_env_test%b%TV_NOT_SET_AT_ALL%c"),
              "avalueb%TV_NOT_SET_AT_ALL%c");
    for (const char* bad : {"", "A=B"}) {
        try {
            env.SetEnvironmentVariable(bad, "x");
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const ComponentError& e) {
            EXPECT_EQ(e.number(), CEnvironment::ErrSetVariable);
            EXPECT_STREQ(e.what(), "Cannot set environment variable");
            EXPECT_EQ(e.source(), programName() + ".CEnvironment");
        }
    }
    EXPECT_EQ(env.VbAppRunMode(), 1);
    EXPECT_EQ(env.VbAppRunMode("TESSVANE_TESTS"), 2);
    EXPECT_EQ(env.VbAppRunMode("tessvane_tests"), 1); // the argument is compared as given
}

TEST(TroubleshooterReport, HostileNamesHugeLogsAndUnreadableFilesKeepItWhole) {
    TroubleFixture f;
    // A cache file whose name holds a line break, one with an escape sequence.
    tvtest::writeFile(f.fx.cache + "/Evil\n*** END OF INFO ***", "x");
    tvtest::writeFile(f.fx.cache + "/Term\x1b]0;pwned\x07", "x");
    // A log of one 20 MB line, then a line with a bare CR.
    std::string log(20 << 20, 'L');
    log += "\r\nbefore\rafter\r\n";
    tvtest::writeFile(f.fx.program + "/tessvane.LOG", log);
    f.prompter.folders = {f.fx.cache};
    ASSERT_TRUE(f.t.start());
    ASSERT_EQ(f.t.logLines.size(), 2u);
    EXPECT_EQ(f.t.logLines[0], std::string(4096, 'L'));
    const std::string report = f.fx.dir / "CacheInfo.txt";
    ASSERT_TRUE(f.t.SaveReport(report));
    const std::string text = tvtest::readFile(report);
    EXPECT_LT(text.size(), size_t{64} << 10);
    // One entry, one line: every line end is CR LF, no control character
    // stands inside a line, and the END line is there once, last.
    auto lines = tv::splitLines(text);
    for (const auto& line : lines)
        for (char c : line)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(lines.size()));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** END OF INFO ***"), 1);
    EXPECT_EQ(lines.back(), "*** END OF INFO ***");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Evil\\x0A*** END OF INFO ***"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "before\\x0Dafter"), lines.end());
    EXPECT_TRUE(f.t.problems().empty());
}

// A cache whose index is there but cannot be read: the report is written
// and says so, and the command's exit status says it failed.
TEST(TroubleshooterReport, ACacheThatCannotBeReadFailsTheReportCommand) {
    TroubleFixture f;
    fs::remove(f.fx.cache + "/Cache.ini");
    fs::create_directories(f.fx.cache + "/Cache.ini");
    tvtest::CommandResult r = tvtest::runCommand(
        "TESSVANE_REGISTRY=" + tvtest::shellQuote(f.fx.registry) +
        " HOME=" + tvtest::shellQuote(f.fx.dir.path()) + " " + TESSVANE_BUILD_DIR +
        "/tessvane-troubleshooter --report " + tvtest::shellQuote(f.fx.dir / "r.txt") + " 2>&1");
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(tvtest::readFile(f.fx.dir / "r.txt")
                  .find("The cache folder " + f.fx.cache + " cannot be read"),
              std::string::npos);
}

TEST(TroubleshooterReport, ALogThatCannotBeReadIsSaidInItsSectionAndByTheCommand) {
    TroubleFixture f;
    fs::remove(f.fx.program + "/tessvane.LOG");
    fs::create_directories(f.fx.program + "/Tessvane.log"); // there, but no file to read
    f.prompter.folders = {f.fx.cache};
    ASSERT_TRUE(f.t.start());
    ASSERT_EQ(f.t.problems().size(), 1u);
    const std::string problem = f.fx.program + "/Tessvane.log cannot be read: Is a directory";
    EXPECT_EQ(f.t.problems()[0], problem);
    auto lines = f.t.reportLines();
    auto section =
        std::find(lines.begin(), lines.end(), "<Tessvane.LOG from " + f.fx.program + ">");
    ASSERT_NE(section, lines.end());
    EXPECT_EQ(*(section + 1), problem);

    tvtest::CommandResult r = tvtest::runCommand(
        "TESSVANE_REGISTRY=" + tvtest::shellQuote(f.fx.registry) +
        " HOME=" + tvtest::shellQuote(f.fx.dir.path()) + " " + TESSVANE_BUILD_DIR +
        "/tessvane-troubleshooter --report " + tvtest::shellQuote(f.fx.dir / "r.txt") + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("tessvane-troubleshooter: warning: " + problem), std::string::npos)
        << r.out;
}
