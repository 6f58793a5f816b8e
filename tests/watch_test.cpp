// tessvane-cli watch: the downloads of a game moved once it has ended.
#include "package_support.h"
#include "session_bus.h"
#include "test_support.h"

#include "desktop/child_process.h"
#include "desktop/watch_service.h"
#include "formats/registry_store.h"
#include "platform/operation_lock.h"
#include "session/after_game_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

extern char** environ;

using tvtest::GameFixture;
using tvtest::ident;

TEST(Watch, OnceMovesWhatCameDuringTheGameAfterItEndsAndOneWatchAtATime) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2")});
    tvtest::TempDir proc;
    tvtest::writeFile(proc / "5/comm", "UT2003.exe\n"); // the game runs
    tvtest::SessionBus bus;
    std::optional<tvtest::FakeNotifications> notices;
    if (bus.usable()) notices.emplace(bus);
    const std::string env = "TESSVANE_PROC_ROOT=" + proc.path() +
                            " TESSVANE_WATCH_INTERVAL_MS=20 DBUS_SESSION_BUS_ADDRESS=" +
                            (bus.usable() ? bus.address() : "unix:path=/nonexistent");
    auto watch =
        std::async(std::launch::async, [&] { return tvtest::runCli(fx, "watch --once", env); });
    // The watch holds its lock before it looks at the cache: once the lock
    // file is there, a moment more and it has the names of before the game.
    auto locked = [&] {
        for (const auto& f : std::filesystem::directory_iterator(fx.program))
            if (f.path().filename().string().rfind("tessvane-watch-", 0) == 0) return true;
        return false;
    };
    for (int i = 0; i < 500 && !locked(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Downloads during the game; a second watch refused meanwhile, also for
    // another spelling of the same folder.
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2"), fx.addEntry(2, "DM-New.ut2"),
                      fx.addEntry(3, "NewTex.utx"), fx.addEntry(4, "NewSong.ogg")});
    const std::string link = fx.dir / "the-same-game";
    std::filesystem::create_directory_symlink(fx.game, link);
    const auto second =
        tvtest::runCli(fx, "--game " + tvtest::shellQuote(link) + " watch --once", env);
    EXPECT_EQ(second.status, 3);
    EXPECT_NE(second.err.find("another tessvane-cli watch"), std::string::npos) << second.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx")); // not while it runs
    std::filesystem::remove_all(proc / "5");                         // the game ends
    ASSERT_EQ(watch.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const auto r = watch.get();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* moved : {"/Maps/DM-New.ut2", "/Textures/NewTex.utx", "/Music/NewSong.ogg"})
        EXPECT_TRUE(tvtest::exists(fx.game + moved)) << moved << "\n" << r.out;
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Before.ut2")) << r.out;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    // Told on the desktop, without actions: nobody would hear them.
    if (notices) {
        ASSERT_EQ(notices->shown().size(), 1u) << r.out;
        EXPECT_EQ(notices->shown()[0].summary,
                  "1 map, 1 texture and 1 music file from the last game moved into " + fx.game);
        EXPECT_TRUE(notices->shown()[0].actions.empty());
    }
    // One undo takes the game's downloads back.
    const auto undo = tvtest::runCli(fx, "undo --yes --all");
    EXPECT_EQ(undo.status, 0) << undo.out << undo.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx"));
}

