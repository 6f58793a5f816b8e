// Installing a map archive straight into Maps, with 2,000 and with 20,000
// members: the time must grow with the member count, not with its square
// (20,000 members within ten times the time of 2,000).
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
    s.session.settings().unzipNoPreview = true;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(s.fx.game + "/Maps");
        std::filesystem::create_directories(s.fx.game + "/Maps");
        s.session.clearStatusList();
        state.ResumeTiming();
        s.session.loadZipArchive(archive, false);
    }
    state.counters["members"] = members;
}
BENCHMARK(BM_DirectInstall)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
