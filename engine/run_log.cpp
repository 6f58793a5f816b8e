#include "run_log.h"

#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace tv {

RunLog::RunLog(const std::string& path, bool enabled) : m_path(path) {
    if (enabled) m_fd = createReplacing(path, &m_error);
}

RunLog::~RunLog() {
    if (m_fd < 0) return;
    flush();
    ::close(m_fd);
}

void RunLog::line(const std::string& text) {
    if (m_fd < 0) return;
    // One line per entry, whatever a name in it holds.
    appendEscapingControls(m_buffer, text);
    m_buffer += "\r\n";
    if (m_buffer.size() >= 1 << 20) flush();
}

void RunLog::flush() {
    if (m_fd < 0 || m_buffer.empty()) return;
    std::string_view rest = m_buffer;
    while (!rest.empty()) {
        ssize_t n = ::write(m_fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (m_error.empty()) m_error = "Cannot write " + m_path + ": " + std::strerror(errno);
            break;
        }
        rest.remove_prefix(static_cast<size_t>(n));
    }
    m_buffer.clear();
}

bool RunLog::finish() {
    flush();
    if (m_fd >= 0 && ::fsync(m_fd) != 0 && m_error.empty())
        m_error = "Cannot write " + m_path + ": " + std::strerror(errno);
    return m_error.empty();
}

WorkSink RunLog::logging(const WorkSink& sink) {
    WorkSink both = sink;
    both.statusLine = [this, &sink](std::string text) {
        line(text);
        sink.status(std::move(text));
    };
    return both;
}

std::string runLogPath(const std::string& programFolder) {
    return findInFolder(programFolder, "Tessvane.log");
}

} // namespace tv
