#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

// A UMOD installer (.umod, .ut2mod, .ut4mod): the files' bytes one after
// the other, then their directory, then a 20-byte trailer of little-endian
// 32-bit integers: the tag 0x9FE3C5A3, the directory's offset, the file's
// total size, a version and a CRC. The directory is a compact-index count,
// then per file its path (a compact-index length counting the closing NUL,
// then the characters; Windows separators), offset, size and flags.
constexpr uint32_t kUmodTag = 0x9FE3C5A3;
constexpr size_t kUmodTrailerBytes = 20;

struct UmodFile {
    std::string path; // as written, e.g. "Maps\DM-Foo.ut2"
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t flags = 0;
};

struct UmodDirectory {
    uint32_t version = 0;
    std::vector<UmodFile> files;
};

// The directory from its bytes; every file must lie within the first
// `contentEnd` bytes. nullopt with `error` set when it is damaged.
std::optional<UmodDirectory> parseUmodDirectory(std::string_view bytes, uint64_t contentEnd,
                                                std::string* error);

// The directory of an installer file, read through its trailer (two small
// reads); nullopt with `error` set when it is no installer or is damaged.
std::optional<UmodDirectory> readUmod(const std::string& path, std::string* error);

// The whole bytes of a small file of the installer (the manifest): at most
// `maxBytes`.
std::optional<std::string> readUmodFile(const std::string& umod, const UmodFile& file,
                                        size_t maxBytes, std::string* error);

// Whether a file name is an installer's (.umod, .ut2mod, .ut4mod; any case).
bool isUmodName(std::string_view name);

// The compact index of the engine's archives: sign and six bits, then seven
// bits a byte while the top bit says more follow; a fifth byte, the last,
// gives eight.
std::optional<int64_t> readCompactIndex(std::string_view bytes, size_t& at);

} // namespace tv
