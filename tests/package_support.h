#pragma once

#include <cstdint>
#include <string>

namespace tvtest {

// A package as the games write it: the header (tag, versions, flags, table
// counts and offsets, then a GUID of the 16 bytes seed, seed+1, ...) and
// `filler` for the rest.
inline std::string makePackage(uint8_t seed, const std::string& filler, uint16_t version = 128,
                               uint16_t licensee = 29) {
    std::string h(52, '\0');
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(0, 0x9E2A83C1);
    put(4, static_cast<uint32_t>(version) | static_cast<uint32_t>(licensee) << 16);
    put(8, 0x1);
    for (size_t at = 12; at < 36; at += 8) {
        put(at, 1);      // one entry
        put(at + 4, 52); // just after the header
    }
    for (size_t i = 0; i < 16; ++i)
        h[36 + i] = static_cast<char>(seed + i);
    return h + filler;
}

} // namespace tvtest
