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
    StringBytes packed(uz2);
    Uz2Package package(packed);
    std::string out;
    char buf[kUz2ChunkBytes];
    for (;;) {
        const ssize_t n = package.read(buf, sizeof buf);
        if (n < 0) {
            if (error) *error = package.error();
            return std::nullopt;
        }
        if (n == 0) return out;
        if (out.size() + static_cast<size_t>(n) > maxBytes) {
            if (error) *error = "the package would pass " + std::to_string(maxBytes) + " bytes";
            return std::nullopt;
        }
        out.append(buf, static_cast<size_t>(n));
    }
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
    // A FIFO would give nothing (or block), a device never end: only files.
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        if (error) *error = from + " is not a regular file";
        return false;
    }
    // What a killed conversion into that folder left half-written goes first.
    removeLeftovers(folderOf(to));
    const bool ok =
        writeNewFile(to, error, [&](int out, std::string* why) { return convert(in, out, why); });
    ::close(in);
    return ok;
}

} // namespace

bool Uz2Package::nextChunk() {
    char head[8];
    const ssize_t n = readFull(m_packed, head, sizeof head);
    if (n < 0) return fail(m_packed.error()), false;
    if (n == 0) {
        m_ended = true;
        return true;
    }
    if (n < 8) return fail("the last chunk is cut short"), false;
    const uint32_t compressed = readLe32(head), size = readLe32(head + 4);
    std::string why;
    if (!chunkSizesValid(compressed, size, &why)) return fail(why), false;
    m_compressed.resize(compressed);
    const ssize_t got =
        readFull(m_packed, reinterpret_cast<char*>(m_compressed.data()), compressed);
    if (got < 0) return fail(m_packed.error()), false;
    if (got != static_cast<ssize_t>(compressed)) return fail("the last chunk is cut short"), false;
    if (!inflateChunk(m_compressed.data(), compressed, size, m_chunk, &why))
        return fail(why), false;
    m_at = 0;
    return true;
}

ssize_t Uz2Package::read(char* buf, size_t size) {
    while (!m_ended && m_at == m_chunk.size())
        if (!nextChunk()) return -1;
    if (m_ended) return 0;
    const size_t n = std::min(size, m_chunk.size() - m_at);
    std::memcpy(buf, m_chunk.data() + m_at, n);
    m_at += n;
    return static_cast<ssize_t>(n);
}

bool unpackUz2File(const std::string& from, const std::string& to, std::string* error) {
    return convertFile(from, to, error, [&](int, int out, std::string* why) {
        FileBytes in(from);
        Uz2Package package(in);
        std::string what;
        if (copyBytes(package, out, &what)) return true;
        if (why) *why = from + ": " + what;
        return false;
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
