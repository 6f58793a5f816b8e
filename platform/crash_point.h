#pragma once

#include <functional>

namespace tv {

// Marks a step of a file operation at which the program may be killed. The
// tests of crash safety set TESSVANE_CRASH_AFTER=N to end the process with
// _exit at the N-th step reached (no destructors, no buffers flushed, as a
// kill would), and TESSVANE_CRASH_TRACE=1 to list the steps on standard
// error. Without them a step costs one comparison.
void crashPoint(const char* step);

// Calls `hook` with the name of every step reached in this process (tests
// make something happen at a chosen step); an empty hook ends it.
void setStepHook(std::function<void(const char*)> hook);

// The exit status of a process ended by crashPoint.
constexpr int kCrashExitStatus = 86;

} // namespace tv
