#include "byte_source.h"

#include "text_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

namespace {

constexpr size_t kPiece = 1 << 16;

// The pieces a thread reads into, kept for its every file: an installation
// of tens of thousands of small files spent more time getting a fresh
// zeroed piece for each than copying it.
char* piece(size_t which) {
    thread_local std::array<std::unique_ptr<char[]>, 2> pieces;
    auto& p = pieces[which];
    if (!p) p.reset(new char[kPiece]);
    return p.get();
}

} // namespace

FileBytes::FileBytes(const std::string& path, uint64_t offset, uint64_t size)
    : m_path(path), m_at(offset), m_left(size), m_ranged(size != kToEnd) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) m_openError = errno;
}

FileBytes::~FileBytes() {
    if (m_fd >= 0) ::close(m_fd);
}

ssize_t FileBytes::read(char* buf, size_t size) {
    if (m_fd < 0) return fail("Cannot open " + m_path + ": " + std::strerror(m_openError));
    if (m_left == 0) return 0;
    if (size > m_left) size = static_cast<size_t>(m_left);
    ssize_t n;
    do {
        n = ::pread(m_fd, buf, size, static_cast<off_t>(m_at));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return fail("Cannot read " + m_path + ": " + std::strerror(errno));
    if (n == 0 && m_ranged) return fail(m_path + " is cut short");
    m_at += static_cast<uint64_t>(n);
    m_left -= static_cast<uint64_t>(n);
    return n;
}

std::optional<uint64_t> FileBytes::regularFileSize() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

ssize_t StringBytes::read(char* buf, size_t size) {
    const size_t n = std::min(size, m_bytes.size());
    std::memcpy(buf, m_bytes.data(), n);
    m_bytes.remove_prefix(n);
    return static_cast<ssize_t>(n);
}

ssize_t readFull(ByteSource& source, char* buf, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = source.read(buf + done, size - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

Comparison compareBytes(ByteSource& first, ByteSource& second) {
    char* const x = piece(0);
    char* const y = piece(1);
    bool same = true;
    for (;;) {
        const ssize_t n = readFull(first, x, kPiece);
        if (n < 0) return Comparison::FirstFailed;
        if (same) {
            const ssize_t m = readFull(second, y, kPiece);
            if (m < 0) return Comparison::SecondFailed;
            same = n == m && std::memcmp(x, y, static_cast<size_t>(n)) == 0;
        }
        if (n == 0) return same ? Comparison::Same : Comparison::Different;
    }
}

bool copyBytes(ByteSource& from, int fd, std::string* error,
               const std::function<void(const char* data, size_t size)>& seen) {
    char* const buf = piece(0);
    for (;;) {
        const ssize_t n = readFull(from, buf, kPiece);
        if (n < 0) {
            if (error) *error = from.error();
            return false;
        }
        if (n == 0) return true;
        if (seen) seen(buf, static_cast<size_t>(n));
        if (!writeAll(fd, {buf, static_cast<size_t>(n)})) {
            if (error) *error = std::string("Cannot write: ") + std::strerror(errno);
            return false;
        }
    }
}

} // namespace tv
