#include "package_header.h"
#include "package_imports.h"

#include "platform/bytes.h"

#include <cstring>

namespace tv {

std::string_view packageStem(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

namespace {

// The version from which the GUID follows the table offsets.
constexpr uint16_t kGuidVersion = 68;

} // namespace

std::optional<PackageHeader> parsePackageHeader(std::string_view b, int64_t fileSize) {
    if (b.size() < 36 || readLe32(b, 0) != kPackageTag) return std::nullopt;
    PackageHeader h;
    const uint32_t version = readLe32(b, 4);
    h.fileVersion = static_cast<uint16_t>(version & 0xFFFF);
    h.licenseeVersion = static_cast<uint16_t>(version >> 16);
    h.flags = readLe32(b, 8);
    // Name, export and import tables: counts and offsets, none negative, no
    // table starting past the end of the file.
    uint32_t* const tables[] = {&h.nameCount,    &h.nameOffset,  &h.exportCount,
                                &h.exportOffset, &h.importCount, &h.importOffset};
    for (size_t at = 12; at < 36; at += 8) {
        const auto count = static_cast<int32_t>(readLe32(b, at));
        const auto offset = static_cast<int32_t>(readLe32(b, at + 4));
        if (count < 0 || offset < 0 || offset > fileSize) return std::nullopt;
        *tables[(at - 12) / 4] = static_cast<uint32_t>(count);
        *tables[(at - 12) / 4 + 1] = static_cast<uint32_t>(offset);
    }
    if (h.fileVersion >= kGuidVersion) {
        if (b.size() < 52) return std::nullopt;
        h.hasGuid = true;
        std::memcpy(h.guid.data(), b.data() + 36, 16);
    }
    return h;
}

PackageFile readPackageHeader(const std::string& path, int64_t knownSize) {
    return readPackage(path, knownSize, false).file;
}

std::string guidText(const std::array<uint8_t, 16>& guid) {
    static const char digits[] = "0123456789ABCDEF";
    // Four little-endian 32-bit words, each written most significant first.
    std::string out;
    for (size_t word = 0; word < 4; ++word)
        for (size_t i = 4; i-- > 0;) {
            const uint8_t byte = guid[word * 4 + i];
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    return out;
}

} // namespace tv
