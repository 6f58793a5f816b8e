#include "unreal_properties.h"

#include "formats/umod.h"
#include "platform/bytes.h"
#include "platform/text_util.h"

#include <cstring>

namespace tv {

namespace {

// More properties than any class has; a list that goes on is damage.
constexpr size_t kMaxProperties = 100000;
// ESC and three bytes (red, green, blue) colour the text that follows.
constexpr char kColourCode = '\x1B';
// The engine's strings: far below this.
constexpr int64_t kMaxStringUnits = 1 << 20;

// The size a size code gives, reading what follows it for codes 5-7.
std::optional<uint32_t> sizeOf(uint8_t code, std::string_view d, size_t& at) {
    static constexpr uint32_t kFixed[] = {1, 2, 4, 12, 16};
    if (code < 5) return kFixed[code];
    const size_t bytes = code == 5 ? 1 : code == 6 ? 2 : 4;
    if (d.size() - at < bytes) return std::nullopt;
    uint32_t size = 0;
    for (size_t i = 0; i < bytes; ++i)
        size |= static_cast<uint32_t>(static_cast<uint8_t>(d[at + i])) << (8 * i);
    at += bytes;
    return size;
}

// The element index: 1 byte (top bit 0), 2 bytes (top bits 10) or 4 (11).
std::optional<uint32_t> arrayIndexOf(std::string_view d, size_t& at) {
    if (at >= d.size()) return std::nullopt;
    const auto b = static_cast<uint8_t>(d[at]);
    const size_t bytes = (b & 0x80) == 0 ? 1 : (b & 0xC0) == 0x80 ? 2 : 4;
    if (d.size() - at < bytes) return std::nullopt;
    uint32_t v = b & (bytes == 1 ? 0x7F : bytes == 2 ? 0x3F : 0x3F);
    for (size_t i = 1; i < bytes; ++i)
        v = (v << 8) | static_cast<uint8_t>(d[at + i]);
    at += bytes;
    return v;
}

std::optional<std::string_view> nameAt(std::string_view d, size_t& at,
                                       const std::vector<std::string>& names) {
    const auto i = readCompactIndex(d, at);
    if (!i || *i < 0 || static_cast<uint64_t>(*i) >= names.size()) return std::nullopt;
    return std::string_view(names[static_cast<size_t>(*i)]);
}

} // namespace

const Property* PropertyList::find(std::string_view name, uint32_t index) const {
    for (const auto& p : properties)
        if (p.arrayIndex == index && equalsNoCase(p.name, name)) return &p;
    return nullptr;
}

PropertyList readProperties(std::string_view d, size_t at, const std::vector<std::string>& names) {
    PropertyList out;
    const auto fail = [&](const char* why) {
        out.why = why;
        out.end = at;
        return std::move(out);
    };
    for (;;) {
        const auto name = nameAt(d, at, names);
        if (!name) return fail("a property names a name the package does not hold");
        if (equalsNoCase(*name, "None")) break;
        if (out.properties.size() >= kMaxProperties) return fail("the property list does not end");
        if (at >= d.size()) return fail("the property list is cut short");
        Property p;
        p.name = *name;
        const auto info = static_cast<uint8_t>(d[at++]);
        const uint8_t type = info & 0x0F;
        if (type == 0) return fail("a property has no type");
        p.type = static_cast<PropertyType>(type);
        if (p.type == PropertyType::Struct) {
            const auto structName = nameAt(d, at, names);
            if (!structName) return fail("a struct property names no struct");
            p.structName = *structName;
        }
        const auto size = sizeOf((info >> 4) & 0x07, d, at);
        if (!size) return fail("the property list is cut short");
        if (p.type == PropertyType::Bool) {
            p.boolValue = info & 0x80;
        } else if (info & 0x80) {
            const auto index = arrayIndexOf(d, at);
            if (!index) return fail("the property list is cut short");
            p.arrayIndex = *index;
        }
        // A bool's value is its info bit: it has no bytes of its own.
        const uint32_t bytes = p.type == PropertyType::Bool ? 0 : *size;
        if (d.size() - at < bytes) return fail("a property's value runs past the object");
        p.value = d.substr(at, bytes);
        at += bytes;
        out.properties.push_back(p);
    }
    out.end = at;
    return out;
}

std::optional<int32_t> intValue(const Property& p) {
    if (p.type == PropertyType::Byte && p.value.size() >= 1)
        return static_cast<uint8_t>(p.value[0]);
    if (p.type == PropertyType::Int && p.value.size() >= 4)
        return static_cast<int32_t>(readLe32(p.value.data()));
    return std::nullopt;
}

std::optional<int32_t> objectValue(const Property& p) {
    if (p.type != PropertyType::Object && p.type != PropertyType::Class) return std::nullopt;
    size_t at = 0;
    const auto v = readCompactIndex(p.value, at);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::optional<std::string> nameValue(const Property& p, const std::vector<std::string>& names) {
    if (p.type != PropertyType::Name) return std::nullopt;
    size_t at = 0;
    const auto n = nameAt(p.value, at, names);
    if (!n) return std::nullopt;
    return std::string(*n);
}

std::optional<std::string> stringValue(const Property& p) {
    if (p.type != PropertyType::Str && p.type != PropertyType::String) return std::nullopt;
    size_t at = 0;
    const auto length = readCompactIndex(p.value, at);
    if (!length || *length > kMaxStringUnits || *length < -kMaxStringUnits) return std::nullopt;
    std::string out;
    if (*length >= 0) {
        const auto n = static_cast<size_t>(*length);
        if (p.value.size() - at < n) return std::nullopt;
        const std::string_view bytes = p.value.substr(at, n);
        for (size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
            if (bytes[i] == kColourCode) {
                i += 3;
                continue;
            }
            appendUtf8(out, static_cast<uint8_t>(bytes[i]));
        }
        return out;
    }
    const auto units = static_cast<size_t>(-*length);
    if ((p.value.size() - at) / 2 < units) return std::nullopt;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = static_cast<uint8_t>(p.value[at + 2 * i]) |
                     static_cast<uint32_t>(static_cast<uint8_t>(p.value[at + 2 * i + 1])) << 8;
        if (u == 0) break;
        if (u == kColourCode) {
            i += 3;
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const uint32_t low =
                static_cast<uint8_t>(p.value[at + 2 * i + 2]) |
                static_cast<uint32_t>(static_cast<uint8_t>(p.value[at + 2 * i + 3])) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD; // an unpaired half
        appendUtf8(out, u);
    }
    return out;
}

std::optional<std::pair<int64_t, size_t>> arrayValue(const Property& p) {
    if (p.type != PropertyType::Array) return std::nullopt;
    size_t at = 0;
    const auto count = readCompactIndex(p.value, at);
    if (!count || *count < 0) return std::nullopt;
    return std::make_pair(*count, at);
}

std::string withoutColourCodes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kColourCode) {
            i += 3;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace tv
