// PageManager publishing a 100 MB template to pyftpdlib on 127.0.0.1: the
// time, and how far the process's peak memory rose above what it held before
// (`peak_MB`, and `peak_x` in template sizes). A UTF-8 template, and a Latin-1
// one whose only byte that is not UTF-8 comes near its end.
#include <quillet/page_manager.h>

#include "ftp_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr size_t kSize = 100 * 1024 * 1024;
const std::string kUser = "bench", kPassword = "bench";

// A page of ~100 MB: lines with tags of the page data and built-in ones.
void writeTemplate(const std::string& path, bool latin1) {
    std::ofstream out(path, std::ios::binary);
    const std::string line = "<p class=\"item\">[Title] \xe2\x80\x94 posted @Time on @ShortDate by "
                             "[author] in [SECTION]; caf\xc3\xa9 at @RemoteServer</p>\n";
    std::string block;
    while (block.size() < (1 << 20))
        block += line;
    size_t written = 0;
    for (; written + block.size() <= kSize; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    if (latin1) out << "caf\xe9\n"; // read as UTF-8 up to here, then again as Latin-1
    out << std::string(kSize - written, 'x') << '\n';
}

// The templates and the server's folder, removed at the end.
struct Setup {
    std::string folder;
    std::unique_ptr<FtpServer> server;
    Setup() {
        folder = (std::filesystem::temp_directory_path() / "publish-bench-XXXXXX").string();
        if (!::mkdtemp(folder.data())) std::abort();
        std::filesystem::create_directory(folder + "/served");
        writeTemplate(folder + "/utf8.html", false);
        writeTemplate(folder + "/latin1.html", true);
        server = std::make_unique<FtpServer>(folder + "/served", kUser, kPassword);
    }
    ~Setup() {
        server.reset();
        std::filesystem::remove_all(folder);
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

// A line of /proc/self/status, in KiB.
long statusKiB(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Starts the peak afresh at the memory held now; false when the system
// does not let it (the peak is then the process's whole life's).
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

void BM_Publish100MB(benchmark::State& state) {
    const bool latin1 = state.range(0) != 0;
    if (!setup().server->running()) {
        state.SkipWithError("no Python with pyftpdlib (python3-pyftpdlib)");
        return;
    }
    quillet::PageManager manager;
    std::string failure;
    manager.IncomingMessage = [&](const std::string& text, quillet::MessageType priority) {
        if (priority != quillet::Information) failure = text;
    };
    manager.SetPageData(
        {{"[title]", "Today's news"}, {"[Author]", "the desk"}, {"[section]", "World"}});
    manager.SetServerData(
        {{setup().server->host(), kUser, kPassword,
          setup().folder + (latin1 ? "/latin1.html" : "/utf8.html"), "/page.html"}});
    long peakGrowthKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!resetPeak()) state.SkipWithError("/proc/self/clear_refs cannot be written");
        const long before = statusKiB("VmRSS");
        state.ResumeTiming();
        manager.ProcessPages();
        state.PauseTiming();
        peakGrowthKiB = std::max(peakGrowthKiB, statusKiB("VmHWM") - before);
        state.ResumeTiming();
        if (!failure.empty()) state.SkipWithError(failure.c_str());
    }
    state.counters["peak_MB"] = static_cast<double>(peakGrowthKiB) / 1024.0;
    state.counters["peak_x"] = static_cast<double>(peakGrowthKiB) * 1024.0 / kSize;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Publish100MB)
    ->ArgName("latin1")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
