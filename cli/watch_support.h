#pragma once
// What the watch is made of: its lock, its signals, its texts.

#include "engine/cache_index.h"
#include "engine/cache_run.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <signal.h>

#include <chrono>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv::cli {

using Names = std::unordered_set<std::string, FoldedHash, FoldedEqual>;

// The names Cache.ini holds now.
Names cacheNames(const CacheFolders& folders);

// How often the processes are looked at: every 2 s (tests ask for less with
// TESSVANE_WATCH_INTERVAL_MS).
std::chrono::milliseconds watchInterval();

// Holds the watch's lock for one game folder while it lives; held() is
// false when another watch has it.
class WatchLock {
public:
    explicit WatchLock(const std::string& path);
    ~WatchLock();
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;
    bool held() const { return m_held; }

private:
    int m_fd;
    bool m_held;
};

// The watch's lock file for a game folder, in the program folder.
std::string watchLockFile(const std::string& programFolder, const std::string& gameFolder);

// SIGTERM (the user session ending), SIGINT and SIGHUP end the watch between
// two pieces of work: they are held back except while it waits.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // The mask while waiting: the stops come through.
    const sigset_t* waiting() const { return &m_waiting; }
    bool asked() const;

private:
    sigset_t m_stops, m_waiting;
};

// Starts a program in a session of its own, with the ordinary signals;
// false when it cannot be started.
bool startProgram(const std::string& path);

// "3 maps and 2 textures from the last game moved into ~/.ut2004"
std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved);

} // namespace tv::cli
