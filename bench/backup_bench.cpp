// The backup before a run against `zip -6` of the same cache folder: a cache
// of package-like files (block-compressed textures, mesh coordinates, name
// tables, zero padding, an Ogg file) of the size given in MB. The backup must
// take no longer than zip -6 and be no more than 10 % larger.
#include "engine/backup.h"
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

// Texture blocks with two near colours and random indices, then mesh floats
// that wander, then names, then zeros: how the games' packages compress.
std::string packageLike(size_t size, std::mt19937& random) {
    std::string out;
    out.reserve(size);
    auto put = [&](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    uint16_t colour = 0;
    for (size_t i = 0; out.size() < size * 6 / 10; ++i) {
        if (i % 64 == 0) colour = static_cast<uint16_t>(random());
        const uint16_t other = static_cast<uint16_t>(colour + random() % 400 - 200);
        const uint32_t indices = random() % 10 < 7 ? static_cast<uint32_t>(random()) : 0u;
        put(&colour, 2), put(&other, 2), put(&indices, 4);
    }
    float x = 0;
    for (size_t i = 0; out.size() < size * 85 / 100; ++i) {
        x += static_cast<float>(random() % 2000) / 1000.0f - 1.0f;
        const float v[3] = {x, x / 2, static_cast<float>(i % 100)};
        put(v, sizeof v);
    }
    static const char* const words[] = {"Engine", "Core", "Texture", "StaticMesh", "Brush",
                                        "Light",  "PlayerStart", "Actor", "Mover", "Trigger"};
    while (out.size() < size * 9 / 10)
        out += std::string(words[random() % 10]) + std::to_string(random() % 1000) + '\0';
    out.resize(size, '\0');
    return out;
}

struct Cache {
    tvtest::TempDir dir;
    std::string folder = dir / "Cache";
    explicit Cache(size_t megabytes) {
        std::mt19937 random(1);
        size_t total = 0;
        for (int i = 0; total < (megabytes << 20); ++i) {
            const size_t size = 200'000 + random() % 2'800'000;
            std::string bytes = packageLike(size, random);
            if (i % 10 == 9) // music: compressed already
                for (char& c : bytes)
                    c = static_cast<char>(random());
            tvtest::writeFile(folder + "/" + tvtest::ident(i) + (i % 10 == 9 ? ".ogg" : ".uxx"),
                              bytes);
            total += size;
        }
    }
};

uint64_t sizeOf(const std::string& path) {
    return std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0;
}

void BM_Backup(benchmark::State& state) {
    Cache cache(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        tv::BackupCacheFiles(cache.folder, tv::WorkSink{});
    state.counters["MB"] = static_cast<double>(sizeOf(cache.folder + "/tessvanebak.zip")) / 1e6;
}
BENCHMARK(BM_Backup)->Arg(64)->Arg(250)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Zip6(benchmark::State& state) {
    Cache cache(static_cast<size_t>(state.range(0)));
    const std::string archive = cache.dir / "zip6.zip";
    const std::string command =
        "cd " + tvtest::shellQuote(cache.folder) + " && zip -q -6 " + tvtest::shellQuote(archive) +
        " *";
    for (auto _ : state) {
        std::filesystem::remove(archive);
        if (std::system(command.c_str()) != 0) state.SkipWithError("zip is not installed");
    }
    state.counters["MB"] = static_cast<double>(sizeOf(archive)) / 1e6;
}
BENCHMARK(BM_Zip6)->Arg(64)->Arg(250)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
