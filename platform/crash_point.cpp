#include "crash_point.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace tv {

namespace {

struct CrashPlan {
    long after = 0; // 0: never
    bool trace = false;
    std::atomic<long> reached{0}; // steps are reached on more than one thread
    CrashPlan() {
        if (const char* n = std::getenv("TESSVANE_CRASH_AFTER"))
            after = std::strtol(n, nullptr, 10);
        if (const char* t = std::getenv("TESSVANE_CRASH_TRACE")) trace = *t && *t != '0';
    }
};

CrashPlan& plan() {
    static CrashPlan p;
    return p;
}

std::function<void(const char*)>& stepHook() {
    static std::function<void(const char*)> hook;
    return hook;
}

} // namespace

void crashPoint(const char* step) {
    CrashPlan& p = plan();
    if (auto& hook = stepHook()) {
        static std::mutex one;
        std::lock_guard lock(one);
        hook(step);
    }
    if (p.after <= 0 && !p.trace) return;
    const long reached = ++p.reached;
    if (p.trace) std::fprintf(stderr, "step %ld: %s\n", reached, step);
    if (reached == p.after) ::_exit(kCrashExitStatus);
}

void setStepHook(std::function<void(const char*)> hook) {
    stepHook() = std::move(hook);
}

} // namespace tv
