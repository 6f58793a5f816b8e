// What the watch's host is made of: its signals and how often it looks.
#include "watch_support.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace tv::cli {

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

} // namespace tv::cli
