// The game's installs: Wine's registry, Steam's library list, discovery on
// fake homes, and each kind of install scanned, run and undone through
// tessvane-cli with exactly the files it should write.
#include "package_support.h"
#include "run_support.h"
#include "test_support.h"

#include "formats/registry_store.h"
#include "games/discovery.h"
#include "games/game_process.h"
#include "games/wine_registry.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>

using namespace tv;
using tvtest::GameFixture;
using tvtest::writeFile;

namespace fs = std::filesystem;

TEST(WineRegistry, ReadsStringValuesOfBothViewsWithTheirEscapes) {
    const std::string text =
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to \\\\Machine\n"
        "#arch=win64\n\n"
        "[Software\\\\Unreal Technology\\\\Installed Apps\\\\UT2003] 1700000000\n"
        "#time=1d9a1b2c3d4e5f6\n"
        "\"Folder\"=\"C:\\\\UT2003\"\n"
        "\"Version\"=dword:00000929\n"
        "\"Quoted\"=\"say \\\"hi\\\"\"\n"
        "\n"
        "[Software\\\\Wow6432Node\\\\Unreal Technology\\\\Installed Apps\\\\UT2004] 1700000001\n"
        "\"FOLDER\"=str(2):\"D:\\\\Spiele\\\\Unreal Tournament 2004\"\n"
        "@=\"default\"\n"
        "\"Name\"=\"Caf\\xe9 \\x263a\"\n"
        "\"Bytes\"=hex:00,01,\\\n  02,03\n"
        "[Software\\\\Other] 1\n"
        "\"Folder\"=\"not wanted\"\n";
    WineRegistry reg;
    reg.parse(text, [](std::string_view key) { return key.find("Unreal") != std::string::npos; });
    EXPECT_EQ(reg.keyCount(), 2u);
    EXPECT_EQ(reg.value("software\\unreal technology\\installed apps\\ut2003", "folder"),
              "C:\\UT2003");
    EXPECT_EQ(reg.value("Software\\Unreal Technology\\Installed Apps\\UT2003", "Quoted"),
              "say \"hi\"");
    EXPECT_EQ(reg.value("Software\\Unreal Technology\\Installed Apps\\UT2003", "Version"),
              std::nullopt);
    const std::string app = "Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\UT2004";
    EXPECT_EQ(reg.value(app, "Folder"), "D:\\Spiele\\Unreal Tournament 2004");
    EXPECT_EQ(reg.value(app, ""), "default");
    EXPECT_EQ(reg.value(app, "Name"), "Caf\xc3\xa9 \xe2\x98\xba");
    EXPECT_EQ(reg.value("Software\\Other", "Folder"), std::nullopt);

    // Damaged text: what can be read is read, the rest passed over.
    WineRegistry damaged;
    damaged.parse("[Software\\\\A] 1\n\"Folder\"=\"no end\n\"Ok\"=\"yes\"\n[unclosed\n\"X\"=\"y\"\n"
                  "\"\\x\"=\"\\xzz\"\n\x00\xff garbage\n");
    EXPECT_EQ(damaged.value("Software\\A", "Ok"), "yes");
    EXPECT_EQ(damaged.value("Software\\A", "Folder"), std::nullopt);
}

// A big registry is read a piece at a time: lines cut by a piece's end and
// after an overlong line are read whole, and what is kept stays within its
// budget however many wanted values the file holds.
TEST(WineRegistry, ABigFileIsReadInPiecesAndKeepsOnlyItsBudget) {
    GameFixture fx;
    std::string text = "WINE REGISTRY Version 2\n[Software\\\\Filler] 1\n";
    while (text.size() < (3u << 20)) // past several pieces
        text += "\"Pad" + std::to_string(text.size()) + "\"=\"" + std::string(97, 'p') + "\"\n";
    text += "\"Long\"=\"" + std::string(3u << 20, 'l') + "\"\n"; // an overlong line
    text += "[Software\\\\Game] 1\n\"Folder\"=\"C:\\\\Game\"\n[Software\\\\Many] 1\n";
    for (int i = 0; i < 100000; ++i)
        text += "\"V" + std::to_string(i) + "\"=\"" + std::string(100, 'v') + "\"\n";
    writeFile(fx.dir / "system.reg", text);
    WineRegistry reg;
    ASSERT_TRUE(reg.load(fx.dir / "system.reg", [](std::string_view key) {
        return key == "Software\\Game" || key == "Software\\Many";
    }));
    EXPECT_EQ(reg.value("Software\\Game", "Folder"), "C:\\Game");
    EXPECT_EQ(reg.value("Software\\Many", "V0"), std::string(100, 'v'));
    EXPECT_EQ(reg.value("Software\\Many", "V99999"), std::nullopt); // past the budget
    // Not a regular file: not read (a FIFO would block).
    ASSERT_EQ(::mkfifo((fx.dir / "fifo.reg").c_str(), 0644), 0);
    EXPECT_FALSE(WineRegistry().load(fx.dir / "fifo.reg"));
}

