#pragma once

#include "platform/byte_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

// A package compressed for a redirect server (Name.ut2.uz2): a series of
// chunks, each the little-endian 32-bit sizes of its compressed and
// uncompressed bytes (the latter at most 32,768) and then the zlib stream.
constexpr uint32_t kUz2ChunkBytes = 32768;

// The package a .uz2 holds; nullopt with `error` set when a chunk is
// damaged or cut short, or the package would pass `maxBytes`.
std::optional<std::string> unpackUz2(std::string_view uz2, std::string* error,
                                     uint64_t maxBytes = uint64_t{1} << 32);
// A package compressed as a .uz2 (std::bad_alloc when memory runs out).
std::string packUz2(std::string_view package);

// The package a .uz2 holds, read from the compressed bytes of `packed` a
// chunk at a time (one chunk in memory). A damaged or cut chunk fails the
// read with its reason.
class Uz2Package : public ByteSource {
public:
    explicit Uz2Package(ByteSource& packed) : m_packed(packed) {}
    ssize_t read(char* buf, size_t size) override;

private:
    bool nextChunk();
    ByteSource& m_packed;
    std::vector<unsigned char> m_compressed, m_chunk;
    size_t m_at = 0; // in m_chunk
    bool m_ended = false;
};

// The same between files, a chunk at a time: the result is written under a
// temporary name, flushed and given its name only when whole, and never
// replaces a file (false with `error` "... exists already" then). Nothing
// is left behind on failure.
bool unpackUz2File(const std::string& from, const std::string& to, std::string* error);
bool packUz2File(const std::string& from, const std::string& to, std::string* error);

// "DM-Foo.ut2.uz2" -> "DM-Foo.ut2"; empty when the name does not end in .uz2.
std::string uz2PackageName(std::string_view fileName);

} // namespace tv
