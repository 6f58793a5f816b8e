#pragma once
// One object's tagged properties, as the engine stores them.
//
// Each property: its name (a name index, compact; the name None ends the
// list), an info byte (bits 0-3 the type, bits 4-6 the size code, bit 7 the
// array flag, which for a bool is its value), for a struct the struct's
// name (compact), then the size (code 0-4: 1, 2, 4, 12, 16 bytes; 5, 6, 7: a
// byte, a 16-bit or a 32-bit size follows), then for an array flag (not a
// bool's) the element index in 1, 2 or 4 bytes (top bits 0, 10, 11), then
// the value. Every property is skipped by its declared size, so a type this
// reader does not know costs nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

enum class PropertyType : uint8_t {
    Byte = 1,
    Int = 2,
    Bool = 3,
    Float = 4,
    Object = 5,
    Name = 6,
    String = 7,
    Class = 8,
    Array = 9,
    Struct = 10,
    Vector = 11,
    Rotator = 12,
    Str = 13,
    Map = 14,
    FixedArray = 15
};

struct Property {
    std::string_view name;
    PropertyType type = PropertyType::Byte;
    bool boolValue = false;
    std::string_view structName;
    uint32_t arrayIndex = 0;
    std::string_view value; // the value's bytes (none for a bool)
};

struct PropertyList {
    std::vector<Property> properties;
    size_t end = 0;  // where the list ended (past its None)
    std::string why; // what is wrong when the list is damaged; empty when whole
    bool whole() const { return why.empty(); }
    // The property of that name (any letter case) and element index; null when none.
    const Property* find(std::string_view name, uint32_t index = 0) const;
};

// The list that starts at `at` of `data`; `names` is the package's name table.
PropertyList readProperties(std::string_view data, size_t at,
                            const std::vector<std::string>& names);

// A value read as its type stores it; nullopt when the bytes do not hold one.
std::optional<int32_t> intValue(const Property& p);    // Int; Byte as a number
std::optional<int32_t> objectValue(const Property& p); // Object, Class: an object reference
std::optional<std::string> nameValue(const Property& p, const std::vector<std::string>& names);
// Str (and String): a compact length counting the NUL, negative for that many
// UTF-16LE units; given as UTF-8 (one-byte text is Windows' Latin-1), for
// show: without its colour codes (ESC and three units).
std::optional<std::string> stringValue(const Property& p);
// Array: the element count and where the elements start in the value.
std::optional<std::pair<int64_t, size_t>> arrayValue(const Property& p);

// One-byte text for show: the colour codes (ESC and three bytes) taken out.
std::string withoutColourCodes(std::string_view text);

} // namespace tv
