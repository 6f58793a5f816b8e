// Reading a Wine prefix's system.reg of 48 and 96 MB whose 500,000 and
// 1,000,000 keys all look like the game's: the time grows with the file, the
// memory stays small (only the keys asked for are kept, the file is read a
// piece at a time). "peak_MB" is the growth of the process's peak resident
// size while the file was read.
#include "test_support.h"

#include "games/wine_registry.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sys/resource.h>

namespace {

long peakKilobytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_WineRegistry(benchmark::State& state) {
    tvtest::TempDir dir;
    const std::string path = dir / "system.reg";
    {
        // Written a key at a time: the file is never in this process's memory.
        std::ofstream out(path, std::ios::binary);
        out << "WINE REGISTRY Version 2\n";
        for (int64_t i = 0; i < state.range(0); ++i)
            out << "[Software\\\\Unreal Technology\\\\Installed Apps\\\\UT2004\\\\K" << i
                << "] 1\n\"Folder\"=\"C:\\\\Games\\\\UT2004\"\n";
        out << "[Software\\\\Unreal Technology\\\\Installed Apps\\\\UT2004] 1\n"
               "\"Folder\"=\"C:\\\\UT2004\"\n";
        state.counters["file_MB"] = static_cast<double>(out.tellp()) / (1 << 20);
    }
    const long before = peakKilobytes();
    for (auto _ : state) {
        tv::WineRegistry reg;
        reg.load(path, [](std::string_view key) {
            return key == "Software\\Unreal Technology\\Installed Apps\\UT2004";
        });
        benchmark::DoNotOptimize(
            reg.value("Software\\Unreal Technology\\Installed Apps\\UT2004", "Folder"));
    }
    state.counters["peak_MB"] = static_cast<double>(peakKilobytes() - before) / 1024;
}
BENCHMARK(BM_WineRegistry)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
