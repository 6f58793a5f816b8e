// The after-game watch as a service: the game check and the notices are
// the test's, the session, the cache and the runner are real.
#include "run_support.h"

#include "session/after_game_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using tvtest::ident;
using tvtest::SessionFixture;

namespace {

// The desktop as the test sees it: what was shown, with the actions offered.
struct Board : tv::NoticeBoard {
    struct Shown {
        uint32_t id;
        std::string summary;
        size_t actions;
    };
    std::vector<Shown> shown;
    std::vector<uint32_t> closed;
    uint32_t show(const std::string& summary, const std::string&,
                  const std::vector<Action>& actions) override {
        shown.push_back({static_cast<uint32_t>(shown.size() + 1), summary, actions.size()});
        return shown.back().id;
    }
    void close(uint32_t id) override { closed.push_back(id); }
    bool connected() const override { return true; }
    std::string error() const override { return {}; }
};

// A watch over the fixture's game, the game running while `playing` is.
struct Watching {
    SessionFixture s;
    Board board;
    bool playing = false;
    std::vector<std::string> said;
    tv::AfterGameWatch watch{s.session,
                             {.gameRunning = [this] { return playing; },
                              .say = [this](const std::string& l) { said.push_back(l); },
                              .notices = &board,
                              .openWindow = {}},
                             false};

    Watching() {
        s.session.changeSettings(
            [&](tv::Settings& st) { st.backupCache = true; }); // the watch makes none all the same
        s.session.setLockWait(std::chrono::milliseconds(0));
        s.session.refreshFolders();
    }
    // A game played while `during` downloads; the look after it.
    bool game(const std::function<void()>& during) {
        playing = true;
        watch.look();
        during();
        playing = false;
        return watch.look();
    }
    std::string cacheFile(int id) const { return s.fx.cache + "/" + ident(id) + ".uxx"; }
    size_t count(const std::string& line) const {
        return std::count(said.begin(), said.end(), line);
    }
};

} // namespace