TEST(SteamLibraries, BothFormsOfTheListAreRead) {
    const std::string current = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/"
                                ".local/share/Steam\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n"
                                "\t\t\t\"13230\"\t\t\"3412345678\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n"
                                "\t\t\"path\"\t\t\"/mnt/games/Steam Library\"\n\t}\n}\n";
    EXPECT_EQ(steamLibraryPaths(current),
              (std::vector<std::string>{"/home/p/.local/share/Steam", "/mnt/games/Steam Library"}));
    const std::string older = "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n"
                              "\t\"ContentStatsID\"\t\t\"-123\"\n\t\"1\"\t\t\"/data/steam\"\n}\n";
    EXPECT_EQ(steamLibraryPaths(older), std::vector<std::string>{"/data/steam"});
    EXPECT_TRUE(steamLibraryPaths("\"path\" \"unterminated").empty());
}

TEST(GameProcess, TheNativeBinaryOrTheWindowsProgramUnderWineIsTheGameRunning) {
    tvtest::TempDir proc;
    writeFile(proc / "1/comm", "systemd\n");
    writeFile(proc / "1/cmdline", std::string("/sbin/init\0splash\0", 18));
    writeFile(proc / "self/comm", "not a process\n");
    EXPECT_FALSE(gameIsRunning(Game::UT2003, proc.path()));
    EXPECT_FALSE(gameIsRunning(Game::UT2004, proc.path()));
    // comm is cut at 15 characters.
    writeFile(proc / "4242/comm", "ut2004-bin-linu\n");
    EXPECT_TRUE(gameIsRunning(Game::UT2004, proc.path()));
    EXPECT_FALSE(gameIsRunning(Game::UT2003, proc.path()));
    writeFile(proc / "777/comm", "wine-preloader\n");
    writeFile(proc / "777/cmdline", std::string("C:\\UT2003\\System\\UT2003.exe\0-log\0", 34));
    EXPECT_TRUE(gameIsRunning(Game::UT2003, proc.path()));
    // Started through wine: the program is its first argument.
    tvtest::TempDir proton;
    writeFile(proton / "9/comm", "wine64\n");
    writeFile(proton / "9/cmdline", std::string("wine64\0D:\\Games\\System\\ut2004.exe\0", 36));
    EXPECT_TRUE(gameIsRunning(Game::UT2004, proton.path()));
    // The game's name as a file to edit, to page or for a shell is no game.
    tvtest::TempDir others;
    writeFile(others / "20/comm", "vim\n");
    writeFile(others / "20/cmdline", std::string("vim\0/home/p/UT2004.exe\0", 23));
    writeFile(others / "21/comm", "less\n");
    writeFile(others / "21/cmdline", std::string("less\0ut2004-bin\0", 16));
    writeFile(others / "22/comm", "bash\n");
    writeFile(others / "22/cmdline", std::string("bash\0-c\0UT2004.exe\0", 19));
    EXPECT_FALSE(gameIsRunning(Game::UT2004, others.path()));
    // Proton's wine, named by its path.
    writeFile(others / "23/comm", "wine\n");
    writeFile(others / "23/cmdline",
              std::string("/srv/Proton/files/bin/wine\0C:\\UT2003\\System\\UT2003.exe\0", 55));
    EXPECT_TRUE(gameIsRunning(Game::UT2003, others.path()));
    EXPECT_FALSE(gameIsRunning(Game::UT2004, others.path()));
    EXPECT_EQ(gameRunningText(Game::UT2003),
              "UT2003 is running. Close the game first, then try again.");
    EXPECT_FALSE(gameIsRunning(Game::UT2003, proc / "missing"));
    // A game that has ended but was not waited for (a zombie) runs nothing;
    // a name with ") Z" in it does not fool the state's reading.
    tvtest::TempDir ended;
    writeFile(ended / "31/comm", "ut2004-bin\n");
    writeFile(ended / "31/stat", "31 (ut2004-bin) Z 30 31 31 0 -1 4227084 0 0 0 0 0 0\n");
    EXPECT_FALSE(gameIsRunning(Game::UT2004, ended.path()));
    writeFile(ended / "32/comm", "UT2004.exe\n");
    writeFile(ended / "32/stat", "32 (UT2004.exe) Z) S 30 32 32 0 -1 4227084 0 0 0 0 0 0\n");
    EXPECT_TRUE(gameIsRunning(Game::UT2004, ended.path()));
}

