#include "uz2.h"

#include "platform/bytes.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tv {

namespace {

// The most a chunk of 32,768 bytes can take compressed.
const uLong kMaxCompressed = compressBound(kUz2ChunkBytes);

// One chunk from its header and compressed bytes into `out`; false with
// `error` set when it is damaged.
bool inflateChunk(const unsigned char* data, uint32_t compressed, uint32_t size,
                  std::vector<unsigned char>& out, std::string* error) {
    out.resize(size);
    uLongf got = size;
    const int rc = ::uncompress(out.data(), &got, data, compressed);
    if (rc != Z_OK || got != size) {
        if (error)
            *error = "a damaged chunk (" + std::string(rc == Z_OK ? "short" : zError(rc)) + ")";
        return false;
    }
    return true;
}

bool chunkSizesValid(uint32_t compressed, uint32_t size, std::string* error) {
    if (size == 0 || size > kUz2ChunkBytes || compressed == 0 || compressed > kMaxCompressed) {
        if (error)
            *error = "a chunk declares " + std::to_string(compressed) + " compressed and " +
                     std::to_string(size) + " bytes, which no .uz2 chunk holds";
        return false;
    }
    return true;
}

std::string deflateChunk(const unsigned char* data, size_t size) {
    std::string out;
    uLongf bound = compressBound(static_cast<uLong>(size));
    std::vector<unsigned char> buf(bound);
    // With room for the worst case only memory can run out; a chunk of
    // whatever the buffer held must never be written.
    if (::compress2(buf.data(), &bound, data, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK)
        throw std::bad_alloc();
    appendLe32(out, static_cast<uint32_t>(bound));
    appendLe32(out, static_cast<uint32_t>(size));
    out.append(reinterpret_cast<const char*>(buf.data()), bound);
    return out;
}

} // namespace

std::optional<std::string> unpackUz2(std::string_view uz2, std::string* error, uint64_t maxBytes) {
    std::string out;
    std::vector<unsigned char> chunk;
    const auto* p = reinterpret_cast<const unsigned char*>(uz2.data());
    size_t at = 0;
    while (at < uz2.size()) {
        if (uz2.size() - at < 8) {
            if (error) *error = "the last chunk is cut short";
            return std::nullopt;
        }
        const uint32_t compressed = readLe32(p + at), size = readLe32(p + at + 4);
        if (!chunkSizesValid(compressed, size, error)) return std::nullopt;
        if (uz2.size() - at - 8 < compressed) {
            if (error) *error = "the last chunk is cut short";
            return std::nullopt;
        }
        if (out.size() + size > maxBytes) {
            if (error) *error = "the package would pass " + std::to_string(maxBytes) + " bytes";
            return std::nullopt;
        }
        if (!inflateChunk(p + at + 8, compressed, size, chunk, error)) return std::nullopt;
        out.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
        at += 8 + compressed;
    }
    return out;
}

std::string packUz2(std::string_view package) {
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(package.data());
    for (size_t at = 0; at < package.size(); at += kUz2ChunkBytes)
        out += deflateChunk(p + at, std::min<size_t>(kUz2ChunkBytes, package.size() - at));
    return out;
}

namespace {

// `to` made new from `from` by `convert` (given both descriptors).
bool convertFile(const std::string& from, const std::string& to, std::string* error,
                 const std::function<bool(int in, int out, std::string* why)>& convert) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        if (error) *error = "Cannot open " + from + ": " + std::strerror(errno);
        return false;
    }
    const bool ok =
        writeNewFile(to, error, [&](int out, std::string* why) { return convert(in, out, why); });
    ::close(in);
    return ok;
}

} // namespace

bool unpackUz2File(const std::string& from, const std::string& to, std::string* error) {
    return convertFile(from, to, error, [&](int in, int out, std::string* why) {
        std::vector<unsigned char> packed(kMaxCompressed), chunk;
        for (;;) {
            unsigned char head[8];
            const ssize_t n = readFull(in, head, sizeof head);
            if (n == 0) return true;
            std::string what;
            if (n < 0)
                what = std::strerror(errno);
            else if (n < 8)
                what = "the last chunk is cut short";
            else if (!chunkSizesValid(readLe32(head), readLe32(head + 4), &what)) {
            } else if (readFull(in, packed.data(), readLe32(head)) !=
                       static_cast<ssize_t>(readLe32(head)))
                what = "the last chunk is cut short";
            else if (!inflateChunk(packed.data(), readLe32(head), readLe32(head + 4), chunk,
                                   &what)) {
            } else if (!writeAll(out, {reinterpret_cast<const char*>(chunk.data()), chunk.size()}))
                what = std::string("cannot write: ") + std::strerror(errno);
            if (!what.empty()) {
                if (why) *why = from + ": " + what;
                return false;
            }
        }
    });
}

bool packUz2File(const std::string& from, const std::string& to, std::string* error) {
    return convertFile(from, to, error, [&](int in, int out, std::string* why) {
        std::vector<unsigned char> buf(kUz2ChunkBytes);
        for (;;) {
            const ssize_t n = readFull(in, buf.data(), buf.size());
            if (n < 0) {
                if (why) *why = "Cannot read " + from + ": " + std::strerror(errno);
                return false;
            }
            if (n == 0) return true;
            std::string chunk;
            try {
                chunk = deflateChunk(buf.data(), static_cast<size_t>(n));
            } catch (const std::bad_alloc&) {
                if (why) *why = "Cannot compress " + from + ": out of memory";
                return false;
            }
            if (!writeAll(out, chunk)) {
                if (why) *why = "Cannot write " + to + ": " + std::strerror(errno);
                return false;
            }
        }
    });
}

std::string uz2PackageName(std::string_view fileName) {
    if (fileName.size() <= 4 || !endsWithNoCase(fileName, ".uz2")) return {};
    return std::string(fileName.substr(0, fileName.size() - 4));
}

} // namespace tv
