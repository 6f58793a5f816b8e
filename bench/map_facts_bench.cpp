// The facts of 1,000 maps (their tables, LevelSummary and LevelInfo; the
// files in the page cache, as a second look at a cache is), and the
// 512 x 256 DXT1 screenshot of one map read and decoded, as the File List's
// preview reads them.
#include "map_writer.h"
#include "test_support.h"

#include "formats/map_facts.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kMaps = 1000;

// Maps with a summary, a level, a material sequence and a 512 x 256
// screenshot with its smaller mip (a real map's tables are larger: its
// objects' names and exports are read as well, at the cost the needs
// benchmark shows for the tables).
std::string usualMap(int n) {
    tvtest::ue::MapSpec spec;
    spec.title = "Map number " + std::to_string(n);
    spec.author = "Someone";
    spec.description = std::string(300, 'd');
    spec.playersMin = 4;
    spec.playersMax = 12;
    spec.defaultGameType = "xGame.xDeathMatch";
    spec.song = "KR-Song" + std::to_string(n % 40);
    spec.screenshotFormat = 3;
    spec.shotWidth = 512;
    spec.shotHeight = 256;
    spec.shotData = std::string(512 * 256 / 2, '\x5A');
    spec.throughMaterialSequence = true;
    return tvtest::ue::mapBytes(spec);
}

const tvtest::TempDir& maps() {
    static std::unique_ptr<tvtest::TempDir> dir = [] {
        auto d = std::make_unique<tvtest::TempDir>();
        for (int i = 0; i < kMaps; ++i)
            tvtest::writeFile(d->path() + "/DM-Map" + std::to_string(i) + ".ut2", usualMap(i));
        // Read once: the page cache holds them.
        for (int i = 0; i < kMaps; ++i)
            tv::readMapFile(d->path() + "/DM-Map" + std::to_string(i) + ".ut2");
        return d;
    }();
    return *dir;
}

void BM_FactsOf1000Maps(benchmark::State& state) {
    const std::string folder = maps().path();
    size_t titled = 0;
    for (auto _ : state) {
        titled = 0;
        for (int i = 0; i < kMaps; ++i)
            titled += !tv::readMapFile(folder + "/DM-Map" + std::to_string(i) + ".ut2")
                           .facts.title.empty();
    }
    state.counters["maps"] = static_cast<double>(titled);
}
BENCHMARK(BM_FactsOf1000Maps)->Unit(benchmark::kMillisecond);

void BM_PictureOf512x256Map(benchmark::State& state) {
    const std::string map = maps().path() + "/DM-Map0.ut2";
    tv::MapReadOptions options;
    options.picture = true;
    int width = 0;
    for (auto _ : state)
        width = tv::readMapFile(map, options).picture.picture.width;
    state.counters["width"] = width;
}
BENCHMARK(BM_PictureOf512x256Map)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
