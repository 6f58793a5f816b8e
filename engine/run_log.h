#pragma once

#include "work_sink.h"

#include <string>

namespace tv {

// Tessvane.log, replaced at the start of a run or an archive processing.
// Lines are gathered and written at each flush (a run flushes after each
// batch of moves, whose undo records are already committed) and at finish.
// A link or hard link named Tessvane.log is replaced, never written through.
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
    // `sink`, with each of its Status lines also a line of this log (the
    // log and `sink` outlive what is returned).
    WorkSink logging(const WorkSink& sink);
    // Writes the gathered lines to the file.
    void flush();
    // Flushes the log to the disk; false when a line could not be written.
    bool finish();

private:
    std::string m_path;
    int m_fd = -1;
    std::string m_buffer;
    std::string m_error;
};

// The run log, Tessvane.log in the program folder.
std::string runLogPath(const std::string& programFolder);

} // namespace tv
