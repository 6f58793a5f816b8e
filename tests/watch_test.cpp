// tessvane-cli watch: the downloads of a game moved once it has ended.
#include "package_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

using tvtest::GameFixture;
using tvtest::ident;

TEST(Watch, OnceMovesWhatCameDuringTheGameAfterItEndsAndOneWatchAtATime) {
    GameFixture fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2")});
    tvtest::TempDir proc;
    tvtest::writeFile(proc / "5/comm", "UT2003.exe\n"); // the game runs
    const std::string env = "TESSVANE_PROC_ROOT=" + proc.path() + " TESSVANE_WATCH_INTERVAL_MS=20";
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
    // Downloads during the game; a second watch refused meanwhile.
    fx.writeCacheIni({fx.addEntry(1, "DM-Before.ut2"), fx.addEntry(2, "DM-New.ut2"),
                      fx.addEntry(3, "NewTex.utx"), fx.addEntry(4, "NewSong.ogg")});
    const auto second = tvtest::runCli(fx, "watch --once", env);
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
    // One undo takes the game's downloads back.
    const auto undo = tvtest::runCli(fx, "undo --yes --all");
    EXPECT_EQ(undo.status, 0) << undo.out << undo.err;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(2) + ".uxx"));
}