// Where a running game's install can be told, only that install waits: a
// Windows program by the System folder it runs in, a native binary by its
// path and the player folder every native install of the game shares.
TEST(GameProcess, OnlyTheInstallTheGameRunsFromWaits) {
    tvtest::TempDir root;
    const std::string home = root / "home";
    auto install = [&](const std::string& folder, InstallKind kind) {
        GameInstall in;
        in.game = Game::UT2004;
        in.kind = kind;
        in.gameFolder = root / folder;
        in.userFolder = kind == InstallKind::Native ? home + "/.ut2004" : in.gameFolder;
        std::filesystem::create_directories(in.gameFolder + "/System");
        std::filesystem::create_directories(in.userFolder);
        return in;
    };
    const GameInstall wineA = install("A", InstallKind::Wine),
                      wineB = install("B", InstallKind::Wine);
    const GameInstall native1 = install("N1", InstallKind::Native);
    const GameInstall native2 = install("N2", InstallKind::Native);
    auto inUse = [&](const std::string& proc) {
        std::string out;
        for (const GameInstall* in : {&wineA, &wineB, &native1, &native2})
            out += installIsInUse(*in, home, proc) ? '1' : '0';
        return out;
    };
    tvtest::TempDir wine;
    writeFile(wine / "10/comm", "wine-preloader\n");
    writeFile(wine / "10/cmdline", std::string("C:\\UT2004\\System\\UT2004.exe") + '\0');
    std::filesystem::create_directory_symlink(wineA.gameFolder + "/System", wine / "10/cwd");
    EXPECT_EQ(inUse(wine.path()), "1000");
    tvtest::TempDir native;
    writeFile(native / "20/comm", "ut2004-bin-linu\n");
    std::filesystem::create_symlink(native2.gameFolder + "/System/ut2004-bin-linux-amd64",
                                    native / "20/exe");
    EXPECT_EQ(inUse(native.path()), "0011"); // the native installs share ~/.ut2004
    tvtest::TempDir untold; // no exe or cwd to read: every install of the game waits
    writeFile(untold / "30/comm", "UT2004.exe\n");
    EXPECT_EQ(inUse(untold.path()), "1111");
}

namespace {

// A cache of two packages (a map and a texture) with the index's line ends.
void makeCache(const std::string& cache, const std::string& eol, bool numbered) {
    std::string index = "[Cache]" + eol;
    for (int i : {1, 2}) {
        const std::string name = i == 1 ? "DM-Home.ut2" : "HomeTex.utx";
        index += tvtest::ident(i) + (numbered ? "-1=" : "=") + name + eol;
        writeFile(cache + "/" + tvtest::ident(i) + ".uxx", tvtest::packageBytes(name));
    }
    writeFile(cache + "/cache.ini", index);
}

std::string liveIni(const std::string& eol, const std::string& purge) {
    return "[Engine.Engine]" + eol + "RenderDevice=OpenGLDrv.OpenGLRenderDevice" + eol + eol +
           "[Core.System]" + eol + "PurgeCacheDays=" + purge + eol + "CachePath=../Cache" + eol +
           "CacheExt=.uxx" + eol + "Paths=../System/*.u" + eol;
}

// Five installs under one fake home, as players have them.
struct FakeHome {
    GameFixture fx;
    std::string home = fx.home;
    std::string native2003 = home + "/Games/ut2003";
    std::string user2003 = home + "/.ut2003";
    std::string native2004 = home + "/.local/share/OldUnreal/UT2004";
    std::string user2004 = home + "/.ut2004";
    // In no folder the fallback list tries: only the key finds it.
    std::string wine2004 = home + "/.wine/drive_c/Spiele/UT2004";
    std::string lutris2003 = fx.dir / "Srv/Ut2003";
    std::string steam2004 = fx.dir / "SteamLib2/steamapps/common/Unreal Tournament 2004";

    FakeHome() {
        // Native UT2003: the game folder read-only, a fresh player folder
        // with no type folders yet, LF line ends, never purge.
        writeFile(native2003 + "/System/ut2003-bin", "ELF");
        writeFile(native2003 + "/System/Default.ini", "[Core.System]\n");
        writeFile(user2003 + "/System/UT2003.ini", liveIni("\n", "0"));
        writeFile(user2003 + "/System/User.ini", "[DefaultPlayer]\nName=Native\n");
        makeCache(user2003 + "/Cache", "\n", false);
        // Native UT2004 from the community installer.
        writeFile(native2004 + "/System/ut2004-bin-linux-amd64", "ELF");
        writeFile(user2004 + "/System/UT2004.ini", liveIni("\n", "90"));
        makeCache(user2004 + "/Cache", "\n", true);
        // Wine: the key in the 32-bit view of a 64-bit prefix.
        writeFile(home + "/.wine/system.reg",
                  "WINE REGISTRY Version 2\n#arch=win64\n\n"
                  "[Software\\\\Wow6432Node\\\\Unreal Technology\\\\Installed Apps\\\\UT2004] "
                  "1700000000\n\"Folder\"=\"C:\\\\Spiele\\\\UT2004\"\n");
        fs::create_directories(home + "/.wine/dosdevices");
        fs::create_symlink("../drive_c", home + "/.wine/dosdevices/c:");
        windowsGame(wine2004, "UT2004", "Maps");
        // Lutris: a prefix of its own, the game on drive Z: in other letter
        // case, the key written in other letter case too.
        const std::string lutris = home + "/Games/ut2003-lutris";
        writeFile(lutris + "/system.reg",
                  "WINE REGISTRY Version 2\n\n[SOFTWARE\\\\unreal technology\\\\INSTALLED "
                  "APPS\\\\UT2003] 1\n\"FOLDER\"=str(2):\"Z:\\\\srv\\\\UT2003\"\n");
        fs::create_directories(lutris + "/drive_c");
        fs::create_directories(lutris + "/dosdevices");
        fs::create_symlink(fx.dir.path(), lutris + "/dosdevices/z:");
        windowsGame(lutris2003, "UT2003", "Maps");
        // Steam: UT2004 in the second library, its maps folder lower-case.
        writeFile(home + "/.local/share/Steam/steamapps/libraryfolders.vdf",
                  "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + home +
                      "/.local/share/Steam\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                      (fx.dir / "SteamLib2") + "\"\n\t}\n}\n");
        windowsGame(steam2004, "UT2004", "maps");
        // No game chosen yet.
        fs::remove(fx.registry);
    }

