#pragma once

#include <ostream>
#include <streambuf>

namespace quillet {

// Keeps the browser engine's own messages (Chromium and its helper
// processes write to standard error as they start) out of a user's
// terminal: while it lives, file descriptor 2 goes to /dev/null, and
// `err()` writes to the standard error the program was started with. If the
// switch cannot be made, `err()` is simply standard error.
class QuietStandardError {
public:
    QuietStandardError();
    ~QuietStandardError();
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

    std::ostream& err() { return m_stream; }

private:
    class FdBuffer : public std::streambuf {
    public:
        int fd = 2;

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
    };
    int m_saved = -1;
    FdBuffer m_buffer;
    std::ostream m_stream{&m_buffer};
};

} // namespace quillet
