// Texture mips: for any format, size and bytes, decoding either refuses or
// gives exactly width x height pixels; it never reads past the bytes given.
#include "formats/texture_image.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const auto format = static_cast<tv::TextureFormat>(data[0] % 12);
    // Sizes up to 255 x 255 keep each run quick; the bound itself is checked
    // by the test of the largest side.
    const int width = data[1] + 1, height = data[2] + 1;
    const bool masked = data[3] & 1;
    tv::Palette palette;
    for (int i = 0; i < (data[4] % 4) * 64; ++i)
        palette.push_back({uint8_t(i), uint8_t(i * 3), uint8_t(i * 7), 255});
    const std::string_view bytes(reinterpret_cast<const char*>(data + 5), size - 5);
    std::string why;
    const auto picture = tv::decodeMip(format, bytes, width, height, palette, masked, &why);
    if (picture && picture->rgba.size() != size_t(width) * height * 4) std::abort();
    if (!picture && why.empty()) std::abort();
    return 0;
}