    void windowsGame(const std::string& folder, const std::string& game, const char* maps) {
        writeFile(folder + "/System/" + game + ".exe", "MZ");
        writeFile(folder + "/System/" + game + ".ini", liveIni("\r\n", "90"));
        for (const char* sub : {maps, "Textures"})
            fs::create_directories(folder + "/" + sub);
        makeCache(folder + "/Cache", "\r\n", game == "UT2004");
    }

    // Everything below the test's folder but `except` and the program folder.
    std::map<std::string, std::string> othersThan(const std::string& except) const {
        auto all = tvtest::snapshotTree(fx.dir.path());
        std::map<std::string, std::string> out;
        const std::string skip = fs::relative(except, fx.dir.path()).string();
        for (auto& [path, what] : all)
            if (path.rfind(skip, 0) != 0 && path.rfind("program", 0) != 0 && path != "stderr.txt")
                out.emplace(path, what);
        return out;
    }
};

} // namespace

TEST(Discovery, FindsEveryKindOfInstallAndWritesNothing) {
    FakeHome h;
    const auto before = tvtest::snapshotTree(h.fx.dir.path());
    const auto found = discoverInstalls(DiscoveryPlaces::fromEnvironment());
    ASSERT_EQ(found.size(), 5u);
    auto is = [](const GameInstall& in, Game g, InstallKind k, const std::string& game,
                 const std::string& user) {
        EXPECT_EQ(in.game, g) << game;
        EXPECT_EQ(in.kind, k) << game;
        EXPECT_EQ(in.gameFolder, game);
        EXPECT_EQ(in.userFolder, user);
        EXPECT_EQ(in.cacheFolder, user + "/Cache");
        EXPECT_EQ(in.cacheExt, "uxx");
    };
    is(found[0], Game::UT2003, InstallKind::Native, h.native2003, h.user2003);
    EXPECT_EQ(found[0].purgeDays, "0");
    EXPECT_EQ(found[0].gameIni, h.user2003 + "/System/UT2003.ini");
    is(found[1], Game::UT2004, InstallKind::Native, h.native2004, h.user2004);
    is(found[2], Game::UT2004, InstallKind::Wine, h.wine2004, h.wine2004);
    is(found[3], Game::UT2003, InstallKind::Wine, h.lutris2003, h.lutris2003);
    is(found[4], Game::UT2004, InstallKind::Steam, h.steam2004, h.steam2004);
    EXPECT_EQ(tvtest::snapshotTree(h.fx.dir.path()), before);

    // A stored folder already found adds nothing; another is added as chosen.
    EXPECT_EQ(discoverInstalls(DiscoveryPlaces::fromEnvironment(), h.wine2004).size(), 5u);
    const auto withStored = discoverInstalls(DiscoveryPlaces::fromEnvironment(), h.fx.game);
    ASSERT_EQ(withStored.size(), 6u);
    EXPECT_EQ(withStored[5].kind, InstallKind::ByHand);
    EXPECT_EQ(withStored[5].gameFolder, h.fx.game);
}

// The community release (3374 and later) has one binary per processor,
// named after the game; its player folder is ~/.ut2004, there or not yet.
TEST(Discovery, TheCommunityReleaseIsFoundByTheBinaryOfEachProcessor) {
    for (const char* binary :
         {"System/UT2004", "SystemARM64/UT2004", "SystemPPC64LE/UT2004-powerpc64le"}) {
        GameFixture fx;
        const std::string game = fx.home + "/.local/share/OldUnreal/UT2004";
        writeFile(game + "/" + binary, "ELF");
        writeFile(game + "/System/Engine.u", "stock");
        auto found = discoverInstalls(DiscoveryPlaces::fromEnvironment());
        ASSERT_EQ(found.size(), 1u) << binary;
        EXPECT_EQ(found[0].game, Game::UT2004);
        EXPECT_EQ(found[0].kind, InstallKind::Native);
        EXPECT_EQ(found[0].gameFolder, game);
        EXPECT_EQ(found[0].userFolder, fx.home + "/.ut2004");
        // Any other folder holding it, chosen by hand, is the same game.
        const std::string elsewhere = fx.dir / "Elsewhere";
        writeFile(elsewhere + "/" + binary, "ELF");
        fs::create_directories(fx.home + "/.ut2004");
        const GameInstall chosen = installFromFolder(elsewhere, fx.home);
        EXPECT_EQ(chosen.game, Game::UT2004) << binary;
        EXPECT_EQ(chosen.userFolder, fx.home + "/.ut2004") << binary;
    }
    // A folder named so is no binary.
    GameFixture fx;
    fs::create_directories(fx.home + "/.local/share/OldUnreal/UT2004/System/UT2004");
    EXPECT_TRUE(discoverInstalls(DiscoveryPlaces::fromEnvironment()).empty());
}

