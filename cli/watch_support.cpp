// What the watch is made of: its locks, its signals, its texts.
#include "watch_support.h"

#include "platform/text_util.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>

extern char** environ;

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

WatchLock::WatchLock(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)),
      m_held(m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
}

WatchLock::~WatchLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string watchLockFile(const std::string& programFolder, const std::string& gameFolder) {
    return joinPath(programFolder, "tessvane-watch-" +
                                       std::to_string(std::hash<std::string>{}(gameFolder)) +
                                       ".lock");
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

bool startProgram(const std::string& path) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const int r = ::posix_spawnp(&pid, path.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    return r == 0;
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
    if (home && *home && std::string_view(home) != "/") {
        const std::string h = withoutTrailingSeparator(home);
        if (common == h) return "~";
        if (common.compare(0, h.size() + 1, h + "/") == 0) return "~" + common.substr(h.size());
    }
    return common;
}

} // namespace

std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved) {
    if (moved.empty()) return "Nothing from the last game was moved";
    return countsText(moved) + " from the last game moved into " + commonFolder(moved);
}

} // namespace tv::cli
