#pragma once
// The pixels of one mip of the engine's textures, as 8-bit R, G, B, A.
//
// DXT1: 4x4 blocks of 8 bytes, two RGB565 colours and 2 bits a pixel (when
// colour 0 <= colour 1 the third is their mean and the fourth transparent
// black); DXT3: 8 bytes of 4-bit alphas before such a block; DXT5: two
// alphas and 3-bit indices (6 bytes) before it; P8: a byte a pixel into a
// palette (index 0 transparent when the texture is masked); RGBA8: B, G, R,
// A; L8: a grey byte; G16: a 16-bit grey.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

enum class TextureFormat : uint8_t {
    P8 = 0,
    RGBA7 = 1,
    RGB16 = 2,
    DXT1 = 3,
    RGB8 = 4,
    RGBA8 = 5,
    NoData = 6,
    DXT3 = 7,
    DXT5 = 8,
    L8 = 9,
    G16 = 10,
    RRRGGGBBB = 11
};

// The largest picture decoded: 4096 x 4096.
constexpr int kMaxPictureSide = 4096;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // width * height * 4 bytes, rows from the top
};

// The bytes a mip of that format and size holds; nullopt for a format this
// reader does not decode or a size out of bounds.
std::optional<size_t> mipBytes(TextureFormat format, int width, int height);

// The mip's pixels; nullopt (with `why`) when its bytes do not match its
// size or its format is one this reader does not decode. Nothing is
// allocated before the sizes are checked.
using Palette = std::vector<std::array<uint8_t, 4>>;
std::optional<Picture> decodeMip(TextureFormat format, std::string_view data, int width, int height,
                                 const Palette& palette, bool masked, std::string* why);

// The format's name as the engine gives it ("DXT1", "P8", ...).
std::string formatName(TextureFormat format);

} // namespace tv
