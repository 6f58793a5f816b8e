// The import tables of 10,000 maps read (only the tables: the header, the
// import table and the name table), as `check` and the File List's Needs
// column read them. The files are in the page cache, as a second look at a
// cache is.
#include "package_support.h"
#include "test_support.h"

#include "formats/package_imports.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kMaps = 10000;

// Maps of a usual size: 2,000 names, 25 packages with 300 objects in them,
// the tables behind 100 KB of the map's own objects.
const tvtest::TempDir& maps() {
    static std::unique_ptr<tvtest::TempDir> dir = [] {
        auto d = std::make_unique<tvtest::TempDir>();
        std::vector<std::string> names;
        for (int i = 0; i < 2000; ++i)
            names.push_back("SomeObjectName" + std::to_string(i));
        std::vector<tvtest::PackageImport> imports;
        for (int p = 0; p < 25; ++p)
            imports.push_back({"Core", "Package", 0, "Package" + std::to_string(p)});
        for (int o = 0; o < 300; ++o)
            imports.push_back({"Engine", "Texture", -(o % 25) - 1, "Object" + std::to_string(o)});
        const std::string bytes =
            tvtest::makePackageTables(imports, 128, std::string(100000, 'm'), false, names);
        for (int i = 0; i < kMaps; ++i)
            tvtest::writeFile(d->path() + "/DM-Map" + std::to_string(i) + ".ut2", bytes);
        return d;
    }();
    return *dir;
}

void BM_ReadTablesOf10000Maps(benchmark::State& state) {
    const std::string folder = maps().path();
    size_t needs = 0;
    for (auto _ : state) {
        needs = 0;
        for (int i = 0; i < kMaps; ++i)
            needs += tv::readPackageImports(folder + "/DM-Map" + std::to_string(i) + ".ut2")
                         .needs.size();
    }
    state.counters["needs"] = static_cast<double>(needs);
}
BENCHMARK(BM_ReadTablesOf10000Maps)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
