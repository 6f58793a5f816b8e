// 100 MB up and down through QuickFTP, beside the curl program doing the
// same against the same server (pyftpdlib on 127.0.0.1) in the same run.
#include <quillet/quick_ftp.h>

#include "ftp_server.h"
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace {

constexpr size_t kSize = 100 * 1024 * 1024;
const std::string kUser = "bench", kPassword = "bench";

struct Setup {
    tvtest::TempDir served, local;
    std::unique_ptr<FtpServer> server;
    std::string file;
    Setup() {
        file = local / "payload.bin";
        std::ofstream out(file, std::ios::binary);
        std::mt19937_64 random(1);
        std::vector<std::uint64_t> block(1 << 16);
        for (size_t written = 0; written < kSize; written += block.size() * 8) {
            for (auto& v : block)
                v = random();
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * 8));
        }
        out.close();
        std::filesystem::copy_file(file, served / "payload.bin");
        server = std::make_unique<FtpServer>(served.path(), kUser, kPassword);
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

bool ready(benchmark::State& state) {
    if (!setup().server->running()) {
        state.SkipWithError("no Python with pyftpdlib (python3-pyftpdlib)");
        return false;
    }
    return true;
}

std::string curl(const std::string& args) {
    return "curl -s -S --ftp-pasv -u " + kUser + ":" + kPassword + " " + args;
}

void BM_Send100MB_QuickFTP(benchmark::State& state) {
    if (!ready(state)) return;
    quillet::QuickFTP ftp;
    for (auto _ : state)
        if (!ftp.SendFile(setup().server->host(), kUser, kPassword, setup().file, "/up.bin"))
            state.SkipWithError(ftp.LastErrorText().c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Send100MB_QuickFTP)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Send100MB_curl(benchmark::State& state) {
    if (!ready(state)) return;
    const std::string command =
        curl("-T '" + setup().file + "' ftp://" + setup().server->host() + "/%2F/up-curl.bin");
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Send100MB_curl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Get100MB_QuickFTP(benchmark::State& state) {
    if (!ready(state)) return;
    quillet::QuickFTP ftp;
    const std::string target = setup().local / "down.bin";
    for (auto _ : state)
        if (!ftp.GetFile(setup().server->host(), kUser, kPassword, "/payload.bin", target))
            state.SkipWithError(ftp.LastErrorText().c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Get100MB_QuickFTP)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Get100MB_curl(benchmark::State& state) {
    if (!ready(state)) return;
    const std::string command = curl("-o '" + (setup().local / "down-curl.bin") + "' ftp://" +
                                     setup().server->host() + "/%2F/payload.bin");
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Get100MB_curl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
