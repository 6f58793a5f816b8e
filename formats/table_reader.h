#pragma once
// A package's table, or any run of its bytes, read from an offset on a
// chunk at a time through a ReadAt: nothing is held but the chunk, and
// nothing is read past the file's end.

#include "package_imports.h"

#include "formats/umod.h"
#include "platform/bytes.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace tv {

// The engine's names hold at most 63 characters; far more is damage.
constexpr size_t kMaxNameBytes = 1024;

// The header at the start of a file read through `read`: the header, or
// nullopt with `readFailed` telling a failed read from no package.
inline std::optional<PackageHeader> readHeader(const ReadAt& read, uint64_t fileSize,
                                               bool& readFailed) {
    char head[kPackageHeaderBytes];
    const ssize_t n = read(0, head, sizeof head);
    readFailed = n < 0;
    if (readFailed) return std::nullopt;
    return parsePackageHeader(std::string_view(head, static_cast<size_t>(n)),
                              static_cast<int64_t>(fileSize));
}

// A table's bytes from its offset on, read a chunk at a time.
class TableReader {
public:
    TableReader(const ReadAt& read, uint64_t fileSize, uint64_t offset)
        : m_read(read), m_fileSize(fileSize), m_fileAt(offset) {}

    // Where the next byte comes from in the file.
    uint64_t offset() const { return m_fileAt - (m_end - m_pos); }

    // The next `n` bytes, or null when the file ends sooner (or a read
    // failed: failed()).
    const char* take(size_t n) {
        if (m_end - m_pos < n && !fill(n)) return nullptr;
        const char* p = m_buf.data() + m_pos;
        m_pos += n;
        return p;
    }
    std::optional<int64_t> index() {
        // At most five bytes: as many as are there.
        const size_t ask = static_cast<size_t>(std::min<uint64_t>(5, left()));
        if (m_end - m_pos < ask && !fill(ask)) return std::nullopt;
        size_t at = 0;
        auto value = readCompactIndex(std::string_view(m_buf.data() + m_pos, m_end - m_pos), at);
        m_pos += at;
        return value;
    }
    std::optional<int32_t> int32() {
        const char* p = take(4);
        if (!p) return std::nullopt;
        return static_cast<int32_t>(readLe32(p));
    }
    // A NUL-terminated name of at most kMaxNameBytes, without its NUL.
    std::optional<std::string_view> cString() {
        for (size_t have = 0;;) {
            const char* from = m_buf.data() + m_pos;
            if (const void* nul = std::memchr(from + have, '\0', m_end - m_pos - have)) {
                const auto length = static_cast<size_t>(static_cast<const char*>(nul) - from);
                if (length > kMaxNameBytes) return std::nullopt;
                m_pos += length + 1;
                return std::string_view(from, length);
            }
            have = m_end - m_pos;
            if (have > kMaxNameBytes || !fill(have + 1)) return std::nullopt;
        }
    }
    // One name of the name table, without its flags: NUL-terminated before
    // file version 64, from 64 on a compact length counting the NUL and the
    // bytes. The view lasts until the next take.
    std::optional<std::string_view> nameEntry(uint16_t fileVersion) {
        if (fileVersion < 64) return cString();
        const auto length = index();
        if (!length || *length <= 0 || static_cast<uint64_t>(*length) > kMaxNameBytes)
            return std::nullopt;
        const char* p = take(static_cast<size_t>(*length));
        if (!p) return std::nullopt;
        const std::string_view bytes(p, static_cast<size_t>(*length));
        return bytes.substr(0, bytes.find('\0'));
    }
    bool failed() const { return m_failed; }

private:
    static constexpr size_t kChunk = 16 * 1024;

    uint64_t left() const { return m_end - m_pos + (m_fileSize - std::min(m_fileAt, m_fileSize)); }
    bool fill(size_t n) {
        m_buf.erase(0, m_pos);
        m_end -= m_pos;
        m_pos = 0;
        while (m_end < n && m_fileAt < m_fileSize) {
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(std::max(n, kChunk), m_fileSize - m_fileAt));
            m_buf.resize(m_end + want);
            const ssize_t got = m_read(m_fileAt, m_buf.data() + m_end, want);
            if (got < 0) m_failed = true;
            if (got <= 0) break;
            m_end += static_cast<size_t>(got);
            m_fileAt += static_cast<uint64_t>(got);
        }
        m_buf.resize(m_end);
        return m_end >= n;
    }

    const ReadAt& m_read;
    uint64_t m_fileSize, m_fileAt;
    std::string m_buf;
    size_t m_pos = 0, m_end = 0;
    bool m_failed = false;
};

} // namespace tv
