// What a running tessvane-cli watch costs while nothing happens: the CPU
// time it uses over a while (60 s; TESSVANE_IDLE_SECONDS asks for another
// length), as a share of one core. Idle: no game, nothing changes (it sleeps
// on inotify). In a game: the game runs, so it looks at the processes every
// 2 s (all the machine's processes). The goal is under 1 % in both.
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::chrono::seconds watched() {
    const char* s = std::getenv("TESSVANE_IDLE_SECONDS");
    return std::chrono::seconds(s && *s ? std::max(1L, std::strtol(s, nullptr, 10)) : 60L);
}

// User and system time of a process, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void watchFor(benchmark::State& state, bool inGame) {
    tvtest::GameFixture fx;
    std::vector<std::string> lines;
    for (int i = 1; i <= 300; ++i)
        lines.push_back(fx.addEntry(i, "DM-Map" + std::to_string(i) + ".ut2"));
    fx.writeCacheIni(lines);
    // The game: a program of the game's name in its System folder, among
    // the machine's own processes.
    pid_t game = -1;
    if (inGame) {
        std::filesystem::copy_file("/bin/sleep", fx.game + "/System/ut2003-bin");
        game = tvtest::spawn({fx.game + "/System/ut2003-bin", "100000"}, {}, fx.dir / "game.out");
    }
    std::vector<std::string> env{"TESSVANE_HOME=" + fx.program, "TESSVANE_REGISTRY=" + fx.registry,
                                 "TESSVANE_PROC_ROOT=/proc"};
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (auto _ : state) {
        const pid_t watch = tvtest::spawn({TESSVANE_CLI, "watch"}, env, fx.dir / "watch.out");
        std::this_thread::sleep_for(2s); // started, its first look done
        const double before = cpuSeconds(watch);
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(watched());
        const double used = cpuSeconds(watch) - before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ::kill(watch, SIGTERM);
        tvtest::waitExit(watch, 10s);
        state.SetIterationTime(wall);
        state.counters["cpu_percent_of_a_core"] = 100.0 * used / wall;
    }
    if (game > 0) {
        ::kill(game, SIGKILL);
        tvtest::waitExit(game, 10s);
    }
}

void BM_WatchIdle(benchmark::State& state) {
    watchFor(state, false);
}
void BM_WatchDuringAGame(benchmark::State& state) {
    watchFor(state, true);
}

BENCHMARK(BM_WatchIdle)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WatchDuringAGame)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
