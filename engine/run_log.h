#pragma once

#include <string>

namespace tv {

// Tessvane.log, replaced at the start of a run or an archive processing and
// written line by line: each line is in the file (not in a buffer) before
// the work goes on. A link or hard link named Tessvane.log is replaced, never
// written through.
class RunLog {
public:
    // With `enabled` false nothing is written (a dry run).
    RunLog(const std::string& path, bool enabled = true);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    bool created() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }
    void line(const std::string& text);
    // Flushes the log to the disk; false when a line could not be written.
    bool finish();

private:
    std::string m_path;
    int m_fd = -1;
    std::string m_error;
};

// The run log, Tessvane.log in the program folder.
std::string runLogPath(const std::string& programFolder);

} // namespace tv
