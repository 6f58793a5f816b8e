#pragma once

// Test-data writers for the formats Tessvane reads, made from the formats'
// public descriptions alone and sharing no code with the readers, so that a
// misreading in a reader shows up as a failing test instead of being copied.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvtest {

namespace writers_detail {

inline void le16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

inline void le32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace writers_detail

// ---------------------------------------------------------------------------
// Unreal's compact index (FCompactIndex): the first byte holds the sign
// (0x80), "more follows" (0x40) and the 6 lowest bits; each later byte holds
// "more follows" (0x80) and 7 more bits; the fifth byte, the last there can
// be, gives all its 8 bits.
inline std::string compactIndexBytes(int64_t value) {
    const bool negative = value < 0;
    uint64_t rest = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (rest >> 35) throw std::invalid_argument("compact index out of range");
    std::string out;
    uint8_t first = static_cast<uint8_t>(rest & 0x3F);
    if (negative) first |= 0x80;
    rest >>= 6;
    if (rest) first |= 0x40;
    out += static_cast<char>(first);
    for (int written = 1; rest; ++written) {
        if (written == 4) { // the fifth byte: all eight bits, no flag
            out += static_cast<char>(rest & 0xFF);
            break;
        }
        uint8_t b = static_cast<uint8_t>(rest & 0x7F);
        rest >>= 7;
        if (rest) b |= 0x80;
        out += static_cast<char>(b);
    }
    return out;
}

// ---------------------------------------------------------------------------
// A UMOD installer (.umod, .ut2mod, .ut4mod) laid out as the games' setup
// writes one: the files' bytes one after another; the directory (compact-index
// count, then per file the compact-index length of the path with its closing
// NUL, the path, NUL, and 32-bit offset, size and flags); and a trailer of five
// little-endian 32-bit words: tag 0x9FE3C5A3, directory offset, size of the
// whole file, version, CRC. Manifest.ini and Manifest.int get flags 3, the
// rest 0. The CRC is left 0: what it covers and how it is computed (the
// engine's own CRC routine) is not publicly settled.
inline std::string makeUmod(const std::vector<std::pair<std::string, std::string>>& files,
                            uint32_t version = 1) {
    using writers_detail::le32;
    auto isManifest = [](const std::string& path) {
        const size_t slash = path.find_last_of('\\');
        std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return name == "manifest.ini" || name == "manifest.int";
    };
    std::string out;
    std::string dir = compactIndexBytes(static_cast<int64_t>(files.size()));
    for (const auto& [path, bytes] : files) {
        dir += compactIndexBytes(static_cast<int64_t>(path.size() + 1));
        dir += path;
        dir += '\0';
        le32(dir, static_cast<uint32_t>(out.size()));
        le32(dir, static_cast<uint32_t>(bytes.size()));
        le32(dir, isManifest(path) ? 3u : 0u);
        out += bytes;
    }
    const auto directoryAt = static_cast<uint32_t>(out.size());
    out += dir;
    const auto total = static_cast<uint32_t>(out.size() + 20);
    le32(out, 0x9FE3C5A3u);
    le32(out, directoryAt);
    le32(out, total);
    le32(out, version);
    le32(out, 0); // CRC: see above
    return out;
}

// ---------------------------------------------------------------------------
// A .uz2 (a package compressed for redirect servers): no header, a series of
// chunks, each the 32-bit little-endian compressed size, the 32-bit
// uncompressed size (32,768 at most in a valid file) and the zlib stream
// zlib's compress() makes of those bytes.
inline std::string uz2Chunk(std::string_view bytes) {
    uLongf packedSize = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib could not compress the chunk");
    packed.resize(packedSize);
    std::string out;
    writers_detail::le32(out, static_cast<uint32_t>(packed.size()));
    writers_detail::le32(out, static_cast<uint32_t>(bytes.size()));
    return out + packed;
}

// The package cut into chunks of chunkBytes (the games use 32,768).
inline std::string makeUz2(std::string_view package, size_t chunkBytes = 32768) {
    if (chunkBytes == 0) throw std::invalid_argument("chunks hold at least one byte");
    std::string out;
    for (size_t at = 0; at < package.size(); at += chunkBytes)
        out += uz2Chunk(package.substr(at, chunkBytes));
    return out;
}

// ---------------------------------------------------------------------------
// An Unreal package (.ut2, .utx, .u, ...): tag 0x9E2A83C1, 16-bit file and
// licensee versions, package flags (1: may be downloaded), name, export and
// import counts and offsets (32 bits each; empty tables); then heritage count and offset
// before file version 68, or from 68 on the 16-byte GUID, the generation
// count and one generation (export count, name count). The GUID is the bytes
// seed, seed+1, ..., seed+15; the tables' offsets point just past the header,
// where `filler` follows.
inline std::string makePackage(uint8_t seed, const std::string& filler, uint16_t version = 128,
                               uint16_t licensee = 29) {
    using writers_detail::le16;
    using writers_detail::le32;
    const uint32_t headerSize = version < 68 ? 44 : 64;
    std::string h;
    le32(h, 0x9E2A83C1u);
    le16(h, version);
    le16(h, licensee);
    le32(h, 1);                               // package flags
    for (int table = 0; table < 3; ++table) { // names, exports, imports: empty
        le32(h, 0);
        le32(h, headerSize);
    }
    if (version < 68) {
        le32(h, 1); // heritage count
        le32(h, headerSize);
    } else {
        for (int i = 0; i < 16; ++i)
            h += static_cast<char>(static_cast<uint8_t>(seed + i));
        le32(h, 1); // one generation:
        le32(h, 1); // its export count
        le32(h, 1); // and name count
    }
    return h + filler;
}

// ---------------------------------------------------------------------------
// The same with real tables. The name table: per name, before file version
// 64 its bytes and a NUL, from 64 a compact index of its length counting the
// NUL, the bytes and the NUL; then 32 bits of flags. The import table: per
// object, compact indices into the name table of its class's package and
// its class, a 32-bit outer (0 none, -n import n-1, n export n-1) and the
// compact index of its name. Names are listed in the order the imports first
// use them, after "None"; the tables follow `padding`, the names first
// unless `importsFirst`.
struct PackageImport {
    std::string classPackage, className;
    int32_t outer;
    std::string objectName;
};

inline std::string makePackageTables(const std::vector<PackageImport>& imports,
                                     uint16_t version = 128, const std::string& padding = "",
                                     bool importsFirst = false,
                                     const std::vector<std::string>& moreNames = {}) {
    using writers_detail::le16;
    using writers_detail::le32;
    std::vector<std::string> names = {"None"};
    auto indexOf = [&names](const std::string& n) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == n) return static_cast<int64_t>(i);
        names.push_back(n);
        return static_cast<int64_t>(names.size() - 1);
    };
    for (const auto& n : moreNames)
        names.push_back(n);
    std::string importTable;
    for (const auto& im : imports) {
        importTable += compactIndexBytes(indexOf(im.classPackage));
        importTable += compactIndexBytes(indexOf(im.className));
        le32(importTable, static_cast<uint32_t>(im.outer));
        importTable += compactIndexBytes(indexOf(im.objectName));
    }
    std::string nameTable;
    for (const auto& n : names) {
        if (version >= 64) nameTable += compactIndexBytes(static_cast<int64_t>(n.size() + 1));
        nameTable += n;
        nameTable += '\0';
        le32(nameTable, 0x00070010u); // flags
    }
    const uint32_t headerSize = version < 68 ? 44 : 64;
    const auto first = static_cast<uint32_t>(headerSize + padding.size());
    const auto second =
        first + static_cast<uint32_t>(importsFirst ? importTable.size() : nameTable.size());
    std::string h;
    le32(h, 0x9E2A83C1u);
    le16(h, version);
    le16(h, 29);
    le32(h, 1);
    le32(h, static_cast<uint32_t>(names.size()));
    le32(h, importsFirst ? second : first);
    le32(h, 0); // no exports
    le32(h, headerSize);
    le32(h, static_cast<uint32_t>(imports.size()));
    le32(h, importsFirst ? first : second);
    if (version < 68) {
        le32(h, 0); // heritage count
        le32(h, headerSize);
    } else {
        h += std::string(16, '\x5A'); // GUID
        le32(h, 1);
        le32(h, 0);
        le32(h, static_cast<uint32_t>(names.size()));
    }
    return h + padding + (importsFirst ? importTable + nameTable : nameTable + importTable);
}

