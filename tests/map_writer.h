#pragma once

// Unreal Engine 2 packages (UT2003's file version 119, UT2004's 126-128) for
// tests: the name, import and export tables and the objects' tagged
// properties, made from the format's public descriptions alone and sharing
// no code with our readers, so a misreading in a reader fails a test instead
// of being copied here.

#include "format_writers.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tvtest::ue {

enum class PropType : uint8_t {
    Byte = 1,
    Int = 2,
    Bool = 3,
    Float = 4,
    Object = 5,
    Name = 6,
    Class = 8,
    Array = 9,
    Struct = 10,
    Vector = 11,
    Rotator = 12,
    Str = 13
};
constexpr uint32_t kHasStack = 0x02000000;    // RF_HasStack: a state frame precedes the properties
constexpr uint32_t kObjectFlags = 0x00070004; // public, loaded by client, server and editor

inline std::string compactIndex(int64_t v) {
    return compactIndexBytes(v);
}

namespace detail {

using writers_detail::le16;
using writers_detail::le32;

inline std::string int32Bytes(int32_t v) {
    std::string out;
    le32(out, static_cast<uint32_t>(v));
    return out;
}

inline bool sameName(const std::string& a, const std::string& b) {
    // The engine's names ignore ASCII case: "myLevel" and "MyLevel" are one entry.
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The array index after a tag whose info byte has bit 7 set: below 128 one
// byte; below 16384 two bytes, high byte first with 0x80 added; else four
// bytes, high first, with 0xC0 added.
inline std::string arrayIndexBytes(int index) {
    if (index < 0 || index >= 0x40000000) throw std::invalid_argument("array index out of range");
    std::string out;
    if (index < 0x80) {
        out += static_cast<char>(index);
    } else if (index < 0x4000) {
        out += static_cast<char>(0x80 | (index >> 8));
        out += static_cast<char>(index & 0xFF);
    } else {
        out += static_cast<char>(0xC0 | (index >> 24));
        out += static_cast<char>((index >> 16) & 0xFF);
        out += static_cast<char>((index >> 8) & 0xFF);
        out += static_cast<char>(index & 0xFF);
    }
    return out;
}

inline int smallestSizeCode(size_t size) {
    switch (size) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    case 12:
        return 3;
    case 16:
        return 4;
    default:
        return size <= 0xFF ? 5 : size <= 0xFFFF ? 6 : 7;
    }
}

} // namespace detail

class PackageWriter {
public:
    explicit PackageWriter(uint16_t fileVersion = 128, uint16_t licensee = 0)
        : m_version(fileVersion), m_licensee(licensee) {
        name("None");
    }

    int32_t name(const std::string& n) {
        for (size_t i = 0; i < m_names.size(); ++i)
            if (detail::sameName(m_names[i], n)) return static_cast<int32_t>(i);
        m_names.push_back(n);
        return static_cast<int32_t>(m_names.size() - 1);
    }

    int32_t importObject(const std::string& classPackage, const std::string& className,
                         const std::string& objectName, int32_t outer = 0) {
        m_imports.push_back({name(classPackage), name(className), outer, name(objectName)});
        return -static_cast<int32_t>(m_imports.size());
    }

    int32_t classRef(const std::string& package, const std::string& className) {
        const int32_t pkg = findOrImport("Core", "Package", package, 0);
        return findOrImport("Core", "Class", className, pkg);
    }

    int32_t exportObject(int32_t classRef, const std::string& objectName, std::string serialData,
                         uint32_t flags = kObjectFlags, int32_t outer = 0) {
        m_exports.push_back(
            {classRef, 0, outer, name(objectName), flags, std::move(serialData), {}});
        return static_cast<int32_t>(m_exports.size());
    }

