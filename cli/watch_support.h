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

// Runs this program again with the same arguments; returns only when that
// failed.
bool restartSelf();

// "3 maps and 2 textures from the last game moved into ~/.ut2004"
std::string movedAfterGameText(const std::vector<RunResult::Moved>& moved);

} // namespace tv::cli