TEST(AfterGameWatch, AGameStartedAgainWhileItPreparesKeepsItsDownloadsForTheNextEnd) {
    Watching w;
    w.s.fx.writeCacheIni({w.s.fx.addEntry(1, "DM-Before.ut2")});
    w.watch.begin();
    // The game is seen to end, but the runner finds it running again.
    EXPECT_FALSE(w.game([&] {
        w.s.fx.writeCacheIni(
            {w.s.fx.addEntry(1, "DM-Before.ut2"), w.s.fx.addEntry(2, "DM-New.ut2")});
        tvtest::writeFile(w.s.fx.proc + "/5/comm", "UT2003.exe\n");
    }));
    EXPECT_TRUE(tvtest::exists(w.cacheFile(2)));
    EXPECT_TRUE(w.watch.wantsLooks());
    // It ends while another Tessvane works on the game: still pending.
    std::filesystem::remove_all(w.s.fx.proc + "/5");
    const int other = ::open((w.s.fx.program + "/tessvane.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(w.watch.look());
    EXPECT_FALSE(w.watch.look());
    ::close(other);
    EXPECT_TRUE(tvtest::exists(w.cacheFile(2)));
    EXPECT_EQ(w.count("Another Tessvane is at work on this game; the watch waits for it"), 1u);
    // Once that game ends, its downloads (and the earlier ones) move.
    EXPECT_TRUE(w.game([&] {
        w.s.fx.writeCacheIni({w.s.fx.addEntry(1, "DM-Before.ut2"), w.s.fx.addEntry(2, "DM-New.ut2"),
                              w.s.fx.addEntry(3, "DM-Third.ut2")});
    }));
    EXPECT_TRUE(tvtest::exists(w.s.fx.game + "/Maps/DM-New.ut2"));
    EXPECT_TRUE(tvtest::exists(w.s.fx.game + "/Maps/DM-Third.ut2"));
    EXPECT_TRUE(tvtest::exists(w.cacheFile(1)));
    // Each move has its record; the cache is not backed up after a game.
    EXPECT_EQ(w.s.undoRecords().size(), 2u);
    EXPECT_FALSE(tvtest::exists(w.s.fx.cache + "/tessvanebak.zip"));
    ASSERT_EQ(w.board.shown.size(), 1u);
    EXPECT_EQ(w.board.shown[0].summary,
              "2 maps from the last game moved into " + w.s.fx.game + "/Maps");
}

TEST(AfterGameWatch, UndoTakesBackOnlyWhatIsAsTheWatchLeftItAndANextGameLeavesItThere) {
    Watching w;
    auto& fx = w.s.fx;
    fx.writeCacheIni({});
    w.watch.begin();
    ASSERT_TRUE(w.game([&] {
        fx.writeCacheIni(
            {fx.addEntry(1, "DM-A.ut2"), fx.addEntry(2, "DM-B.ut2"), fx.addEntry(3, "DM-C.ut2")});
    }));
    ASSERT_EQ(w.board.shown.size(), 1u);
    // The player moves one map away and puts a new version of another in place.
    std::filesystem::rename(fx.game + "/Maps/DM-A.ut2", fx.dir / "DM-A.ut2");
    tvtest::writeFile(fx.game + "/Maps/DM-B.ut2", tvtest::packageBytes("DM-B.ut2") + "newer");
    w.watch.chosen(w.board.shown[0].id, "undo");
    EXPECT_EQ(w.board.closed, std::vector<uint32_t>{w.board.shown[0].id});
    ASSERT_EQ(w.board.shown.size(), 2u);
    EXPECT_EQ(
        w.board.shown[1].summary,
        "1 of 3 went back; DM-B.ut2 was changed since, it stays; DM-A.ut2 is no longer there");
    EXPECT_TRUE(tvtest::exists(w.cacheFile(3)));
    EXPECT_FALSE(tvtest::exists(w.cacheFile(2))); // the player's map is not filed as the download
    EXPECT_EQ(tvtest::readFile(fx.game + "/Maps/DM-B.ut2"),
              tvtest::packageBytes("DM-B.ut2") + "newer");
    EXPECT_EQ(w.s.undoRecords().size(), 2u); // DM-A's and DM-B's records stay
    // The map put back was there before the next game: it stays in the cache.
    EXPECT_TRUE(w.game([] {}));
    EXPECT_TRUE(tvtest::exists(w.cacheFile(3)));
    EXPECT_EQ(w.count("The game ended; nothing new to move"), 1u);
}

TEST(AfterGameWatch, ACacheFolderPutInPlaceDuringAGameIsNoGamesDownloadAndTroubleIsSaidOnce) {
    Watching w;
    auto& fx = w.s.fx;
    fx.writeCacheIni({fx.addEntry(1, "DM-Now.ut2")});
    w.watch.begin();
    // An older copy of the cache, with a month-old map, put back during a game.
    EXPECT_FALSE(w.game([&] {
        std::filesystem::rename(fx.cache, fx.dir / "Cache.was");
        std::filesystem::create_directories(fx.cache);
        fx.writeCacheIni({fx.addEntry(1, "DM-Now.ut2"), fx.addEntry(9, "DM-Old.ut2")});
    }));
    EXPECT_TRUE(tvtest::exists(w.cacheFile(9)));
    EXPECT_EQ(w.s.undoRecords().size(), 0u);
    // A cache that cannot be read is said once however often it is looked at.
    std::filesystem::remove(fx.cache + "/Cache.ini");
    w.game([] {});
    for (int i = 0; i < 5; ++i)
        w.watch.look();
    EXPECT_EQ(w.count("Cache.INI is MISSING...can't proceed!; the watch tries again"), 1u)
        << ::testing::PrintToString(w.said);
}

// A stop (the session ending) reaches the watch's run: it ends after a
// batch, every file moved keeps its record, the rest stays in the cache.
TEST(AfterGameWatch, AStopEndsItsRunWithinABatchKeepingTheRecords) {
    Watching w;
    auto& fx = w.s.fx;
    fx.writeCacheIni({});
    w.watch.begin();
    struct Stopping : tv::SessionObserver { // asked once the first batch is under way
        int asked = 0;
        bool stopRequested() override { return ++asked > 1; }
    } stopping;
    w.s.session.setObserver(&stopping);
    w.game([&] {
        std::vector<std::string> lines;
        for (int i = 1; i <= 300; ++i)
            lines.push_back(fx.addEntry(i, "DM-" + std::to_string(i) + ".ut2"));
        fx.writeCacheIni(lines);
    });
    w.s.session.setObserver(nullptr);
    const size_t records = w.s.undoRecords().size();
    EXPECT_GT(records, 0u);
    EXPECT_LT(records, 300u);
    size_t left = 0;
    for (int i = 1; i <= 300; ++i)
        left += tvtest::exists(w.cacheFile(i)) ? 1 : 0;
    EXPECT_EQ(left + records, 300u);
}
