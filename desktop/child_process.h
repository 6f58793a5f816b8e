#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace tv {

// Runs a program (found on PATH when argv[0] has no "/") with standard input
// from /dev/null and waits for it, at most `limit` (then it is killed). Its
// exit status; -1 when it could not be started or did not end in time.
// `output` gets what it wrote to standard output and error (the first 64 KB).
int runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
               std::string* output = nullptr);

// Starts a program in a session of its own, with the ordinary signals, its
// output to `logFile` (appended; /dev/null when empty), and does not wait
// for it. false when it cannot be started.
bool startDetached(const std::vector<std::string>& argv, const std::string& logFile = "");

} // namespace tv
