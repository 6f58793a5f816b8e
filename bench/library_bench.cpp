// The library of a full install: 2,000 packages, 300 of them maps, listed
// (what the window shows at once) and read (their GUIDs, imports, titles
// and music, filling in after).
#include "format_writers.h"
#include "test_support.h"

#include "engine/content_library.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kPackages = 2000, kMaps = 300;

struct Install {
    tvtest::GameFixture fx;
    tv::LibrarySources sources;
    Install() {
        for (int i = 0; i < kPackages; ++i) {
            const bool map = i < kMaps;
            std::vector<tvtest::PackageImport> imports = {{"Core", "Package", 0, "Engine"}};
            if (map) imports.push_back({"Core", "Package", 0, "Tex" + std::to_string(i)});
            tvtest::writeFile(fx.game + (map ? "/Maps/DM-Map" : "/Textures/Tex") +
                                  std::to_string(i) + (map ? ".ut2" : ".utx"),
                              tvtest::makePackageTables(imports));
        }
        sources.install = tv::installFromFolder(fx.game, fx.home);
        std::string label;
        sources.folders = tv::workOutFolders(fx.program, sources.install, label);
    }
};

const Install& install() {
    static const auto made = std::make_unique<Install>();
    return *made;
}

void BM_LibraryOf2000PackagesListed(benchmark::State& state) {
    const Install& in = install();
    size_t rows = 0;
    for (auto _ : state)
        rows = tv::listLibrary(in.sources).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_LibraryOf2000PackagesListed)->Unit(benchmark::kMillisecond);

void BM_LibraryOf2000PackagesRead(benchmark::State& state) {
    const Install& in = install();
    for (auto _ : state) {
        auto entries = tv::listLibrary(in.sources);
        tv::readLibraryFacts(entries, in.sources);
        benchmark::DoNotOptimize(entries.data());
    }
}
BENCHMARK(BM_LibraryOf2000PackagesRead)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