    struct Mip {
        std::string data;
        int32_t usize = 0, vsize = 0;
        uint8_t ubits = 0, vbits = 0;
    };
    // Each mip: SkipPos (32 bits), compact byte count, the bytes, USize and
    // VSize (32 bits), UBits and VBits (a byte each).
    int32_t exportTexture(const std::string& objectName, const std::string& props,
                          std::vector<Mip> mips, int32_t classRef = 0,
                          uint32_t flags = kObjectFlags, int32_t outer = 0) {
        if (classRef == 0) classRef = this->classRef("Engine", "Texture");
        std::string data = props + compactIndex(static_cast<int64_t>(mips.size()));
        std::vector<std::pair<size_t, size_t>> skips;
        for (const Mip& mip : mips) {
            const size_t at = data.size();
            detail::le32(data, 0); // SkipPos: filled in by bytes()
            data += compactIndex(static_cast<int64_t>(mip.data.size()));
            data += mip.data;
            skips.emplace_back(at, data.size());
            detail::le32(data, static_cast<uint32_t>(mip.usize));
            detail::le32(data, static_cast<uint32_t>(mip.vsize));
            data += static_cast<char>(mip.ubits);
            data += static_cast<char>(mip.vbits);
        }
        const int32_t ref = exportObject(classRef, objectName, std::move(data), flags, outer);
        m_exports.back().skips = std::move(skips);
        return ref;
    }

    // For objects that refer to ones exported after them.
    void setSerialData(int32_t exportRef, std::string data) {
        Export& e = m_exports.at(static_cast<size_t>(exportRef - 1));
        e.data = std::move(data);
        e.skips.clear();
    }

    void setGuid(const std::array<uint8_t, 16>& guid) { m_guid = guid; }
    void setPackageFlags(uint32_t flags) { m_packageFlags = flags; }

    // Laid out as the wiki says is usual: header, names, imports, the objects'
    // data, exports. Always the header of file version 68 on (GUID and
    // generations), whatever m_version says.
    std::string bytes() const {
        using detail::le32;
        std::string names;
        for (const std::string& n : m_names) {
            names += compactIndex(static_cast<int64_t>(n.size() + 1));
            names += n;
            names += '\0';
            le32(names, 0x00070010u); // flags
        }
        std::string imports;
        for (const Import& im : m_imports) {
            imports += compactIndex(im.classPackage);
            imports += compactIndex(im.className);
            le32(imports, static_cast<uint32_t>(im.outer));
            imports += compactIndex(im.objectName);
        }
        const uint32_t headerSize = 64; // with one generation
        const auto namesAt = headerSize;
        const auto importsAt = namesAt + static_cast<uint32_t>(names.size());
        const auto dataAt = importsAt + static_cast<uint32_t>(imports.size());
        std::string data, exports;
        for (const Export& e : m_exports) {
            const auto at = dataAt + static_cast<uint32_t>(data.size());
            std::string serial = e.data;
            for (const auto& [pos, end] : e.skips) {
                std::string skip;
                le32(skip, at + static_cast<uint32_t>(end));
                serial.replace(pos, 4, skip);
            }
            data += serial;
            exports += compactIndex(e.classRef);
            exports += compactIndex(e.superRef);
            le32(exports, static_cast<uint32_t>(e.outer));
            exports += compactIndex(e.objectName);
            le32(exports, e.flags);
            exports += compactIndex(static_cast<int64_t>(serial.size()));
            if (!serial.empty()) exports += compactIndex(at);
        }
        const auto exportsAt = dataAt + static_cast<uint32_t>(data.size());
        std::string h;
        le32(h, 0x9E2A83C1u);
        detail::le16(h, m_version);
        detail::le16(h, m_licensee);
        le32(h, m_packageFlags);
        le32(h, static_cast<uint32_t>(m_names.size()));
        le32(h, namesAt);
        le32(h, static_cast<uint32_t>(m_exports.size()));
        le32(h, exportsAt);
        le32(h, static_cast<uint32_t>(m_imports.size()));
        le32(h, importsAt);
        h.append(reinterpret_cast<const char*>(m_guid.data()), m_guid.size());
        le32(h, 1); // one generation: this save's export and name counts
        le32(h, static_cast<uint32_t>(m_exports.size()));
        le32(h, static_cast<uint32_t>(m_names.size()));
        return h + names + imports + data + exports;
    }

private:
    struct Import {
        int32_t classPackage, className, outer, objectName;
    };
    struct Export {
        int32_t classRef, superRef, outer, objectName;
        uint32_t flags;
        std::string data;
        std::vector<std::pair<size_t, size_t>> skips; // SkipPos at, end of its mip data
    };

