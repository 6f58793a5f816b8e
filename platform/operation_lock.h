#pragma once

#include <chrono>
#include <string>

namespace tv {

// Run, undo, purge, repair, never-move save and archive installation change
// the cache, Cache.ini and the undo log; two of them must never interleave,
// whether they come from the window, the command line or two copies of
// either. Each holds this lock while it works: an advisory lock (flock) on
// the file tessvane.lock in the program folder. Taking it again in the same
// process (a repair inside a run's rescan) succeeds at once.
class OperationLock {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{3000};

    // Waits up to `wait` for the lock.
    explicit OperationLock(const std::string& programFolder,
                           std::chrono::milliseconds wait = kDefaultWait);
    ~OperationLock();
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;

    bool held() const { return m_held; }
    // Why the lock was not taken: kBusyText when another program holds it,
    // else the reason the lock file could not be used.
    const std::string& error() const { return m_error; }

private:
    std::string m_path;
    bool m_held = false;
    std::string m_error;
};

extern const char* const kBusyText;

} // namespace tv