namespace {

using namespace std::chrono_literals;

// tessvane-cli started in the background with the fixture's folders and more
// of the environment; what it prints goes to files the test reads as it runs.
class Background {
public:
    Background(const GameFixture& fx, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::string& name = "background")
        : m_out(fx.dir / (name + ".out")) {
        std::vector<std::string> all{TESSVANE_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<std::string> vars{"TESSVANE_HOME=" + fx.program,
                                      "TESSVANE_REGISTRY=" + fx.registry};
        vars.insert(vars.end(), env.begin(), env.end());
        for (char** e = environ; *e; ++e)
            vars.emplace_back(*e); // later copies lose: the ones above hold
        m_pid = tvtest::spawn(all, vars, m_out);
    }
    ~Background() { stop(); }
    std::string out() const { return tvtest::readFile(m_out); }
    pid_t pid() const { return m_pid; }
    bool waitFor(const std::string& text, std::chrono::seconds limit = 10s) const {
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
            if (out().find(text) != std::string::npos) return true;
        return false;
    }
    // Asks it to end as the session's end does; its exit status.
    int stop() {
        if (m_pid <= 0) return m_status;
        ::kill(m_pid, SIGTERM);
        m_status = tvtest::waitExit(m_pid, 10s);
        m_pid = -1;
        return m_status;
    }

private:
    std::string m_out;
    pid_t m_pid = -1;
    int m_status = -1;
};

// The CPU time a process has used, in clock ticks.
long cpuTicks(pid_t pid) {
    const std::string stat = tvtest::readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stol(field);
    return ticks;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
        if (done()) return true;
    return done();
}

} // namespace

// The whole round as a player meets it: the watch sleeps, a game starts and
// downloads, nothing moves until it ends and the window's work is done, the
// desktop is told, and the notice's Undo takes the game's downloads back.
TEST(Watch, AGamesDownloadsMoveWhenItEndsAndTheNoticeTakesThemBack) {
    tvtest::SessionBus bus;
    if (!bus.usable()) GTEST_SKIP() << "dbus-daemon is not installed";
    tvtest::FakeNotifications notices(bus);
    ASSERT_TRUE(notices.ready());
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2")});
    Background watch(fx, {"watch"},
                     {"DBUS_SESSION_BUS_ADDRESS=" + bus.address(), "TESSVANE_PROC_ROOT=/proc",
                      "TESSVANE_WATCH_INTERVAL_MS=50"});
    ASSERT_TRUE(watch.waitFor("Watching")) << watch.out();

    // The game: a program of the game's name in its System folder.
    const std::string binary = fx.game + "/System/ut2003-bin";
    std::filesystem::copy_file("/bin/sleep", binary);
    const pid_t game = tvtest::spawn({binary, "600"}, {}, fx.dir / "game.out");
    struct Ends {
        pid_t pid;
        ~Ends() { // however the test ends, the game does not outlive it
            ::kill(pid, SIGKILL);
            tvtest::waitExit(pid, 10s);
        }
    } ends{game};
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2"), fx.addEntry(2, "DM-New.ut2"),
                      fx.addEntry(3, "NewTex.utx"), fx.addEntry(4, "NewSong.ogg")});
    ASSERT_TRUE(watch.waitFor("The game started")) << watch.out();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx")); // not while it runs

    // The game ends while the window is at work: the watch waits for it.
    std::optional<tv::OperationLock> windowWork(std::in_place, fx.program);
    ASSERT_TRUE(windowWork->held());
    ::kill(game, SIGTERM);
    tvtest::waitExit(game, 10s);
    ASSERT_TRUE(watch.waitFor("waits for it")) << watch.out();
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx"));
    windowWork.reset();

    const std::vector<std::string> moved{fx.game + "/Maps/DM-New.ut2",
                                         fx.game + "/Textures/NewTex.utx",
                                         fx.game + "/Music/NewSong.ogg"};
    auto allMoved = [&] {
        return std::all_of(moved.begin(), moved.end(), [](auto& f) { return tvtest::exists(f); });
    };
    EXPECT_TRUE(waitUntil(allMoved, 5s)) << watch.out();
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Before.ut2"));
    ASSERT_TRUE(notices.waitForShown(1)) << watch.out();
    const auto shown = notices.shown().front();
    EXPECT_EQ(shown.summary,
              "1 map, 1 texture and 1 music file from the last game moved into " + fx.game);
    EXPECT_EQ(shown.actions, (std::vector<std::string>{"undo", "Undo", "open", "Open Tessvane"}));

    // Only the service that showed the notice speaks for it.
    tvtest::sendActionFromElsewhere(bus, shown.id, "undo");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(allMoved()) << watch.out();
    notices.choose(shown.id, "undo");
    EXPECT_TRUE(waitUntil(
        [&] {
            return !std::any_of(moved.begin(), moved.end(),
                                [](auto& f) { return tvtest::exists(f); });
        },
        5s))
        << watch.out();
    for (int id : {2, 3, 4})
        EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(id) + ".uxx")) << id;
    ASSERT_TRUE(notices.waitForShown(2)) << watch.out();
    EXPECT_EQ(notices.shown()[1].summary, "The files from the last game went back into the cache");
    // The notice whose Undo was used offers it no more.
    EXPECT_EQ(notices.closed(), std::vector<uint32_t>{shown.id});
    // After all that, it sleeps again: a second of waiting costs next to no CPU
    // (a watch that keeps waking itself would use most of it).
    std::this_thread::sleep_for(300ms);
    const long before = cpuTicks(watch.pid());
    std::this_thread::sleep_for(1s);
    EXPECT_LT(cpuTicks(watch.pid()) - before, 25);
    EXPECT_EQ(watch.stop(), 0) << watch.out();
}

