#include "file_hash.h"

#include "platform/byte_source.h"

#include <algorithm>

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tv {

void RunningHash::add(const char* data, size_t size) {
    // zlib takes at most 4 GiB a call.
    while (size > 0) {
        const auto n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        m_crc = ::crc32(m_crc, reinterpret_cast<const Bytef*>(data), n);
        data += n;
        size -= n;
    }
}

std::string RunningHash::text() const {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", m_crc & 0xFFFFFFFFUL);
    return std::string("crc32:") + text;
}

std::optional<std::string> fileHash(const std::string& path) {
    FileBytes in(path);
    std::vector<char> buf(1 << 16);
    RunningHash hash;
    ssize_t n;
    while ((n = readFull(in, buf.data(), buf.size())) > 0)
        hash.add(buf.data(), static_cast<size_t>(n));
    if (n < 0) return std::nullopt;
    return hash.text();
}

} // namespace tv
