// Scan of a cache of 100,000 entries with their files: the engine alone, the
// same with every package's state (each file's header read, one package in
// ten installed already and compared), and (in the window build) the
// Re-Scan command of the main window, which also fills the File List.
#include "package_support.h"
#include "test_support.h"

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "session/session.h"

#ifdef TESSVANE_BENCH_GUI
#include "window_support.h"
#include <QApplication>
#include <QPushButton>
#include <QTest>
#endif

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kEntries = 100000;

tvtest::GameFixture& bigCache() {
    static std::unique_ptr<tvtest::GameFixture> fx = [] {
        auto f = std::make_unique<tvtest::GameFixture>();
        static const char* const ext[] = {"ut2", "utx", "uax", "ogg", "usx", "ukx", "u", "int"};
        std::vector<std::string> lines;
        lines.reserve(kEntries);
        for (int i = 0; i < kEntries; ++i) {
            const std::string name = "Package" + std::to_string(i) + "." + ext[i % 8];
            lines.push_back(f->addEntry(i, name));
            // Packages as the game writes them; one in ten installed already.
            const std::string bytes = tvtest::makePackage(static_cast<uint8_t>(i), name);
            f->addCacheFile(tvtest::ident(i) + ".uxx", bytes);
            if (i % 10 == 0 && i % 8 != 7 && i % 8 != 3) {
                static const char* const folder[] = {
                    "Maps", "Textures", "Sounds", "Music", "StaticMeshes", "Animations", "System"};
                tvtest::writeFile(f->game + "/" + folder[i % 8] + "/" + name, bytes);
            }
        }
        f->writeCacheIni(lines);
        f->writeNeverMove({"Package1*", "Package99999.int"});
        return f;
    }();
    return *fx;
}

// The engine's scan, with the package states when `states`.
void scanEngine(benchmark::State& state, bool states) {
    auto& fx = bigCache();
    tv::RegistryStore store(fx.registry);
    tv::RecordingPrompter prompter;
    tv::Session session(fx.program, store, prompter);
    tv::GameInstall in;
    in.gameFolder = in.userFolder = fx.game;
    session.workOnInstall(in);
    for (auto _ : state) {
        session.ScanCache();
        if (states) session.fillStates();
        benchmark::DoNotOptimize(session.fileList().rows().data());
    }
    state.counters["rows"] = static_cast<double>(session.fileList().rows().size());
}

void BM_ScanEngine(benchmark::State& state) {
    scanEngine(state, false);
}
BENCHMARK(BM_ScanEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ScanEngineWithStates(benchmark::State& state) {
    scanEngine(state, true);
}
BENCHMARK(BM_ScanEngineWithStates)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef TESSVANE_BENCH_GUI
void BM_RescanAndFillFileList(benchmark::State& state) {
    auto& fx = bigCache();
    ShownMainWindow shown(fx.program, fx.registry);
    tv::MainWindow& window = shown.window;
    auto* rescan = window.findChild<QPushButton*>("cmdRescan");
    for (auto _ : state) {
        QTest::mouseClick(rescan, Qt::LeftButton);
        settle(window); // the list painted its first page
    }
    state.counters["rows"] = static_cast<double>(window.session().fileList().rows().size());
}
BENCHMARK(BM_RescanAndFillFileList)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef TESSVANE_BENCH_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
