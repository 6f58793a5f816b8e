#pragma once
// What the watch's host is made of: its signals and how often it looks.

#include <signal.h>

#include <chrono>

namespace tv::cli {

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

} // namespace tv::cli