    int32_t findOrImport(const std::string& classPackage, const std::string& className,
                         const std::string& objectName, int32_t outer) {
        for (size_t i = 0; i < m_imports.size(); ++i) {
            const Import& im = m_imports[i];
            if (im.outer == outer && detail::sameName(m_names[im.classPackage], classPackage) &&
                detail::sameName(m_names[im.className], className) &&
                detail::sameName(m_names[im.objectName], objectName))
                return -static_cast<int32_t>(i + 1);
        }
        return importObject(classPackage, className, objectName, outer);
    }

    uint16_t m_version, m_licensee;
    uint32_t m_packageFlags = 1; // may be downloaded, as maps are
    std::array<uint8_t, 16> m_guid = {0x3C, 0x91, 0x5E, 0x07, 0xA2, 0x4B, 0x4D, 0x18,
                                      0x9F, 0x60, 0x2E, 0xD3, 0x71, 0x0C, 0xB8, 0x45};
    std::vector<std::string> m_names;
    std::vector<Import> m_imports;
    std::vector<Export> m_exports;
};

// Per property: compact name index, info byte (bits 0-3 type, 4-6 size code,
// 7 "array index follows", or a BoolProperty's value), for a struct its
// compact name index, the size (codes 5/6/7), the array index, the value.
class Props {
public:
    explicit Props(PackageWriter& w) : m_writer(&w) {}

    Props& byteProp(const std::string& name, uint8_t v, int arrayIndex = 0) {
        return raw(name, PropType::Byte, std::string(1, static_cast<char>(v)), arrayIndex);
    }
    Props& intProp(const std::string& name, int32_t v, int arrayIndex = 0) {
        return raw(name, PropType::Int, detail::int32Bytes(v), arrayIndex);
    }
    // Size code 0 and no value bytes: the value is the info byte's bit 7.
    Props& boolProp(const std::string& name, bool v) {
        m_bytes += compactIndex(m_writer->name(name));
        m_bytes += static_cast<char>(static_cast<uint8_t>(PropType::Bool) | (v ? 0x80 : 0));
        return *this;
    }
    Props& floatProp(const std::string& name, float v) {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        std::string value;
        detail::le32(value, bits);
        return raw(name, PropType::Float, value);
    }
    Props& objectProp(const std::string& name, int32_t ref, int arrayIndex = 0) {
        return raw(name, PropType::Object, compactIndex(ref), arrayIndex);
    }
    Props& nameProp(const std::string& name, const std::string& value) {
        return raw(name, PropType::Name, compactIndex(m_writer->name(value)));
    }
    Props& strProp(const std::string& name, const std::string& text, bool utf16 = false,
                   int arrayIndex = 0) {
        std::string value;
        if (utf16) {
            const std::u16string units = writers_detail::utf16(text);
            value = compactIndex(-static_cast<int64_t>(units.size() + 1));
            for (char16_t u : units)
                detail::le16(value, static_cast<uint16_t>(u));
            detail::le16(value, 0);
        } else {
            value = compactIndex(static_cast<int64_t>(text.size() + 1)) + text + '\0';
        }
        return raw(name, PropType::Str, value, arrayIndex);
    }
    Props& structProp(const std::string& name, const std::string& structName, const Props& inner,
                      int arrayIndex = 0) {
        return tag(name, PropType::Struct, inner.bytes(), arrayIndex, -1,
                   m_writer->name(structName));
    }
    Props& arrayProp(const std::string& name, const std::string& value) {
        return raw(name, PropType::Array, value);
    }
    // A Struct type written this way has no struct name; structProp adds it.
    Props& raw(const std::string& name, PropType type, const std::string& value, int arrayIndex = 0,
               int forceSizeCode = -1) {
        return tag(name, type, value, arrayIndex, forceSizeCode, -1);
    }

