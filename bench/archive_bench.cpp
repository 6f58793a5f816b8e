// Installing a map archive straight into Maps, a UMOD installer, and taking
// an installation back, with 2,000 and with 20,000 files each: the time must
// grow with the file count, not with its square (20,000 within ten times the
// time of 2,000).
#include "format_writers.h"
#include "run_support.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

void BM_DirectInstall(benchmark::State& state) {
    const int members = static_cast<int>(state.range(0));
    tvtest::SessionFixture s;
    std::vector<std::pair<std::string, std::string>> content;
    content.reserve(static_cast<size_t>(members));
    for (int i = 0; i < members; ++i)
        content.push_back(
            {"Maps/DM-Bench" + std::to_string(i) + ".ut2", "map " + std::to_string(i)});
    const std::string archive = s.fx.dir / "many.zip";
    tvtest::makeZip(archive, content);
    s.session.changeSettings([&](tv::Settings& st) { st.unzipNoPreview = true; });
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(s.fx.game + "/Maps");
        std::filesystem::create_directories(s.fx.game + "/Maps");
        s.session.clearStatusList();
        state.ResumeTiming();
        s.load(s.session.loadZipArchive(archive, false));
    }
    state.counters["members"] = members;
}
BENCHMARK(BM_DirectInstall)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

// An installer of `files` small maps, read once.
struct UmodBench {
    tvtest::SessionFixture s;
    tv::UmodPackage package;
    explicit UmodBench(int files) {
        std::vector<std::pair<std::string, std::string>> content;
        for (int i = 0; i < files; ++i)
            content.push_back(
                {"Maps\\DM-Umod" + std::to_string(i) + ".ut2", "map " + std::to_string(i)});
        const std::string path = s.fx.dir / "many.umod";
        tvtest::writeFile(path, tvtest::makeUmod(content));
        package = *s.session.loadUmodArchive(path);
    }
    void clear() {
        std::filesystem::remove_all(s.fx.game + "/Maps");
        std::filesystem::create_directories(s.fx.game + "/Maps");
        s.session.clearStatusList();
    }
};

void BM_UmodInstall(benchmark::State& state) {
    UmodBench b(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        b.clear();
        state.ResumeTiming();
        b.s.did(b.s.session.installUmodArchive(b.package));
    }
    state.counters["files"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_UmodInstall)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TakeBack(benchmark::State& state) {
    UmodBench b(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        b.clear();
        b.s.did(b.s.session.installUmodArchive(b.package));
        std::vector<std::string> paths;
        for (const auto& in : b.s.session.installations())
            for (const auto& f : in.files)
                paths.push_back(f.path);
        state.ResumeTiming();
        b.s.did(b.s.session.undoInstalledFiles(paths));
    }
    state.counters["files"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_TakeBack)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
