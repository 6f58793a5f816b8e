// The same run of 5,000 ticked entries through the main window (off screen,
// its Status list filling as it goes) and through the engine as tessvane-cli
// drives it; and the Status list taking 100,000 lines. The window's run
// should cost at most about 1.5 times the command line's.
#include "run_support.h"

#include "window_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

constexpr int kEntries = 5000;

// Fresh cache files and Cache.ini, the Textures folder emptied and an empty
// undo log.
void refill(const tvtest::GameFixture& fx) {
    std::filesystem::remove_all(fx.game + "/Textures");
    std::filesystem::create_directories(fx.game + "/Textures");
    std::vector<std::string> lines;
    lines.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i)
        lines.push_back(fx.addEntry(i, "Package" + std::to_string(i) + ".utx"));
    fx.writeCacheIni(lines);
    tv::createUndoDatabase(fx.program + "/empty.mdb");
    std::filesystem::rename(fx.program + "/empty.mdb", fx.program + "/tessvane.mdb");
}

void BM_RunInTheWindow(benchmark::State& state) {
    tvtest::GameFixture fx;
    refill(fx);
    ShownMainWindow shown(fx.program, fx.registry);
    tv::MainWindow& window = shown.window;
    auto* run = window.findChild<QPushButton*>("cmdRun");
    // Like for like: the command line's run below makes no backup either.
    window.findChild<QCheckBox*>("chkBackupCache")->setChecked(false);
    for (auto _ : state) {
        state.PauseTiming();
        refill(fx);
        QTest::mouseClick(window.findChild<QPushButton*>("cmdRescan"), Qt::LeftButton);
        settle(window);
        state.ResumeTiming();
        QTest::mouseClick(run, Qt::LeftButton);
        settle(window);
    }
}
BENCHMARK(BM_RunInTheWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RunAsTheCommandLine(benchmark::State& state) {
    tvtest::SessionFixture s;
    for (auto _ : state) {
        state.PauseTiming();
        refill(s.fx);
        s.session.ScanCache();
        state.ResumeTiming();
        s.run();
    }
    state.counters["moved"] = s.ran().moved;
}
BENCHMARK(BM_RunAsTheCommandLine)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StatusListOf100000Lines(benchmark::State& state) {
    tvtest::GameFixture fx;
    ShownMainWindow shown(fx.program, fx.registry);
    tv::MainWindow& window = shown.window;
    for (auto _ : state) {
        for (int i = 0; i < 100000; ++i)
            window.session().addStatusLine("**OLD** x  ---->  **NEW** /games/ut/Maps/DM-" +
                                           std::to_string(i) + ".ut2");
        QApplication::processEvents();
    }
}
BENCHMARK(BM_StatusListOf100000Lines)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv);
}
