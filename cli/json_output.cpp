#include "json_output.h"

namespace tv::cli {

namespace {

// The length of the UTF-8 sequence that starts `text` at `at`; 0 when none
// starts there (a stray byte, an overlong or surrogate form, a cut one).
size_t sequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b = byte(at);
    if (b < 0x80) return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (at + n > text.size()) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

} // namespace

bool isUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t n = sequenceAt(text, at);
        if (n == 0) return false;
        at += n;
    }
    return true;
}

void putName(Json& obj, const std::string& key, const std::string& name) {
    if (isUtf8(name)) {
        obj[key] = name;
        return;
    }
    std::string shown, hex;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t at = 0; at < name.size();) {
        const size_t n = sequenceAt(name, at);
        if (n == 0) {
            shown += "\xEF\xBF\xBD"; // U+FFFD
            ++at;
        } else {
            shown.append(name, at, n);
            at += n;
        }
    }
    for (unsigned char b : name) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    obj[key] = shown;
    obj[key + "_hex"] = hex;
}

void printJson(std::ostream& out, const Json& document) {
    out << document.dump(2) << '\n';
}

} // namespace tv::cli