TEST(Discovery, AnEmptyHomeFindsNothing) {
    GameFixture fx;
    EXPECT_TRUE(discoverInstalls(DiscoveryPlaces::fromEnvironment()).empty());
    // Without the usual folders there is nothing to map a Windows path to.
    EXPECT_EQ(windowsPathInPrefix(fx.home, "C:\\UT2004"), "");
    EXPECT_EQ(windowsPathInPrefix(fx.home, "UT2004"), "");
    // A key pointing out of the drive is no install.
    std::filesystem::create_directories(fx.home + "/.wine/drive_c/UT2004");
    EXPECT_EQ(windowsPathInPrefix(fx.home + "/.wine", "C:\\UT2004"),
              std::filesystem::canonical(fx.home + "/.wine/drive_c/UT2004").string());
    // Folders that exist where a climbing path would lead.
    std::filesystem::create_directories(fx.home + "/.wine/UT2003");
    std::filesystem::create_directories(fx.home + "/UT2003");
    EXPECT_EQ(windowsPathInPrefix(fx.home + "/.wine", "C:\\..\\UT2003"), "");
    EXPECT_EQ(windowsPathInPrefix(fx.home + "/.wine", "C:\\..\\..\\UT2003"), "");
    EXPECT_EQ(windowsPathInPrefix(fx.home + "/.wine", "C:\\UT2004\\..\\..\\UT2003"), "");
}

// A Wine drive mapped to / or a folder given as / would make the game's
// folders relative ("Cache", wherever the program runs) or the whole disk.
TEST(Discovery, TheRootFolderIsNeverAGameFolder) {
    GameFixture fx;
    writeFile(fx.home + "/.wine/system.reg",
              "WINE REGISTRY Version 2\n\n[Software\\\\Unreal Technology\\\\Installed "
              "Apps\\\\UT2004] 1\n\"Folder\"=\"D:\\\\\"\n");
    std::filesystem::create_directories(fx.home + "/.wine/drive_c");
    std::filesystem::create_directories(fx.home + "/.wine/dosdevices");
    std::filesystem::create_directory_symlink("/", fx.home + "/.wine/dosdevices/d:");
    EXPECT_TRUE(discoverInstalls(DiscoveryPlaces::fromEnvironment()).empty());
    EXPECT_EQ(withoutTrailingSeparator("//"), "/");

    auto r = tvtest::runCli(fx, "--game / purge --yes");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("/ is the root folder, not a game folder."), std::string::npos) << r.err;
    RegistryStore(fx.registry).setValue(tvtest::kGameKey, "Folder", RegValue::text("/"));
    r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("The stored game folder cannot be used. / is the root folder"),
              std::string::npos)
        << r.err;
}

// An index that is a FIFO (which would block a read) or a link to a device
// (which never ends) is read as no index, at once.
TEST(Discovery, AnIndexThatIsNoFileIsNeverWaitedForOrReadWithoutEnd) {
    GameFixture fx;
    std::filesystem::remove(fx.cache + "/Cache.ini");
    ASSERT_EQ(::mkfifo((fx.cache + "/Cache.ini").c_str(), 0644), 0);
    for (int round = 0; round < 2; ++round) {
        auto r = tvtest::runCli(fx, "games");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(fx.cache + "\t0\n"), std::string::npos) << r.out;
        r = tvtest::runCli(fx, "tidy --yes");
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find("Cache.INI is MISSING"), std::string::npos)
            << r.out << r.err;
        std::filesystem::remove(fx.cache + "/Cache.ini");
        std::filesystem::create_symlink("/dev/zero", fx.cache + "/Cache.ini");
    }
}

TEST(Discovery, TheMachinesOwnFoldersAndProcessesAreOutOfSight) {
    // The fixture is the machine: a game under its /opt is found, the real
    // /opt is never looked at.
    GameFixture fx;
    for (const auto& root : DiscoveryPlaces::fromEnvironment().nativeRoots)
        EXPECT_EQ(root.rfind(fx.dir.path(), 0), 0u) << root;
    EXPECT_TRUE(discoverInstalls(DiscoveryPlaces::fromEnvironment()).empty());
    writeFile(fx.machine + "/opt/ut2004/System/ut2004-bin-linux-amd64", "ELF");
    const auto found = discoverInstalls(DiscoveryPlaces::fromEnvironment());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].gameFolder, fx.machine + "/opt/ut2004");
    // Nor is a game running on this machine seen; one in the fixture's processes is.
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2")});
    EXPECT_EQ(tvtest::runCli(fx, "run").status, 0);
    writeFile(fx.proc + "/77/comm", "ut2003-bin\n");
    EXPECT_EQ(tvtest::runCli(fx, "undo --yes --all").status, 3);
}

