#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tv {

// The little-endian 32-bit number at `p` (the games' files are little-endian
// whatever the machine).
inline uint32_t readLe32(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}
// The same at `at` of `bytes`; the caller checked that four bytes are there.
inline uint32_t readLe32(std::string_view bytes, size_t at) {
    return readLe32(bytes.data() + at);
}

inline void appendLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace tv
