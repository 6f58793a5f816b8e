#include "umod.h"

#include "platform/bytes.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

namespace {

// No installer of these games has a directory near this big.
constexpr uint64_t kMaxDirectoryBytes = 16 << 20;
constexpr size_t kMaxPathBytes = 1024;

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool readAt(int fd, char* buf, size_t size, uint64_t offset) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buf + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// One directory entry at `at`; false when it is damaged.
bool parseEntry(std::string_view b, size_t& at, uint64_t contentEnd, UmodFile& f,
                std::string* error) {
    auto length = readCompactIndex(b, at);
    if (!length || *length <= 0 || static_cast<uint64_t>(*length) > kMaxPathBytes ||
        b.size() - at < static_cast<size_t>(*length) + 12)
        return fail(error, "a file name of the directory is damaged");
    f.path.assign(b.substr(at, static_cast<size_t>(*length)));
    at += static_cast<size_t>(*length);
    if (f.path.back() == '\0') f.path.pop_back();
    if (f.path.empty() || f.path.find('\0') != std::string::npos)
        return fail(error, "a file name of the directory is damaged");
    f.offset = readLe32(b, at);
    f.size = readLe32(b, at + 4);
    f.flags = readLe32(b, at + 8);
    at += 12;
    if (f.offset > contentEnd || f.size > contentEnd - f.offset)
        return fail(error, f.path + " lies outside the installer's files");
    return true;
}

} // namespace

std::optional<int64_t> readCompactIndex(std::string_view b, size_t& at) {
    if (at >= b.size()) return std::nullopt;
    const auto first = static_cast<uint8_t>(b[at++]);
    int64_t value = first & 0x3F;
    const bool negative = first & 0x80;
    bool more = first & 0x40;
    int shift = 6;
    for (int i = 1; more; ++i) {
        if (at >= b.size()) return std::nullopt;
        const auto next = static_cast<uint8_t>(b[at++]);
        if (i == 4) { // the fifth byte, the last: all eight bits are the value's
            value |= static_cast<int64_t>(next) << shift;
            break;
        }
        value |= static_cast<int64_t>(next & 0x7F) << shift;
        shift += 7;
        more = next & 0x80;
    }
    return negative ? -value : value;
}

std::optional<UmodDirectory> parseUmodDirectory(std::string_view b, uint64_t contentEnd,
                                                std::string* error) {
    size_t at = 0;
    auto count = readCompactIndex(b, at);
    // Each entry takes at least 14 bytes: no count may promise more.
    if (!count || *count < 0 || static_cast<uint64_t>(*count) > b.size() / 14) {
        fail(error, "the file directory is damaged");
        return std::nullopt;
    }
    UmodDirectory d;
    d.files.resize(static_cast<size_t>(*count));
    for (auto& f : d.files)
        if (!parseEntry(b, at, contentEnd, f, error)) return std::nullopt;
    return d;
}

std::optional<UmodDirectory> readUmod(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(error, "Cannot open " + path + ": " + std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    char trailer[kUmodTrailerBytes];
    std::optional<UmodDirectory> d;
    const uint64_t size = ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    if (!S_ISREG(st.st_mode) || size < kUmodTrailerBytes ||
        !readAt(fd, trailer, sizeof trailer, size - kUmodTrailerBytes)) {
        fail(error, "it is too short to be an installer");
    } else if (readLe32({trailer, sizeof trailer}, 0) != kUmodTag) {
        fail(error, "it is no UMOD installer (no installer trailer at its end)");
    } else {
        const uint64_t dirAt = readLe32({trailer, sizeof trailer}, 4);
        const uint64_t total = readLe32({trailer, sizeof trailer}, 8);
        const uint64_t dirEnd = size - kUmodTrailerBytes;
        if (total != size || dirAt > dirEnd || dirEnd - dirAt > kMaxDirectoryBytes) {
            fail(error, "its trailer does not fit the file (cut short or damaged)");
        } else {
            std::string dir(static_cast<size_t>(dirEnd - dirAt), '\0');
            if (!readAt(fd, dir.data(), dir.size(), dirAt))
                fail(error, std::string("its directory cannot be read: ") + std::strerror(errno));
            else if ((d = parseUmodDirectory(dir, dirAt, error)))
                d->version = readLe32({trailer, sizeof trailer}, 12);
        }
    }
    ::close(fd);
    return d;
}

std::optional<std::string> readUmodFile(const std::string& umod, const UmodFile& file,
                                        size_t maxBytes, std::string* error) {
    if (file.size > maxBytes) {
        fail(error, file.path + " is too big to read");
        return std::nullopt;
    }
    const int fd = ::open(umod.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(error, "Cannot open " + umod + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(file.size), '\0');
    const bool ok = readAt(fd, bytes.data(), bytes.size(), file.offset);
    ::close(fd);
    if (!ok) {
        fail(error, file.path + " is cut short in " + umod);
        return std::nullopt;
    }
    return bytes;
}

bool isUmodName(std::string_view name) {
    return endsWithNoCase(name, ".umod") || endsWithNoCase(name, ".ut2mod") ||
           endsWithNoCase(name, ".ut4mod");
}

} // namespace tv