TEST(Discovery, TheGamesCommandListsEachInstallWithItsCache) {
    FakeHome h;
    auto r = tvtest::runCli(h.fx, "games");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\tUT2003\tnative\t" + h.native2003 + "\t" + h.user2003 + "/Cache\t2\n" +
                         "2\tUT2004\tnative\t" + h.native2004 + "\t" + h.user2004 + "/Cache\t2\n" +
                         "3\tUT2004\twine\t" + h.wine2004 + "\t" + h.wine2004 + "/Cache\t2\n" +
                         "4\tUT2003\twine\t" + h.lutris2003 + "\t" + h.lutris2003 + "/Cache\t2\n" +
                         "5\tUT2004\tsteam\t" + h.steam2004 + "\t" + h.steam2004 + "/Cache\t2\n");
    // Without a choice, a command says how to make one.
    r = tvtest::runCli(h.fx, "scan");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tessvane-cli games lists the installs found"), std::string::npos);
    r = tvtest::runCli(h.fx, "--game 6 scan");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("there is no install 6 (5 found"), std::string::npos);
}

TEST(GameLabel, NamesTheGameItsKindAndItsCacheWithHomeAsTilde) {
    GameInstall native;
    native.game = Game::UT2004;
    native.kind = InstallKind::Native;
    EXPECT_EQ(installLabel(native, "/home/joe/.ut2004/Cache", "/home/joe/"),
              "UT2004 (native) \u2014 ~/.ut2004/Cache");
    // Another folder that starts as the home does, or any folder when there
    // is no home, is written whole.
    const GameInstall chosen; // UT2003 in a folder chosen by hand
    EXPECT_EQ(installLabel(chosen, "/home/joe2/Cache", "/home/joe"),
              "UT2003 (chosen folder) \u2014 /home/joe2/Cache");
    EXPECT_EQ(installLabel(chosen, "/srv/Cache", ""), "UT2003 (chosen folder) \u2014 /srv/Cache");
}

TEST(Discovery, EachInstallIsScannedRunAndUndoneWritingOnlyItsPlayersFolder) {
    FakeHome h;
    const std::vector<std::pair<std::string, const char*>> users = {{h.user2003, "Maps"},
                                                                    {h.user2004, "Maps"},
                                                                    {h.wine2004, "Maps"},
                                                                    {h.lutris2003, "Maps"},
                                                                    {h.steam2004, "maps"}};
    std::unique_ptr<tvtest::ReadOnly> locked;
    locked = std::make_unique<tvtest::ReadOnly>(h.native2003);
    for (size_t n = 1; n <= users.size(); ++n) {
        const auto& [user, maps] = users[n - 1];
        SCOPED_TRACE(user);
        const std::string game = "--game " + std::to_string(n) + " ";
        const auto others = h.othersThan(user);
        const std::string index = tvtest::readFile(user + "/Cache/cache.ini");
        const std::string config =
            tvtest::readFile(user + "/System/" +
                             (user.find("2004") != std::string::npos ? std::string("UT2004.ini")
                                                                     : std::string("UT2003.ini")));
        auto r = tvtest::runCli(h.fx, game + "scan --select all");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("1\tDM-Home.ut2"), std::string::npos) << r.out;

        r = tvtest::runCli(h.fx, game + "run --select all --no-backup");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(tvtest::exists(user + "/" + maps + "/DM-Home.ut2"));
        EXPECT_TRUE(tvtest::exists(user + "/Textures/HomeTex.utx"));
        // The index keeps its line ends; only the moved lines went.
        const std::string eol = index.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        EXPECT_EQ(tvtest::readFile(user + "/Cache/cache.ini"), "[Cache]" + eol);
        if (n == 1) {
            EXPECT_NE(r.out.find("Created folder " + user + "/Maps"), std::string::npos);
            EXPECT_NE(r.out.find("Created folder " + user + "/Textures"), std::string::npos);
        }

        r = tvtest::runCli(h.fx, game + "undo --yes --all");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(tvtest::exists(user + "/" + maps + "/DM-Home.ut2"));
        EXPECT_EQ(tvtest::readFile(user + "/Cache/cache.ini").find('\r') == std::string::npos,
                  index.find('\r') == std::string::npos);
        // Nothing written outside the player's folder (and the program's);
        // the game's configuration as it was, never purge left alone.
        EXPECT_EQ(h.othersThan(user), others);
        EXPECT_EQ(
            tvtest::readFile(user + "/System/" +
                             (user.find("2004") != std::string::npos ? std::string("UT2004.ini")
                                                                     : std::string("UT2003.ini"))),
            config);
    }
}

