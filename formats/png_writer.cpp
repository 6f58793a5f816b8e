#include "png_writer.h"

#include <zlib.h>

namespace tv {

namespace {

void be32(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A chunk: its length, its type and data, and the CRC of type and data.
void chunk(std::string& out, const char* type, const std::string& data) {
    be32(out, static_cast<uint32_t>(data.size()));
    const size_t from = out.size();
    out += type;
    out += data;
    const auto* p = reinterpret_cast<const Bytef*>(out.data() + from);
    be32(out, static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(out.size() - from))));
}

} // namespace

std::string pngBytes(const Picture& picture) {
    std::string header;
    be32(header, static_cast<uint32_t>(picture.width));
    be32(header, static_cast<uint32_t>(picture.height));
    header += '\x08';               // 8 bits a sample
    header += '\x06';               // RGBA
    header += std::string(3, '\0'); // deflate, adaptive filters, no interlacing
    // Each row: filter type 0 (none), then its pixels.
    const size_t row = static_cast<size_t>(picture.width) * 4;
    std::string raw;
    raw.reserve((row + 1) * static_cast<size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(picture.rgba.data()) + y * row, row);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  6) != Z_OK)
        return {};
    packed.resize(size);
    std::string out("\x89PNG\r\n\x1A\n", 8);
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

} // namespace tv