// ---------------------------------------------------------------------------
// A Wine registry file (system.reg) as wineserver saves one: the header, then
// per key a blank line, "[path] <seconds since 1970>", "#time=<FILETIME in
// hex>" and its values ("name"="text", or "name"=str(2):"text" for an
// expandable string, @ for the unnamed value). Text is UTF-16 escaped the way
// Wine escapes it: \ and the delimiters ([ ] in paths, " elsewhere) get a
// backslash; code units above 127 become \x and lower-case hex (four digits
// when a hex digit follows); control characters become \a \b \t \n \v \f \r
// \e or octal (three digits when an octal digit follows).
struct WineKey {
    std::string path; // e.g. "Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\UT2004"
    std::vector<std::pair<std::string, std::string>> values; // name -> text (UTF-8)
    bool expand = false;                                     // the values are str(2):
};

namespace writers_detail {

inline std::u16string utf16(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if ((lead & 0xE0) == 0xC0)
            length = 2;
        else if ((lead & 0xF0) == 0xE0)
            length = 3;
        else if ((lead & 0xF8) == 0xF0)
            length = 4;
        if (length == 0 || i + length > utf8.size())
            throw std::invalid_argument("the registry writer takes UTF-8 text");
        uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto b = static_cast<uint8_t>(utf8[i + k]);
            if ((b & 0xC0) != 0x80)
                throw std::invalid_argument("the registry writer takes UTF-8 text");
            cp = cp << 6 | (b & 0x3F);
        }
        i += length;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (cp >> 10));
            out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        }
    }
    return out;
}

