#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tv {

// Bytes read a piece at a time from wherever they are: a file, a range of
// one (a file of an installer), or what a decoder makes of another source.
// Nothing is ever held whole.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `buf`: the count, 0 at the end, -1 on failure
    // (error() says why).
    virtual ssize_t read(char* buf, size_t size) = 0;
    const std::string& error() const { return m_error; }

protected:
    ssize_t fail(std::string why) {
        m_error = std::move(why);
        return -1;
    }

private:
    std::string m_error;
};

// A whole file, or `size` bytes of it from `offset` (a file that ends sooner
// is "cut short"). A file that cannot be opened fails at the first read.
class FileBytes : public ByteSource {
public:
    static constexpr uint64_t kToEnd = UINT64_MAX;
    explicit FileBytes(const std::string& path, uint64_t offset = 0, uint64_t size = kToEnd);
    ~FileBytes() override;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ssize_t read(char* buf, size_t size) override;
    // The file's size when it is a regular file (not a FIFO, a device or a
    // folder, which are never read); nullopt otherwise or when not open.
    std::optional<uint64_t> regularFileSize() const;
    // Reads `size` bytes from `offset` next.
    void seek(uint64_t offset, uint64_t size) {
        m_at = offset;
        m_left = size;
        m_ranged = size != kToEnd;
    }

private:
    std::string m_path;
    int m_fd = -1;
    int m_openError = 0;
    uint64_t m_at, m_left;
    bool m_ranged;
};

// Bytes already in memory.
class StringBytes : public ByteSource {
public:
    explicit StringBytes(std::string_view bytes) : m_bytes(bytes) {}
    ssize_t read(char* buf, size_t size) override;

private:
    std::string_view m_bytes;
};

// Fills `buf` as far as the source goes: `size`, fewer at its end, -1 on failure.
ssize_t readFull(ByteSource& source, char* buf, size_t size);

// Two sources compared a piece at a time. The first is always read to its
// end, so that one that is damaged further on says so even when the bytes
// differ early.
enum class Comparison { Same, Different, FirstFailed, SecondFailed };
Comparison compareBytes(ByteSource& first, ByteSource& second);

// The whole source written to `fd`; each piece is shown to `seen` too (a
// running hash). false with `error` set (the source's failure, or the write's).
bool copyBytes(ByteSource& from, int fd, std::string* error,
               const std::function<void(const char* data, size_t size)>& seen = {});

} // namespace tv
