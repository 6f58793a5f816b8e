#pragma once

#include "formats/umod.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

// A UMOD installer with these files (Windows paths, bytes), laid out as the
// game's setup program writes one: the bytes, the directory, the trailer.
inline std::string makeUmod(const std::vector<std::pair<std::string, std::string>>& files,
                            uint32_t version = 1) {
    auto le32 = [](std::string& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string out, dir = tv::compactIndex(static_cast<int64_t>(files.size()));
    for (const auto& [path, bytes] : files) {
        dir += tv::compactIndex(static_cast<int64_t>(path.size() + 1)) + path + '\0';
        le32(dir, static_cast<uint32_t>(out.size()));
        le32(dir, static_cast<uint32_t>(bytes.size()));
        le32(dir, 0);
        out += bytes;
    }
    const auto dirAt = static_cast<uint32_t>(out.size());
    out += dir;
    le32(out, tv::kUmodTag);
    le32(out, dirAt);
    le32(out, static_cast<uint32_t>(out.size() + 12)); // with this field, version and CRC
    le32(out, version);
    le32(out, 0); // no one checks the CRC
    return out;
}

} // namespace tvtest