inline std::string wineEscape(std::string_view utf8, std::string_view delimiters) {
    static const char kLetters[32] = {0, 0, 0, 0, 0, 0, 0, 'a', 'b', 't', 'n', 'v', 'f', 'r', 0, 0,
                                      0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   'e', 0,   0,   0, 0};
    const std::u16string text = utf16(utf8);
    std::string out;
    char buffer[16];
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
        const bool nextIsHex = (next >= '0' && next <= '9') || (next >= 'a' && next <= 'f') ||
                               (next >= 'A' && next <= 'F');
        if (c > 127) {
            std::snprintf(buffer, sizeof buffer, nextIsHex ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out += buffer;
        } else if (c < 32) {
            if (kLetters[c]) {
                out += '\\';
                out += kLetters[c];
            } else {
                std::snprintf(buffer, sizeof buffer, next >= '0' && next <= '7' ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out += buffer;
            }
        } else {
            if (c == '\\' || delimiters.find(static_cast<char>(c)) != std::string_view::npos)
                out += '\\';
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace writers_detail

inline std::string wineRegistry(const std::vector<WineKey>& keys) {
    using writers_detail::wineEscape;
    const uint64_t seconds = 1700000000;                                // 2023-11-14
    const uint64_t filetime = (seconds + 11644473600ull) * 10000000ull; // 100 ns since 1601
    char time[32];
    std::snprintf(time, sizeof time, "#time=%x%08x\n", static_cast<unsigned>(filetime >> 32),
                  static_cast<unsigned>(filetime & 0xFFFFFFFF));
    std::string out =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    for (const WineKey& key : keys) {
        out += "\n[" + wineEscape(key.path, "[]") + "] " + std::to_string(seconds) + "\n";
        out += time;
        for (const auto& [name, text] : key.values) {
            out += name.empty() ? "@=" : "\"" + wineEscape(name, "\"") + "\"=";
            if (key.expand) out += "str(2):";
            out += "\"" + wineEscape(text, "\"") + "\"\n";
        }
    }
    return out;
}

} // namespace tvtest
