// A run or an undo killed at any step loses nothing: each package is in the
// cache with its line or at its destination with its undo record, and the
// next run or undo tidies what the killed one left.
#include "test_support.h"

#include "platform/crash_point.h"
#include "platform/text_io.h"
#include "store/undo_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using tvtest::CliResult;
using tvtest::GameFixture;
using tvtest::Package;

namespace {

std::vector<Package> smallCache(const GameFixture& fx, const std::string& target = "") {
    std::vector<Package> packages = {
        {1, "DM-One.ut2", fx.game + "/Maps/DM-One.ut2"},
        {2, "Rock.utx", fx.game + "/Textures/Rock.utx"},
        {3, "Mod.u", fx.game + "/System/Mod.u"},
        {4, "Mod.int", fx.game + "/System/Mod.int"},
        {5, "Boom.uax", fx.game + "/Sounds/Boom.uax"},
    };
    if (!target.empty())
        for (auto& p : packages)
            p.destination = target + "/" + p.name;
    tvtest::addPackages(fx, packages);
    return packages;
}

std::string crashAt(int step) {
    return "TESSVANE_CRASH_AFTER=" + std::to_string(step);
}

void expectAllMoved(const GameFixture& fx, const std::vector<Package>& packages) {
    for (const auto& p : packages)
        EXPECT_TRUE(tvtest::exists(p.destination)) << p.name;
    EXPECT_EQ(tvtest::readFile(fx.cache + "/Cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
    EXPECT_EQ(tvtest::leftoverFiles(fx.dir.path()), std::vector<std::string>{});
}

size_t undoRecordCount(const GameFixture& fx) {
    std::vector<tv::UndoRecord> records;
    tv::readUndoRecords(fx.program + "/tessvane.mdb", records);
    return records.size();
}

void expectAllBack(const GameFixture& fx, const std::vector<Package>& packages) {
    for (const auto& p : packages)
        EXPECT_FALSE(tvtest::exists(p.destination)) << p.name;
    std::vector<tv::UndoRecord> records;
    ASSERT_TRUE(tv::readUndoRecords(fx.program + "/tessvane.mdb", records));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
    // Each line once, even after an undo that was killed after writing it.
    auto lines = tv::readLines(fx.cache + "/Cache.ini").value();
    EXPECT_EQ(lines.size(), packages.size() + 1);
}

// Walks every step of a run, killing it there, then lets a whole run finish
// the work. `runArgs` chooses the destination.
void walkRun(const std::string& runArgs, const std::string& target = "") {
    for (int step = 1;; ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        GameFixture fx;
        auto packages = smallCache(fx, target);
        if (!target.empty()) fs::remove_all(target), fs::create_directories(target);
        CliResult killed = tvtest::runCli(fx, runArgs, crashAt(step));
        if (killed.status == 0) {
            EXPECT_GT(step, 10); // the walk met the steps of every move
            expectAllMoved(fx, packages);
            return;
        }
        ASSERT_EQ(killed.status, tv::kCrashExitStatus) << killed.err;
        EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
        CliResult next = tvtest::runCli(fx, runArgs);
        ASSERT_EQ(next.status, 0) << next.out << next.err;
        expectAllMoved(fx, packages);
        if (::testing::Test::HasFailure()) return;
    }
}

} // namespace

TEST(CrashSafety, ARunKilledAtAnyStepLosesNothing) {
    walkRun("run --backup");
}

TEST(CrashSafety, AMoveToAnotherFileSystemKilledHalfWayLeavesNoBrokenPackage) {
    struct stat a {
    }, b{};
    GameFixture probe;
    if (::stat("/dev/shm", &b) != 0 || ::stat(probe.dir.path().c_str(), &a) != 0 ||
        a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";
    tvtest::TempDir holder; // for a unique name only
    std::string target = "/dev/shm/" + fs::path(holder.path()).filename().string();
    // The walk meets every durable step of such a move, in this order.
    {
        GameFixture fx;
        tvtest::addPackages(fx, {{1, "DM-One.ut2", target + "/DM-One.ut2"}});
        fs::create_directories(target);
        CliResult traced =
            tvtest::runCli(fx, "run --to " + tvtest::shellQuote(target), "TESSVANE_CRASH_TRACE=1");
        ASSERT_EQ(traced.status, 0) << traced.err;
        size_t at = 0;
        for (const char* step :
             {"copy written", "copy synced", "copy in place", "source removed"}) {
            size_t found = traced.err.find(step, at);
            EXPECT_NE(found, std::string::npos) << step << " in\n" << traced.err;
            if (found != std::string::npos) at = found;
        }
        fs::remove_all(target);
    }
    walkRun("run --to " + tvtest::shellQuote(target), target);
    fs::remove_all(target);
}

TEST(CrashSafety, AnUndoKilledAtAnyStepLosesNothing) {
    for (int step = 1;; ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        GameFixture fx;
        auto packages = smallCache(fx);
        ASSERT_EQ(tvtest::runCli(fx, "run").status, 0);
        CliResult killed = tvtest::runCli(fx, "undo --yes --all", crashAt(step));
        if (killed.status == 0) {
            EXPECT_GT(step, 5);
            expectAllBack(fx, packages);
            return;
        }
        ASSERT_EQ(killed.status, tv::kCrashExitStatus) << killed.err;
        EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
        // A journal the killed undo left behind is rolled back, not an error.
        CliResult list = tvtest::runCli(fx, "undo --list");
        EXPECT_EQ(list.status, 0) << list.err;
        if (undoRecordCount(fx) > 0) {
            CliResult next = tvtest::runCli(fx, "undo --yes --all");
            ASSERT_EQ(next.status, 0) << next.out << next.err;
        }
        expectAllBack(fx, packages);
        if (::testing::Test::HasFailure()) return;
    }
}

// Real kills, at moments the program does not choose.
TEST(CrashSafety, KilledRunsAndUndosOfThousandsOfFilesLoseNothing) {
    for (int delayMs : {15, 40, 90, 180}) {
        SCOPED_TRACE("killed after " + std::to_string(delayMs) + " ms");
        GameFixture fx;
        std::vector<Package> packages;
        for (int i = 1; i <= 3000; ++i) {
            std::string name = "Map" + std::to_string(i) + ".ut2";
            packages.push_back({i, name, fx.game + "/Maps/" + name});
        }
        tvtest::addPackages(fx, packages);
        for (const char* args : {"run", "undo --yes --all"}) {
            std::string shell = "TESSVANE_HOME=" + tvtest::shellQuote(fx.program) +
                                " TESSVANE_REGISTRY=" + tvtest::shellQuote(fx.registry) + " exec " +
                                TESSVANE_CLI + " " + args + " >/dev/null 2>&1";
            pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::execl("/bin/sh", "sh", "-c", shell.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{}) << args;
            if (std::string(args) == "run" || undoRecordCount(fx) > 0) {
                CliResult next = tvtest::runCli(fx, args);
                EXPECT_EQ(next.status, 0) << args << next.err;
            }
            EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{}) << args;
        }
        expectAllBack(fx, packages);
    }
}
