// What the watch is made of: its locks, its signals, its texts.
#include "watch_support.h"

#include "platform/text_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <iostream>

namespace tv::cli {

Names cacheNames(const CacheFolders& folders) {
    Names names;
    for (const auto& e : readCacheEntries(folders))
        names.insert(e.name);
    return names;
}

std::chrono::milliseconds watchInterval() {
    if (const char* ms = std::getenv("TESSVANE_WATCH_INTERVAL_MS"); ms && *ms)
        return std::chrono::milliseconds(std::max(10L, std::strtol(ms, nullptr, 10)));
    return std::chrono::seconds(2);
}

namespace {
std::atomic<bool> g_stopAsked{false};
extern "C" void onStopSignal(int) {
    g_stopAsked = true;
}

} // namespace

StopSignals::StopSignals() {
    sigemptyset(&m_stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&m_stops, s);
    ::sigprocmask(SIG_BLOCK, &m_stops, &m_waiting);
    struct sigaction a {};
    a.sa_handler = onStopSignal;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &a, nullptr);
}

StopSignals::~StopSignals() {
    ::sigprocmask(SIG_SETMASK, &m_waiting, nullptr);
}

bool StopSignals::asked() const {
    sigset_t pending;
    if (::sigpending(&pending) == 0)
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            if (sigismember(&pending, s)) return true;
    return g_stopAsked;
}

bool restartSelf() {
    const auto cmdline = readFile("/proc/self/cmdline");
    if (!cmdline || cmdline->empty() || cmdline->size() > 64 * 1024) return false;
    std::vector<std::string> args;
    for (size_t at = 0; at < cmdline->size();) {
        const size_t end = std::min(cmdline->find('\0', at), cmdline->size());
        args.emplace_back(*cmdline, at, end - at);
        at = end + 1;
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::cout.flush();
    ::execv("/proc/self/exe", argv.data());
    return false;
}

namespace {

// "3 maps and 2 textures": how many of each type, in the types' order.
std::string countsText(const std::vector<RunResult::Moved>& moved) {
    static constexpr std::array<std::pair<const char*, const char*>, 10> kNouns{{
        {"map", "maps"},
        {"texture", "textures"},
        {"music file", "music files"},
        {"sound package", "sound packages"},
        {"static mesh", "static meshes"},
        {"animation", "animations"},
        {"localisation file", "localisation files"},
        {"demo", "demos"},
        {"code package", "code packages"},
        {"file", "files"},
    }};
    std::array<size_t, kNouns.size()> count{};
    for (const auto& m : moved)
        ++count[std::min(static_cast<size_t>(m.type), kNouns.size() - 1)];
    std::vector<std::string> parts;
    for (size_t t = 0; t < kNouns.size(); ++t)
        if (count[t] > 0)
            parts.push_back(std::to_string(count[t]) + " " +
                            (count[t] == 1 ? kNouns[t].first : kNouns[t].second));
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

// The folder that holds every destination, with the home folder as "~".
std::string commonFolder(const std::vector<RunResult::Moved>& moved) {
    std::string common = folderOf(moved.front().destination);
    for (const auto& m : moved)
        while (!common.empty() && common != "/" &&
               m.destination.compare(0, common.size() + 1, common + "/") != 0)
            common = folderOf(common);
    const char* home = std::getenv("HOME");
    return withHomeAsTilde(common, home ? home : "");
}

} // namespace

std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved) {
    if (moved.empty()) return "Nothing from the last game was moved";
    return countsText(moved) + " from the last game moved into " + commonFolder(moved);
}

} // namespace tv::cli