    std::string bytes() const { return m_bytes + compactIndex(0); } // "None" is name 0

private:
    Props& tag(const std::string& name, PropType type, const std::string& value, int arrayIndex,
               int forceSizeCode, int32_t structName) {
        if (forceSizeCode > 7) throw std::invalid_argument("size codes are 0..7");
        const int code =
            forceSizeCode >= 0 ? forceSizeCode : detail::smallestSizeCode(value.size());
        uint8_t info = static_cast<uint8_t>(static_cast<uint8_t>(type) | code << 4);
        if (arrayIndex != 0) info |= 0x80;
        m_bytes += compactIndex(m_writer->name(name));
        m_bytes += static_cast<char>(info);
        if (structName >= 0) m_bytes += compactIndex(structName);
        if (code == 5) {
            if (value.size() > 0xFF) throw std::invalid_argument("too long for size code 5");
            m_bytes += static_cast<char>(value.size());
        } else if (code == 6) {
            if (value.size() > 0xFFFF) throw std::invalid_argument("too long for size code 6");
            detail::le16(m_bytes, static_cast<uint16_t>(value.size()));
        } else if (code == 7) {
            detail::le32(m_bytes, static_cast<uint32_t>(value.size()));
        }
        if (arrayIndex != 0) m_bytes += detail::arrayIndexBytes(arrayIndex);
        m_bytes += value;
        return *this;
    }

    PackageWriter* m_writer;
    std::string m_bytes;
};

// An object in no state: Node and StateNode 0 (compact), ProbeMask (64 bits),
// LatentAction (32 bits); with Node 0 no code offset follows.
inline std::string stateFrame() {
    return compactIndex(0) + compactIndex(0) + std::string(12, '\0');
}

inline std::string paletteData(const std::string& props,
                               const std::vector<std::array<uint8_t, 4>>& rgba) {
    std::string out = props + compactIndex(static_cast<int64_t>(rgba.size()));
    for (const auto& c : rgba)
        out.append(reinterpret_cast<const char*>(c.data()), c.size());
    return out;
}

struct MapSpec {
    uint16_t fileVersion = 128;
    std::string title, author, description;
    bool utf16Title = false;
    std::optional<int32_t> playersMin, playersMax;         // on LevelSummary
    std::optional<int32_t> infoPlayersMin, infoPlayersMax; // on LevelInfo
    std::string defaultGameType, song;                     // on LevelInfo
    bool hideFromMenus = false;
    // ETextureFormat: P8 0, RGBA7 1, RGB16 2, DXT1 3, RGB8 4, RGBA8 5, NODATA 6,
    // DXT3 7, DXT5 8, L8 9, G16 10, RRRGGGBBB 11; nullopt for no screenshot.
    std::optional<uint8_t> screenshotFormat;
    int32_t shotWidth = 0, shotHeight = 0;
    std::string shotData;                        // the first mip's bytes
    std::vector<std::array<uint8_t, 4>> palette; // for P8
    bool throughMaterialSequence = false;
    bool infoFirst = false;
};

