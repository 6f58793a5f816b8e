#include "quiet_stderr.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

QuietStandardError::QuietStandardError() {
    std::fflush(stderr);
    int saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved < 0) return;
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || ::dup2(null, 2) < 0) {
        if (null >= 0) ::close(null);
        ::close(saved);
        return;
    }
    ::close(null);
    m_saved = saved;
    m_buffer.fd = saved;
}

QuietStandardError::~QuietStandardError() {
    if (m_saved < 0) return;
    std::fflush(stderr);
    ::dup2(m_saved, 2);
    ::close(m_saved);
}

QuietStandardError::FdBuffer::int_type QuietStandardError::FdBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize QuietStandardError::FdBuffer::xsputn(const char* s, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, s + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += w;
    }
    return done;
}

} // namespace quillet
