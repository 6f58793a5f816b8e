#include "file_hash.h"

#include "platform/text_io.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tv {

std::optional<std::string> fileHash(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::vector<unsigned char> buf(1 << 16);
    uLong crc = ::crc32(0L, Z_NULL, 0);
    ssize_t n;
    while ((n = readFull(fd, buf.data(), buf.size())) > 0)
        crc = ::crc32(crc, buf.data(), static_cast<uInt>(n));
    ::close(fd);
    if (n < 0) return std::nullopt;
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", crc & 0xFFFFFFFFUL);
    return std::string("crc32:") + text;
}

} // namespace tv