namespace detail {

inline uint8_t log2IfPowerOfTwo(int32_t v) {
    if (v <= 0 || (v & (v - 1)) != 0) return 0;
    uint8_t bits = 0;
    while ((1 << bits) < v)
        ++bits;
    return bits;
}

// Bytes of a mip of this format and size, or -1 where we do not know them.
inline int64_t mipBytes(uint8_t format, int32_t w, int32_t h) {
    const int64_t pixels = int64_t{w} * h;
    const int64_t blocks = int64_t{(w + 3) / 4} * ((h + 3) / 4);
    switch (format) {
    case 0:
    case 9:
        return pixels;
    case 2:
    case 10:
        return pixels * 2;
    case 4:
        return pixels * 3;
    case 5:
        return pixels * 4;
    case 3:
        return blocks * 8;
    case 7:
    case 8:
        return blocks * 16;
    default:
        return -1;
    }
}

// The screenshot texture (with its palette or the sequence showing it);
// returns what LevelSummary.Screenshot names.
inline int32_t addScreenshot(PackageWriter& w, const MapSpec& spec, int32_t outer) {
    const uint8_t format = *spec.screenshotFormat;
    int32_t palette = 0;
    if (format == 0)
        palette = w.exportObject(w.classRef("Engine", "Palette"), "Palette0",
                                 paletteData(Props(w).bytes(), spec.palette), kObjectFlags, outer);
    const uint8_t ubits = log2IfPowerOfTwo(spec.shotWidth);
    const uint8_t vbits = log2IfPowerOfTwo(spec.shotHeight);
    Props t(w);
    if (format != 0) t.byteProp("Format", format); // P8 is the default, left out as the engine does
    if (ubits) t.byteProp("UBits", ubits);
    if (vbits) t.byteProp("VBits", vbits);
    t.intProp("USize", spec.shotWidth).intProp("VSize", spec.shotHeight);
    t.intProp("UClamp", spec.shotWidth).intProp("VClamp", spec.shotHeight);
    if (palette) t.objectProp("Palette", palette);
    std::vector<PackageWriter::Mip> mips = {
        {spec.shotData, spec.shotWidth, spec.shotHeight, ubits, vbits}};
    // A smaller second mip, so that taking the wrong one shows.
    const int32_t w2 = spec.shotWidth / 2, h2 = spec.shotHeight / 2;
    const int64_t size2 = w2 > 0 && h2 > 0 ? mipBytes(format, w2, h2) : -1;
    if (size2 > 0)
        mips.push_back({std::string(static_cast<size_t>(size2), '\0'), w2, h2,
                        static_cast<uint8_t>(ubits ? ubits - 1 : 0),
                        static_cast<uint8_t>(vbits ? vbits - 1 : 0)});
    const int32_t texture = w.exportTexture("MyShot", t.bytes(), mips, 0, kObjectFlags, outer);
    if (!spec.throughMaterialSequence) return texture;
    Props item(w);
    item.objectProp("Material", texture);
    Props seq(w);
    seq.arrayProp("SequenceItems", compactIndex(1) + item.bytes());
    return w.exportObject(w.classRef("Engine", "MaterialSequence"), "MyShotSequence", seq.bytes(),
                          kObjectFlags, outer);
}

} // namespace detail

// As the editor saves a map: the level's objects inside the package export
// myLevel, the LevelSummary at the top, where the map lists find it.
inline std::string mapBytes(const MapSpec& spec) {
    PackageWriter w(spec.fileVersion);
    const int32_t myLevel =
        w.exportObject(w.classRef("Core", "Package"), "myLevel", Props(w).bytes());
    const int32_t infoClass = w.classRef("Engine", "LevelInfo");
    const int32_t summaryClass = w.classRef("Engine", "LevelSummary");
    int32_t info = 0, summary = 0;
    // Their data refers to objects exported later: set once those exist.
    if (spec.infoFirst)
        info = w.exportObject(infoClass, "LevelInfo0", "", kObjectFlags | kHasStack, myLevel);
    summary = w.exportObject(summaryClass, "LevelSummary", "");
    if (!spec.infoFirst)
        info = w.exportObject(infoClass, "LevelInfo0", "", kObjectFlags | kHasStack, myLevel);
    const int32_t shot = spec.screenshotFormat ? detail::addScreenshot(w, spec, myLevel) : 0;

    Props s(w);
    if (!spec.title.empty()) s.strProp("Title", spec.title, spec.utf16Title);
    if (!spec.author.empty()) s.strProp("Author", spec.author);
    if (!spec.description.empty()) s.strProp("Description", spec.description);
    if (shot) s.objectProp("Screenshot", shot);
    if (spec.playersMin) s.intProp("IdealPlayerCountMin", *spec.playersMin);
    if (spec.playersMax) s.intProp("IdealPlayerCountMax", *spec.playersMax);
    if (spec.hideFromMenus) s.boolProp("HideFromMenus", true);
    w.setSerialData(summary, s.bytes());

    Props i(w);
    i.objectProp("Summary", summary);
    if (!spec.title.empty()) i.strProp("Title", spec.title, spec.utf16Title);
    if (!spec.author.empty()) i.strProp("Author", spec.author);
    if (spec.infoPlayersMin) i.intProp("IdealPlayerCountMin", *spec.infoPlayersMin);
    if (spec.infoPlayersMax) i.intProp("IdealPlayerCountMax", *spec.infoPlayersMax);
    if (!spec.defaultGameType.empty()) i.strProp("DefaultGameType", spec.defaultGameType);
    if (!spec.song.empty()) i.nameProp("Song", spec.song);
    w.setSerialData(info, stateFrame() + i.bytes());
    return w.bytes();
}

} // namespace tvtest::ue