TEST(Watch, TheNoticeCountsEachTypeAndNamesTheFolderThatHoldsThemAll) {
    using tv::FileType;
    struct Home {
        std::string was = ::getenv("HOME") ? ::getenv("HOME") : "";
        Home() { ::setenv("HOME", "/home/al", 1); }
        ~Home() { ::setenv("HOME", was.c_str(), 1); }
    } home;
    EXPECT_EQ(tv::movedAfterGameText({{FileType::Map, "/home/al/.ut2004/Maps/A.ut2"},
                                      {FileType::Texture, "/home/al/.ut2004/Textures/T.utx"},
                                      {FileType::Map, "/home/al/.ut2004/Maps/B.ut2"}}),
              "2 maps and 1 texture from the last game moved into ~/.ut2004");
    EXPECT_EQ(tv::movedAfterGameText({{FileType::Map, "/home/al/.ut2004/Maps/A.ut2"}}),
              "1 map from the last game moved into ~/.ut2004/Maps");
    // Folders compare whole: /home/alice is not in /home/al, /g/utx not in /g/ut.
    EXPECT_EQ(tv::movedAfterGameText({{FileType::StaticMesh, "/g/ut/StaticMeshes/S.usx"},
                                      {FileType::Music, "/g/utx/Music/M.ogg"},
                                      {FileType::Music, "/g/ut/Music/N.ogg"},
                                      {FileType::Map, "/g/ut/Maps/C.ut2"}}),
              "1 map, 2 music files and 1 static mesh from the last game moved into /g");
    EXPECT_EQ(tv::movedAfterGameText({{FileType::Sound, "/home/alice/S/S.uax"}}),
              "1 sound package from the last game moved into /home/alice/S");
}

// The program's folder goes into the unit and the autostart entry, each
// with its own quoting: no folder name adds a command or a variable.
TEST(Watch, TheUnitAndTheAutostartEntryNameAnyFolderSafely) {
    const std::string cli = "/opt/a \"b\" $HOME 100% c\\d/tessvane-cli";
    EXPECT_NE(tv::watchUnitText(cli).find(
                  "\nExecStart=\"/opt/a \\\"b\\\" $$HOME 100%% c\\\\d/tessvane-cli\" watch\n"),
              std::string::npos)
        << tv::watchUnitText(cli);
    EXPECT_NE(
        tv::watchAutostartText(cli).find(
            "\nExec=\"/opt/a \\\\\"b\\\\\" \\\\$HOME 100%% c\\\\\\\\d/tessvane-cli\" watch\n"),
        std::string::npos)
        << tv::watchAutostartText(cli);
    // The folders the window was started with go along, quoted the same way.
    const std::vector<std::string> env = {"TESSVANE_HOME=/srv/my \"home\" 5%",
                                          "TESSVANE_REGISTRY=/srv/r.reg"};
    EXPECT_NE(tv::watchUnitText(cli, env).find(
                  "\nEnvironment=\"TESSVANE_HOME=/srv/my \\\"home\\\" 5%%\"\n"
                  "Environment=\"TESSVANE_REGISTRY=/srv/r.reg\"\nExecStart="),
              std::string::npos)
        << tv::watchUnitText(cli, env);
    EXPECT_NE(tv::watchAutostartText(cli, env).find(
                  "\nExec=env \"TESSVANE_HOME=/srv/my \\\\\"home\\\\\" 5%%\" "
                  "\"TESSVANE_REGISTRY=/srv/r.reg\" \"/opt/a"),
              std::string::npos)
        << tv::watchAutostartText(cli, env);
    EXPECT_EQ(tv::watchUnitText(cli, {"TESSVANE_HOME=/x\nExecStartPre=/bin/sh"}), "");
    for (const char* bad :
         {"/opt/x\nExecStartPre=/bin/sh/tessvane-cli", "/opt/\x7f/tessvane-cli"}) {
        EXPECT_EQ(tv::watchUnitText(bad), "");
        EXPECT_EQ(tv::watchAutostartText(bad), "");
    }
}

