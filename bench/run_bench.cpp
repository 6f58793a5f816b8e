// A run of 10,000 ticked entries with their files, and the undo of all its
// moves, next to the bare renames of the same files: the run's and the
// undo's own work (index, log, undo records) should cost at most a few times
// the renames themselves.
#include "run_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int kEntries = 10000;

void refill(const tvtest::GameFixture& fx);

std::string name(int i) {
    return "Package" + std::to_string(i) + ".utx";
}

// Fresh cache files and Cache.ini, the Textures folder emptied and an empty
// undo log; the session scanned, ready to run.
void refill(tvtest::SessionFixture& s) {
    refill(s.fx);
    tv::createUndoDatabase(s.fx.program + "/empty.mdb");
    std::filesystem::rename(s.fx.program + "/empty.mdb", s.fx.program + "/tessvane.mdb");
    s.session.ScanCache();
    ::sync();
}

// Fresh cache files and Cache.ini; the Textures folder emptied. Everything
// is on the disk before the clock runs, as a player's cache is: else the
// first flush of the work timed would write the refill's files too.
void refill(const tvtest::GameFixture& fx) {
    std::filesystem::remove_all(fx.game + "/Textures");
    std::filesystem::create_directories(fx.game + "/Textures");
    std::vector<std::string> lines;
    lines.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i)
        lines.push_back(fx.addEntry(i, name(i)));
    fx.writeCacheIni(lines);
    ::sync();
}

void BM_RunOf10000(benchmark::State& state) {
    tvtest::SessionFixture s;
    for (auto _ : state) {
        state.PauseTiming();
        refill(s);
        state.ResumeTiming();
        s.run();
    }
    state.counters["moved"] = s.ran().moved;
}
BENCHMARK(BM_RunOf10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UndoOf10000(benchmark::State& state) {
    tvtest::SessionFixture s;
    s.prompter.answers.clear();
    std::vector<std::string> moved;
    for (int i = 0; i < kEntries; ++i)
        moved.push_back(s.fx.game + "/Textures/" + name(i));
    for (auto _ : state) {
        state.PauseTiming();
        refill(s);
        s.run();
        s.prompter.answers = {true};
        ::sync();
        state.ResumeTiming();
        s.did(s.session.undo({moved}));
    }
    state.counters["records left"] = static_cast<double>(s.undoRecords().size());
}
BENCHMARK(BM_UndoOf10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BareRenamesOf10000(benchmark::State& state) {
    tvtest::GameFixture fx;
    for (auto _ : state) {
        state.PauseTiming();
        refill(fx);
        state.ResumeTiming();
        for (int i = 0; i < kEntries; ++i) {
            std::string from = fx.cache + "/" + tvtest::ident(i) + ".uxx";
            std::string to = fx.game + "/Textures/" + name(i);
            std::rename(from.c_str(), to.c_str());
        }
    }
}
BENCHMARK(BM_BareRenamesOf10000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
