#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tv {

// The start of every package of these games: the tag 0x9E2A83C1 (little-
// endian), the file and licensee versions, the flags, the name, export and
// import table counts and offsets, then (from file version 68 on, which both
// games write) the package's GUID. Same GUID, same package.
struct PackageHeader {
    uint16_t fileVersion = 0;
    uint16_t licenseeVersion = 0;
    uint32_t flags = 0;
    // The tables: entries and where they start in the file.
    uint32_t nameCount = 0, nameOffset = 0;
    uint32_t exportCount = 0, exportOffset = 0;
    uint32_t importCount = 0, importOffset = 0;
    bool hasGuid = false;
    std::array<uint8_t, 16> guid{};
};

// The package name a file holds, and the one rule for it: its name without
// the last extension ("DM-Foo.v2.ut2" holds DM-Foo.v2); a name whose only
// dot leads it, or that has none, is its own name.
std::string_view packageStem(std::string_view fileName);

constexpr uint32_t kPackageTag = 0x9E2A83C1;
// The bytes read from a file's start: enough for every field above.
constexpr size_t kPackageHeaderBytes = 52;

// The header at the start of `bytes`; nullopt when they are no package (too
// short, another tag, negative counts or offsets, an offset past `fileSize`).
std::optional<PackageHeader> parsePackageHeader(std::string_view bytes, int64_t fileSize);

// A file's header, from one small read at its start.
struct PackageFile {
    enum class Kind { Package, NotAPackage, Unreadable } kind = Kind::Unreadable;
    int64_t size = -1;
    PackageHeader header;
};
// With `knownSize` (from a listing just made) the file is not asked for it again.
PackageFile readPackageHeader(const std::string& path, int64_t knownSize = -1);

// The GUID as 32 hexadecimal digits, as the cache names its files.
std::string guidText(const std::array<uint8_t, 16>& guid);

} // namespace tv
