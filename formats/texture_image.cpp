#include "texture_image.h"

namespace tv {

namespace {

using Rgba = std::array<uint8_t, 4>;

Rgba from565(uint16_t c) {
    const auto r = static_cast<uint8_t>((c >> 11) & 0x1F),
               g = static_cast<uint8_t>((c >> 5) & 0x3F), b = static_cast<uint8_t>(c & 0x1F);
    return {static_cast<uint8_t>((r << 3) | (r >> 2)), static_cast<uint8_t>((g << 2) | (g >> 4)),
            static_cast<uint8_t>((b << 3) | (b >> 2)), 255};
}

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

Rgba mix(const Rgba& a, const Rgba& b, int wa, int wb) {
    Rgba out{};
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<uint8_t>((a[i] * wa + b[i] * wb) / (wa + wb));
    out[3] = 255;
    return out;
}

// The four colours of a DXT colour block; `threeColour`: DXT1's rule that
// colour 0 <= colour 1 makes the fourth transparent.
std::array<Rgba, 4> blockColours(const uint8_t* b, bool threeColour) {
    const uint16_t c0 = le16(b), c1 = le16(b + 2);
    const Rgba a = from565(c0), z = from565(c1);
    if (threeColour && c0 <= c1) return {a, z, mix(a, z, 1, 1), Rgba{0, 0, 0, 0}};
    return {a, z, mix(a, z, 2, 1), mix(a, z, 1, 2)};
}

void put(Picture& p, int x, int y, const Rgba& c) {
    if (x >= p.width || y >= p.height) return; // a block's part past the edge
    std::copy(c.begin(), c.end(), p.rgba.begin() + (static_cast<size_t>(y) * p.width + x) * 4);
}

// DXT5's eight alphas from its two.
std::array<uint8_t, 8> alphas(uint8_t a0, uint8_t a1) {
    std::array<uint8_t, 8> a{a0, a1};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            a[i + 1] = static_cast<uint8_t>(((7 - i) * a0 + i * a1) / 7);
    } else {
        for (int i = 1; i < 5; ++i)
            a[i + 1] = static_cast<uint8_t>(((5 - i) * a0 + i * a1) / 5);
        a[6] = 0;
        a[7] = 255;
    }
    return a;
}

void decodeDxt(Picture& p, const uint8_t* d, TextureFormat f) {
    const int blocksWide = (p.width + 3) / 4, blocksHigh = (p.height + 3) / 4;
    const size_t step = f == TextureFormat::DXT1 ? 8 : 16;
    for (int by = 0; by < blocksHigh; ++by)
        for (int bx = 0; bx < blocksWide; ++bx, d += step) {
            const uint8_t* colour = f == TextureFormat::DXT1 ? d : d + 8;
            const auto colours = blockColours(colour, f == TextureFormat::DXT1);
            const uint32_t bits = colour[4] | colour[5] << 8 | colour[6] << 16 |
                                  static_cast<uint32_t>(colour[7]) << 24;
            uint64_t alphaBits = 0;
            std::array<uint8_t, 8> alpha{};
            if (f == TextureFormat::DXT5) {
                alpha = alphas(d[0], d[1]);
                for (int i = 0; i < 6; ++i)
                    alphaBits |= static_cast<uint64_t>(d[2 + i]) << (8 * i);
            }
            for (int i = 0; i < 16; ++i) {
                Rgba c = colours[(bits >> (2 * i)) & 3];
                if (f == TextureFormat::DXT3)
                    c[3] = static_cast<uint8_t>(((d[i / 2] >> (4 * (i % 2))) & 0x0F) * 17);
                else if (f == TextureFormat::DXT5)
                    c[3] = alpha[(alphaBits >> (3 * i)) & 7];
                put(p, bx * 4 + i % 4, by * 4 + i / 4, c);
            }
        }
}

} // namespace

std::optional<size_t> mipBytes(TextureFormat f, int w, int h) {
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) return std::nullopt;
    const auto pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const auto blocks = static_cast<size_t>((w + 3) / 4) * static_cast<size_t>((h + 3) / 4);
    switch (f) {
    case TextureFormat::DXT1:
        return blocks * 8;
    case TextureFormat::DXT3:
    case TextureFormat::DXT5:
        return blocks * 16;
    case TextureFormat::P8:
    case TextureFormat::L8:
        return pixels;
    case TextureFormat::G16:
        return pixels * 2;
    case TextureFormat::RGBA8:
        return pixels * 4;
    default:
        return std::nullopt;
    }
}

std::optional<Picture> decodeMip(TextureFormat f, std::string_view data, int w, int h,
                                 const Palette& palette, bool masked, std::string* why) {
    const auto fail = [why](std::string text) -> std::optional<Picture> {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    const auto need = mipBytes(f, w, h);
    if (!need) {
        if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide)
            return fail("its picture claims a size of " + std::to_string(w) + "x" +
                        std::to_string(h));
        return fail("its picture is in the format " + formatName(f) + ", which is not read");
    }
    if (data.size() < *need) return fail("its picture holds fewer bytes than its size needs");
    if (f == TextureFormat::P8 && palette.empty()) return fail("its picture has no palette");
    Picture p;
    p.width = w;
    p.height = h;
    p.rgba.assign(static_cast<size_t>(w) * h * 4, 0);
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    const size_t pixels = static_cast<size_t>(w) * h;
    switch (f) {
    case TextureFormat::DXT1:
    case TextureFormat::DXT3:
    case TextureFormat::DXT5:
        decodeDxt(p, d, f);
        break;
    case TextureFormat::P8:
        for (size_t i = 0; i < pixels; ++i) {
            Rgba c = d[i] < palette.size() ? palette[d[i]] : Rgba{0, 0, 0, 255};
            c[3] = masked && d[i] == 0 ? 0 : 255;
            std::copy(c.begin(), c.end(), p.rgba.begin() + i * 4);
        }
        break;
    case TextureFormat::RGBA8:
        for (size_t i = 0; i < pixels; ++i) {
            p.rgba[i * 4] = d[i * 4 + 2];
            p.rgba[i * 4 + 1] = d[i * 4 + 1];
            p.rgba[i * 4 + 2] = d[i * 4];
            p.rgba[i * 4 + 3] = d[i * 4 + 3];
        }
        break;
    case TextureFormat::L8:
    case TextureFormat::G16:
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t grey = f == TextureFormat::L8 ? d[i] : d[i * 2 + 1]; // the high byte
            p.rgba[i * 4] = p.rgba[i * 4 + 1] = p.rgba[i * 4 + 2] = grey;
            p.rgba[i * 4 + 3] = 255;
        }
        break;
    default:
        break;
    }
    return p;
}

std::string formatName(TextureFormat f) {
    static const char* const kNames[] = {"P8",     "RGBA7", "RGB16", "DXT1", "RGB8", "RGBA8",
                                         "NODATA", "DXT3",  "DXT5",  "L8",   "G16",  "RRRGGGBBB"};
    const auto i = static_cast<size_t>(f);
    return i < std::size(kNames) ? kNames[i] : "format " + std::to_string(i);
}

} // namespace tv
