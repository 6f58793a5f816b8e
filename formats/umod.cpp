#include "umod.h"

#include "platform/byte_source.h"
#include "platform/bytes.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>

namespace tv {

namespace {

// No installer of these games has a directory near this big.
constexpr uint64_t kMaxDirectoryBytes = 16 << 20;
constexpr size_t kMaxPathBytes = 1024;

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

// `size` bytes from `offset` of the file, whole.
bool readWhole(FileBytes& file, char* buf, size_t size, uint64_t offset) {
    file.seek(offset, size);
    return readFull(file, buf, size) == static_cast<ssize_t>(size);
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
    FileBytes file(path);
    char trailer[kUmodTrailerBytes];
    std::optional<UmodDirectory> d;
    const uint64_t size = file.regularFileSize().value_or(0);
    if (size < kUmodTrailerBytes ||
        !readWhole(file, trailer, sizeof trailer, size - kUmodTrailerBytes)) {
        // One that cannot be opened says so; anything else is too short.
        if (!file.error().empty() && file.error().starts_with("Cannot open"))
            fail(error, file.error());
        else
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
            if (!readWhole(file, dir.data(), dir.size(), dirAt))
                fail(error, "its directory cannot be read: " + file.error());
            else if ((d = parseUmodDirectory(dir, dirAt, error)))
                d->version = readLe32({trailer, sizeof trailer}, 12);
        }
    }
    return d;
}

std::optional<std::string> readUmodFile(const std::string& umod, const UmodFile& file,
                                        size_t maxBytes, std::string* error) {
    if (file.size > maxBytes) {
        fail(error, file.path + " is too big to read");
        return std::nullopt;
    }
    FileBytes from(umod);
    std::string bytes(static_cast<size_t>(file.size), '\0');
    if (!readWhole(from, bytes.data(), bytes.size(), file.offset)) {
        fail(error, from.error().starts_with("Cannot open")
                        ? from.error()
                        : file.path + " is cut short in " + umod);
        return std::nullopt;
    }
    return bytes;
}

bool isUmodName(std::string_view name) {
    return endsWithNoCase(name, ".umod") || endsWithNoCase(name, ".ut2mod") ||
           endsWithNoCase(name, ".ut4mod");
}

} // namespace tv
