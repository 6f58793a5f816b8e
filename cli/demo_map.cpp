#include "demo_map.h"

#include "formats/package_header.h"
#include "platform/bytes.h"

#include <cmath>
#include <vector>

namespace tv {

namespace {

std::string compact(int64_t v) {
    std::string out;
    uint64_t a = static_cast<uint64_t>(v < 0 ? -v : v);
    uint8_t first = (v < 0 ? 0x80 : 0) | (a & 0x3F);
    a >>= 6;
    if (a) first |= 0x40;
    out += static_cast<char>(first);
    for (int i = 1; a && i < 5; ++i) {
        uint8_t b = a & (i == 4 ? 0xFF : 0x7F);
        a >>= 7;
        if (a && i < 4) b |= 0x80;
        out += static_cast<char>(b);
    }
    return out;
}

// A package being put together: its names and objects, its bytes at the end.
class Writer {
public:
    int32_t name(const std::string& n) {
        for (size_t i = 0; i < m_names.size(); ++i)
            if (m_names[i] == n) return static_cast<int32_t>(i);
        m_names.push_back(n);
        return static_cast<int32_t>(m_names.size() - 1);
    }
    int32_t import(const std::string& package, const std::string& cls, const std::string& object,
                   int32_t outer) {
        m_imports += compact(name(package)) + compact(name(cls));
        appendLe32(m_imports, static_cast<uint32_t>(outer));
        m_imports += compact(name(object));
        return -++m_importCount;
    }
    // Properties: each tag with its value, in the engine's order of fields.
    void prop(std::string& to, const std::string& n, uint8_t type, const std::string& value) {
        static const std::pair<size_t, uint8_t> kCodes[] = {
            {1, 0}, {2, 1}, {4, 2}, {12, 3}, {16, 4}};
        uint8_t code = 5;
        for (const auto& [size, c] : kCodes)
            if (value.size() == size) code = c;
        to += compact(name(n));
        to += static_cast<char>(type | (code << 4));
        if (code == 5) to += static_cast<char>(value.size());
        to += value;
    }
    std::string text(const std::string& s) {
        return compact(static_cast<int64_t>(s.size() + 1)) + s + '\0';
    }
    std::string int32(int32_t v) {
        std::string out;
        appendLe32(out, static_cast<uint32_t>(v));
        return out;
    }
    std::string none() { return compact(name("None")); }
    // An export: its data is placed when the package is written.
    void object(int32_t cls, const std::string& n, uint32_t flags, std::string data) {
        m_objects.push_back({cls, name(n), flags, std::move(data)});
    }
    // The header, the objects' data, then the name, import and export tables.
    std::string bytes(const std::string& guid) const {
        std::string out(kPackageHeaderBytes, '\0');
        appendLe32(out, 1); // one generation
        appendLe32(out, static_cast<uint32_t>(m_objects.size()));
        appendLe32(out, static_cast<uint32_t>(m_names.size()));
        std::vector<size_t> at;
        for (const auto& o : m_objects) {
            at.push_back(out.size());
            out += o.data;
        }
        const auto put = [&](size_t where, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out[where + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put(0, kPackageTag);
        put(4, 119); // UT2003's file version
        put(8, 1);   // allows download
        put(12, static_cast<uint32_t>(m_names.size()));
        put(16, static_cast<uint32_t>(out.size()));
        for (const auto& n : m_names) {
            out += compact(static_cast<int64_t>(n.size() + 1)) + n + '\0';
            appendLe32(out, 0x00070010);
        }
        put(20, static_cast<uint32_t>(m_objects.size()));
        put(28, static_cast<uint32_t>(m_importCount));
        put(32, static_cast<uint32_t>(out.size()));
        out += m_imports;
        put(24, static_cast<uint32_t>(out.size()));
        for (size_t i = 0; i < m_objects.size(); ++i) {
            const auto& o = m_objects[i];
            out += compact(o.cls) + compact(0);
            appendLe32(out, 0);
            out += compact(o.name);
            appendLe32(out, o.flags);
            out +=
                compact(static_cast<int64_t>(o.data.size())) + compact(static_cast<int64_t>(at[i]));
        }
        for (size_t i = 0; i < 16 && 2 * i + 1 < guid.size(); ++i)
            out[36 + i] = static_cast<char>(std::stoi(guid.substr(2 * i, 2), nullptr, 16));
        return out;
    }

private:
    struct Object {
        int32_t cls, name;
        uint32_t flags;
        std::string data;
    };
    std::vector<std::string> m_names{"None"};
    std::string m_imports;
    int32_t m_importCount = 0;
    std::vector<Object> m_objects;
};

// A sky over hills, in the map's own colours: 128 x 64, RGBA8 (stored B, G, R, A).
std::string landscape(uint32_t seed) {
    constexpr int kW = 128, kH = 64;
    std::string pixels;
    const double phase = (seed % 97) / 15.0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double hill =
                40 + 8 * std::sin(x / 14.0 + phase) + 4 * std::sin(x / 5.0 + 2 * phase);
            uint8_t r, g, b;
            if (y < hill) {
                r = static_cast<uint8_t>(60 + y * 2), g = static_cast<uint8_t>(90 + y * 2), b = 220;
            } else {
                r = static_cast<uint8_t>(40 + (seed & 0x3F)),
                g = static_cast<uint8_t>(110 - (y - 40)),
                b = static_cast<uint8_t>(30 + ((seed >> 6) & 0x3F));
            }
            pixels += static_cast<char>(b);
            pixels += static_cast<char>(g);
            pixels += static_cast<char>(r);
            pixels += '\xFF';
        }
    return pixels;
}

} // namespace

std::string demoMapPackage(const DemoMap& m, const std::string& guid) {
    Writer w;
    const int32_t engine = w.import("Core", "Package", "Engine", 0);
    const int32_t levelInfo = w.import("Core", "Class", "LevelInfo", engine);
    const int32_t levelSummary = w.import("Core", "Class", "LevelSummary", engine);
    const int32_t texture = w.import("Core", "Class", "Texture", engine);
    // The screenshot: its properties, then one mip (its end, its size, its
    // bytes, then its width, height and their powers of two).
    std::string shot;
    w.prop(shot, "Format", 1, std::string(1, '\x05')); // RGBA8
    w.prop(shot, "USize", 2, w.int32(128));
    w.prop(shot, "VSize", 2, w.int32(64));
    w.prop(shot, "UBits", 1, std::string(1, '\x07'));
    w.prop(shot, "VBits", 1, std::string(1, '\x06'));
    shot += w.none();
    uint32_t seed = 0;
    for (unsigned char c : m.title)
        seed = seed * 31 + c;
    const std::string pixels = landscape(seed);
    // The mip's end is a file offset: the objects' data follows the header
    // and one generation (64 bytes), and the screenshot comes first.
    const size_t mipStart = kPackageHeaderBytes + 12 + shot.size() + 1;
    shot += compact(1);
    appendLe32(shot, static_cast<uint32_t>(mipStart + 4 +
                                           compact(static_cast<int64_t>(pixels.size())).size() +
                                           pixels.size()));
    shot += compact(static_cast<int64_t>(pixels.size())) + pixels;
    shot += w.int32(128) + w.int32(64) + std::string("\x07\x06", 2);
    w.object(texture, "Screenshot", 0x00070004, shot);

    std::string summary;
    w.prop(summary, "Title", 13, w.text(m.title));
    w.prop(summary, "Author", 13, w.text(m.author));
    w.prop(summary, "IdealPlayerCountMin", 2, w.int32(m.playersMin));
    w.prop(summary, "IdealPlayerCountMax", 2, w.int32(m.playersMax));
    w.prop(summary, "Screenshot", 5, compact(1));
    summary += w.none();
    w.object(levelSummary, "LevelSummary", 0x00070004, summary);

    // The level's script state (none), then its properties.
    std::string info = compact(0) + compact(0) + std::string(12, '\0');
    w.prop(info, "DefaultGameType", 13, w.text(m.gameType));
    w.prop(info, "Song", 6, compact(w.name(m.song)));
    info += w.none();
    w.object(levelInfo, "LevelInfo0", 0x02070004, info);
    return w.bytes(guid);
}

} // namespace tv