// What the window asks systemctl is bounded: a program that hangs is ended
// at the limit (with what it started), one that leaves something running
// behind it is not waited for.
TEST(Watch, TheProgramsItAsksAreBoundedInTime) {
    std::string out;
    EXPECT_EQ(tv::runProgram({"sh", "-c", "echo said; exit 7"}, 5s, &out), 7);
    EXPECT_EQ(out, "said\n");
    EXPECT_EQ(tv::runProgram({"no-such-program-here"}, 5s), -1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tv::runProgram({"sh", "-c", "sleep 30"}, 300ms), -1);
    EXPECT_EQ(tv::runProgram({"sh", "-c", "sleep 12 & exit 0"}, 20s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

// The game's configuration rewritten in place to name another cache folder:
// the watch reads it again and watches that folder from then on; what that
// folder held before the game stays.
TEST(Watch, ACacheFolderTheConfigurationMovesToIsWatched) {
    GameFixture fx;
    fx.writeCacheIni({});
    const std::string far = fx.game + "/Cache2";
    std::filesystem::create_directories(far);
    // A month-old map there: it was not downloaded by the coming game.
    tvtest::writeFile(far + "/" + ident(6) + ".uxx", tvtest::packageBytes("DM-Old.ut2"));
    tvtest::writeFile(far + "/Cache.ini", "[Cache]\r\n" + ident(6) + "=DM-Old.ut2\r\n");
    tvtest::TempDir proc;
    Background watch(fx, {"watch"},
                     {"TESSVANE_PROC_ROOT=" + proc.path(), "TESSVANE_WATCH_INTERVAL_MS=50",
                      "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"});
    ASSERT_TRUE(watch.waitFor("Watching")) << watch.out();
    {
        std::ofstream ini(fx.game + "/System/UT2003.ini", std::ios::trunc); // in place
        ini << "[Core.System]\r\nPurgeCacheDays=90\r\nCachePath=../Cache2\r\nCacheExt=.uxx\r\n";
    }
    std::this_thread::sleep_for(500ms);
    tvtest::writeFile(proc / "5/comm", "UT2003.exe\n");
    tvtest::writeFile(far + "/" + ident(7) + ".uxx", tvtest::packageBytes("DM-Far.ut2"));
    tvtest::writeFile(far + "/Cache.ini",
                      "[Cache]\r\n" + ident(6) + "=DM-Old.ut2\r\n" + ident(7) + "=DM-Far.ut2\r\n");
    ASSERT_TRUE(watch.waitFor("The game started")) << watch.out();
    std::filesystem::remove_all(proc / "5");
    EXPECT_TRUE(waitUntil([&] { return tvtest::exists(fx.game + "/Maps/DM-Far.ut2"); }, 5s))
        << watch.out();
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Old.ut2")) << watch.out();
}

// Another game chosen while a game is on: that game's downloads move first,
// then the watch takes the other game on in place, waiting while another
// watch looks after it (it does not end).
TEST(Watch, AnotherGameChosenIsTakenOnAfterTheGameAndWaitsForItsOwnWatch) {
    GameFixture fx;
    fx.writeCacheIni({});
    const std::string second = fx.dir / "Second";
    tvtest::writeFile(second + "/System/UT2003.ini", "[Core.System]\r\nPurgeCacheDays=90\r\n");
    tvtest::writeFile(second + "/Cache/Cache.ini", "[Cache]\r\n");
    tvtest::TempDir proc;
    const std::vector<std::string> env{"TESSVANE_PROC_ROOT=" + proc.path(),
                                       "TESSVANE_WATCH_INTERVAL_MS=50",
                                       "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"};
    Background first(fx, {"watch"}, env);
    ASSERT_TRUE(first.waitFor("Watching")) << first.out();
    Background other(fx, {"--game", second, "watch"}, env, "other");
    ASSERT_TRUE(other.waitFor("Watching")) << other.out();
    // The game starts and downloads (the download is what wakes the watch).
    tvtest::writeFile(proc / "5/comm", "UT2003.exe\n");
    fx.writeCacheIni({fx.addEntry(2, "DM-New.ut2")});
    ASSERT_TRUE(first.waitFor("The game started")) << first.out();
    tv::RegistryStore(fx.registry)
        .setValue("HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003",
                  "Folder", tv::RegValue::text(second));
    std::this_thread::sleep_for(300ms);
    std::filesystem::remove_all(proc / "5");
    EXPECT_TRUE(waitUntil([&] { return tvtest::exists(fx.game + "/Maps/DM-New.ut2"); }, 5s))
        << first.out();
    ASSERT_TRUE(first.waitFor("this one waits until that one ends")) << first.out();
    EXPECT_EQ(other.stop(), 0) << other.out();
    EXPECT_TRUE(first.waitFor("Watching " + second)) << first.out();
    EXPECT_EQ(first.stop(), 0) << first.out();
}