TEST(GameConfiguration, IsNeverCreatedAndNeverPurgeStaysNever) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-A.ut2")});
    const std::string ini = fx.game + "/System/UT2003.ini";
    fs::remove(ini);
    const auto before = tvtest::snapshotTree(fx.game);
    // A scan, a dry run and "Set" leave the missing configuration missing.
    auto r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(r.status, 0) << r.err;
    r = tvtest::runCli(fx, "run --dry-run");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("INIWriteSetting"), std::string::npos) << r.err;
    r = tvtest::runCli(fx, "set-purge 60");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    EXPECT_EQ(tvtest::snapshotTree(fx.game), before);
    EXPECT_FALSE(tvtest::exists(ini));

    // 0 means never purge: a scan leaves it so; 30 or less is still raised.
    writeFile(ini, "[Core.System]\r\nPurgeCacheDays=0\r\n");
    r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\r\nPurgeCacheDays=0\r\n");
    for (const char* days : {"14", "30"}) {
        writeFile(ini, "[Core.System]\nPurgeCacheDays=" + std::string(days) + "\n");
        r = tvtest::runCli(fx, "scan");
        EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\nPurgeCacheDays=360\n") << days;
        // Said, not done behind the player's back; a note, not a row.
        EXPECT_NE(
            r.err.find("PurgeCacheDays in " + ini + " was \"" + days + "\"; it is now 360 days"),
            std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find("PurgeCacheDays"), std::string::npos) << r.out;
    }
    // While the game runs (it writes its configuration back when it ends)
    // neither a scan nor set-purge writes it.
    writeFile(ini, "[Core.System]\nPurgeCacheDays=14\n");
    writeFile(fx.proc + "/4242/comm", "ut2003-bin\n");
    r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(r.status, 0) << r.err;
    r = tvtest::runCli(fx, "set-purge 90");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("UT2003 is running (pid 4242"), std::string::npos) << r.err;
    EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\nPurgeCacheDays=14\n");
    fs::remove_all(fx.proc + "/4242");
    r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\nPurgeCacheDays=360\n");
    writeFile(ini, "[Core.System]\nPurgeCacheDays=31\n");
    r = tvtest::runCli(fx, "scan");
    EXPECT_EQ(tvtest::readFile(ini), "[Core.System]\nPurgeCacheDays=31\n");
}

TEST(GameProcess, RunUndoPurgeAndInstallsRefuseWhileTheGameRuns) {
    GameFixture fx;
    const std::string line = fx.addEntry(1, "DM-A.ut2");
    fx.writeCacheIni({line});
    tvtest::TempDir proc;
    writeFile(proc / "31337/comm", "ut2003-bin\n");
    const std::string env = "TESSVANE_PROC_ROOT=" + proc.path();
    const auto before = tvtest::snapshotTree(fx.game);
    for (const char* command : {"run --select all", "purge --yes"}) {
        auto r = tvtest::runCli(fx, command, env);
        EXPECT_EQ(r.status, 3) << command;
        EXPECT_NE(r.err.find("UT2003 is running (pid 31337, ut2003-bin). Close the game first, "
                             "then try again."),
                  std::string::npos)
            << command << r.err;
    }
    const std::string archive = fx.dir / "DM-Zip.zip";
    tvtest::makeZip(archive, {{"DM-Zip.ut2", "map"}});
    auto r = tvtest::runCli(fx, "zip --no-preview " + archive, env);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Zip.ut2"));
    fs::remove(archive);
    // A scan only reads: it works, the game running or not.
    r = tvtest::runCli(fx, "scan", env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tvtest::snapshotTree(fx.game), before);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + tvtest::ident(1) + ".uxx"));
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), tvtest::crlf({"[Cache]", line}));

    // Once the game has ended the run goes ahead, and the undo refuses while it runs again.
    r = tvtest::runCli(fx, "run --select all");
    EXPECT_EQ(r.status, 0) << r.err;
    r = tvtest::runCli(fx, "undo --yes --all", env);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-A.ut2"));
}

