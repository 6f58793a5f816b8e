// Mips decoded as the public descriptions of the formats give their
// pixels; sizes checked before anything is allocated.
#include "formats/texture_image.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tv::TextureFormat;
using Rgba = std::array<uint8_t, 4>;

std::string le(std::initializer_list<uint32_t> words, int bytesEach) {
    std::string out;
    for (uint32_t w : words)
        for (int i = 0; i < bytesEach; ++i)
            out += static_cast<char>((w >> (8 * i)) & 0xFF);
    return out;
}

Rgba pixel(const tv::Picture& p, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * p.width + x) * 4;
    return {p.rgba[at], p.rgba[at + 1], p.rgba[at + 2], p.rgba[at + 3]};
}

tv::Picture decoded(TextureFormat f, const std::string& data, int w, int h,
                    const tv::Palette& palette = {}, bool masked = false) {
    std::string why;
    auto p = tv::decodeMip(f, data, w, h, palette, masked, &why);
    EXPECT_TRUE(p) << why;
    return p ? *p : tv::Picture{};
}

} // namespace

TEST(Texture, BlockFormatsGiveTheirColoursAndAlphas) {
    // DXT1, colour 0 red > colour 1 blue: four opaque colours, the two
    // between at a third and two thirds; indices 0, 1, 2, 3 along each row.
    const std::string block = le({0xF800, 0x001F}, 2) + le({0xE4E4E4E4}, 4);
    const auto four = decoded(TextureFormat::DXT1, block, 4, 4);
    EXPECT_EQ(pixel(four, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(four, 1, 3), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(pixel(four, 2, 1), (Rgba{170, 0, 85, 255}));
    EXPECT_EQ(pixel(four, 3, 2), (Rgba{85, 0, 170, 255}));
    // Colour 0 <= colour 1: the third is their mean, the fourth transparent.
    const auto three =
        decoded(TextureFormat::DXT1, le({0x001F, 0xF800}, 2) + le({0xFFFFFFFE}, 4), 4, 4);
    EXPECT_EQ(pixel(three, 0, 0), (Rgba{127, 0, 127, 255}));
    EXPECT_EQ(pixel(three, 1, 0), (Rgba{0, 0, 0, 0}));
    // Equal colours are the three-colour kind too: index 3 is transparent.
    const auto equal =
        decoded(TextureFormat::DXT1, le({0x07E0, 0x07E0}, 2) + le({0xFFFFFFFF}, 4), 4, 4);
    EXPECT_EQ(pixel(equal, 2, 2), (Rgba{0, 0, 0, 0}));
    // DXT3: four bits of alpha a pixel before the colours (0 and 15 here).
    const auto dxt3 =
        decoded(TextureFormat::DXT3, std::string("\xF0", 1) + std::string(7, '\0') + block, 4, 4);
    EXPECT_EQ(pixel(dxt3, 0, 0)[3], 0);
    EXPECT_EQ(pixel(dxt3, 1, 0)[3], 255);
    EXPECT_EQ(pixel(dxt3, 2, 0)[3], 0);
    // DXT5: index 2 of alphas 255 and 0 is (6 * 255 + 0) / 7 everywhere.
    const std::string alphas = std::string("\xFF\x00", 2) + "\x92\x24\x49\x92\x24\x49";
    const auto dxt5 = decoded(TextureFormat::DXT5, alphas + block, 4, 4);
    EXPECT_EQ(pixel(dxt5, 0, 0), (Rgba{255, 0, 0, 218}));
    EXPECT_EQ(pixel(dxt5, 3, 3)[3], 218);
    // A picture whose side is no multiple of 4 keeps what lies inside it.
    const auto odd = decoded(TextureFormat::DXT1, block + block, 6, 3);
    EXPECT_EQ(odd.rgba.size(), 6u * 3 * 4);
    EXPECT_EQ(pixel(odd, 5, 2), (Rgba{0, 0, 255, 255}));
}

TEST(Texture, PixelFormatsGiveTheirColours) {
    const tv::Palette palette = {{9, 9, 9, 255}, {10, 20, 30, 255}};
    const auto masked = decoded(TextureFormat::P8, std::string("\x00\x01", 2), 2, 1, palette, true);
    EXPECT_EQ(pixel(masked, 0, 0)[3], 0);
    EXPECT_EQ(pixel(masked, 1, 0), (Rgba{10, 20, 30, 255}));
    EXPECT_EQ(pixel(decoded(TextureFormat::P8, std::string(1, '\0'), 1, 1, palette), 0, 0),
              (Rgba{9, 9, 9, 255}));
    // RGBA8 is stored blue, green, red, alpha.
    EXPECT_EQ(pixel(decoded(TextureFormat::RGBA8, "\x01\x02\x03\x04", 1, 1), 0, 0),
              (Rgba{3, 2, 1, 4}));
    EXPECT_EQ(pixel(decoded(TextureFormat::L8, "\x40", 1, 1), 0, 0), (Rgba{64, 64, 64, 255}));
    EXPECT_EQ(pixel(decoded(TextureFormat::G16, "\x34\x12", 1, 1), 0, 0),
              (Rgba{0x12, 0x12, 0x12, 255}));
}

TEST(Texture, SizesAndBytesThatDoNotMatchAreRefused) {
    std::string why;
    // Too few bytes for the size, a side past the largest, none, no palette.
    EXPECT_FALSE(tv::decodeMip(TextureFormat::DXT1, std::string(8, '\0'), 8, 4, {}, false, &why));
    EXPECT_NE(why.find("fewer bytes"), std::string::npos) << why;
    EXPECT_FALSE(
        tv::decodeMip(TextureFormat::DXT1, std::string(8, '\0'), 65535, 65535, {}, false, &why));
    EXPECT_NE(why.find("65535x65535"), std::string::npos) << why;
    EXPECT_FALSE(tv::mipBytes(TextureFormat::L8, tv::kMaxPictureSide + 1, 1));
    EXPECT_EQ(tv::mipBytes(TextureFormat::L8, tv::kMaxPictureSide, tv::kMaxPictureSide),
              size_t{tv::kMaxPictureSide} * tv::kMaxPictureSide);
    EXPECT_FALSE(tv::decodeMip(TextureFormat::L8, "", 0, 1, {}, false, &why));
    EXPECT_FALSE(tv::decodeMip(TextureFormat::P8, "\x01", 1, 1, {}, false, &why));
    EXPECT_FALSE(tv::decodeMip(TextureFormat::RGB16, "\x01\x02", 1, 1, {}, false, &why));
    EXPECT_NE(why.find("RGB16"), std::string::npos) << why;
}