// The community release's binary running (a copy of a small program under
// its name, seen through the real /proc): every command that writes waits
// and says which process it saw; the stock packages are found in its folder.
TEST(GameProcess, TheCommunityReleaseRunningBlocksEveryOperationAndIsNamed) {
    using namespace std::chrono_literals;
    GameFixture fx;
    const std::string game = fx.home + "/.local/share/OldUnreal/UT2004";
    const std::string user = fx.home + "/.ut2004";
    writeFile(game + "/System/Core.u", tvtest::makePackageTables({}));
    writeFile(game + "/System/Engine.u",
              tvtest::makePackageTables({{"Core", "Package", 0, "Core"}}));
    writeFile(user + "/System/UT2004.ini", liveIni("\n", "0"));
    writeFile(user + "/Cache/" + tvtest::ident(1) + ".uxx",
              tvtest::makePackageTables(
                  {{"Core", "Package", 0, "Core"}, {"Core", "Package", 0, "Engine"}}));
    writeFile(user + "/Cache/" + tvtest::ident(2) + ".uxx", tvtest::makePackageTables({}));
    writeFile(user + "/Cache/cache.ini", tvtest::crlf({"[Cache]", tvtest::ident(1) + "=DM-A.ut2",
                                                       tvtest::ident(2) + "=B.utx"}));
    const std::string binary = game + "/System/UT2004";
    fs::copy_file("/bin/sleep", binary);
    fs::permissions(binary, fs::perms::owner_exec, fs::perm_options::add);
    const std::string env = "TESSVANE_PROC_ROOT=/proc";

    auto r = tvtest::runCli(fx, "--game 1 needs DM-A.ut2", env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "DM-A.ut2\tCore\tinstalled " + game + "/System/Core.u\n" +
                         "DM-A.ut2\tEngine\tinstalled " + game + "/System/Engine.u\n");

    r = tvtest::runCli(fx, "--game 1 run --no-backup --only DM-A.ut2", env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const pid_t pid = tvtest::spawn({binary, "600"}, {}, fx.dir / "game.out");
    struct Ends {
        pid_t pid;
        ~Ends() {
            ::kill(pid, SIGKILL);
            tvtest::waitExit(pid, 10s);
        }
    } ends{pid};
    const std::string archive = fx.dir / "DM-Zip.zip";
    tvtest::makeZip(archive, {{"DM-Zip.ut2", tvtest::packageBytes("DM-Zip.ut2")}});
    const auto before = tvtest::snapshotTree(fx.home);
    const std::string said = "UT2004 is running (pid " + std::to_string(pid) +
                             ", ~/.local/share/OldUnreal/UT2004/System/UT2004). Close the game "
                             "first, then try again.";
    for (const std::string& command :
         std::vector<std::string>{"run --select all", "undo --yes --all", "purge --yes",
                                  "clean-tmp", "tidy --yes", "zip --no-preview " + archive}) {
        r = tvtest::runCli(fx, "--game 1 " + command, env);
        EXPECT_EQ(r.status, 3) << command << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(said), std::string::npos) << command << "\n" << r.err;
    }
    EXPECT_EQ(tvtest::snapshotTree(fx.home), before);
    ::kill(pid, SIGKILL);
    tvtest::waitExit(pid, 10s);
    r = tvtest::runCli(fx, "--game 1 run --no-backup --select all", env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(tvtest::exists(user + "/Textures/B.utx"));
}

TEST(StoredInstall, ValuesWrittenForAnotherFolderNeverChooseTheGameOrItsCache) {
    FakeHome h;
    const std::string gameKey =
        "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003";
    const std::string ownKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
    auto store = [&](const std::string& key, const std::string& name, const std::string& value) {
        tv::RegistryStore(h.fx.registry).setValue(key, name, tv::RegValue::text(value));
    };
    // The game's key names the Lutris UT2003 (another program wrote it);
    // Tessvane's values, the cache folder label included, are the native UT2004's.
    store(gameKey, "Folder", h.lutris2003);
    store(ownKey, "Game", "UT2004");
    store(ownKey, "GameKind", "native");
    store(ownKey, "UserFolder", h.user2004);
    store(ownKey, "InstallFolder", h.native2004);
    store(ownKey, "CacheDir", h.user2004 + "/Cache");
    store(ownKey, "CacheDirGame", h.native2004);
    auto r = tvtest::runCli(h.fx, "run --select all --no-backup");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tvtest::exists(h.lutris2003 + "/Maps/DM-Home.ut2"));
    EXPECT_FALSE(tvtest::exists(h.user2004 + "/Maps/DM-Home.ut2"));
    EXPECT_TRUE(tvtest::exists(h.user2004 + "/Cache/" + tvtest::ident(1) + ".uxx"));

    // A game chosen is stored with its cache folder at once.
    {
        tv::RegistryStore registry(h.fx.registry);
        tv::RecordingPrompter prompter;
        tv::Session session(h.fx.program, registry, prompter);
        // Browse... given up goes back to the list; then the Wine UT2004, third found.
        prompter.picks = {tv::kChoseOther, 2};
        ASSERT_TRUE(session.chooseGame(false));
        EXPECT_TRUE(prompter.picks.empty());
        const auto cacheDir = tv::RegistryStore(h.fx.registry).value(ownKey, "CacheDir");
        ASSERT_TRUE(cacheDir);
        EXPECT_EQ(cacheDir->data, h.wine2004 + "/Cache" + std::string(1, '\0'));
    }

    // The label saved for one install is not another's: --game works on its own cache.
    store(ownKey, "CacheDir", h.wine2004 + "/Cache");
    store(ownKey, "CacheDirGame", h.wine2004);
    r = tvtest::runCli(h.fx, "--game 5 run --select all --no-backup");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tvtest::exists(h.steam2004 + "/maps/DM-Home.ut2"));
    EXPECT_TRUE(tvtest::exists(h.wine2004 + "/Cache/" + tvtest::ident(1) + ".uxx"));
    EXPECT_FALSE(tvtest::exists(h.wine2004 + "/Maps/DM-Home.ut2"));
}
