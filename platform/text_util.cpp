#include "text_util.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tv {

std::string toUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = upper8(c);
    return out;
}

std::string toLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lower8(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper8(a[i]) != upper8(b[i])) return false;
    return true;
}

bool lessNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(upper8(a[i]));
        auto cb = static_cast<unsigned char>(upper8(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool containsNoCase(std::string_view haystack, std::string_view needle) {
    return toUpper(haystack).find(toUpper(needle)) != std::string::npos;
}

std::string trim(std::string_view s) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string withoutTrailingSeparator(std::string_view path) {
    // The root folder stays "/": never the empty name (the current folder).
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

std::string joinedAsWords(const std::vector<std::string>& parts) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

std::string withHomeAsTilde(const std::string& path, std::string_view home) {
    const std::string h = withoutTrailingSeparator(home);
    if (h.empty() || h == "/") return path;
    if (path == h) return "~";
    if (path.size() > h.size() && path.compare(0, h.size(), h) == 0 && path[h.size()] == '/')
        return "~" + path.substr(h.size());
    return path;
}

namespace {
bool isControl(char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Whether any of eight bytes is a control character: a byte below 0x20 has
// its top three bits clear, and DEL is the byte whose xor with 0x7F is 0.
bool holdsControl(uint64_t bytes) {
    constexpr uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    const auto hasZero = [](uint64_t v) { return ((v - ones) & ~v & highs) != 0; };
    return hasZero(bytes & (0xE0 * ones)) || hasZero(bytes ^ (0x7F * ones));
}

// The first control character of `s`, or its end. Every status and log line
// is looked through: eight bytes at a time.
std::string_view::iterator firstControl(std::string_view s) {
    size_t i = 0;
    for (uint64_t bytes; i + 8 <= s.size(); i += 8) {
        std::memcpy(&bytes, s.data() + i, 8);
        if (holdsControl(bytes)) break;
    }
    return std::find_if(s.begin() + static_cast<std::ptrdiff_t>(i), s.end(), isControl);
}
} // namespace

bool hasControls(std::string_view s) {
    return firstControl(s) != s.end();
}

void appendEscapingControls(std::string& out, std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    for (auto control = firstControl(s); control != s.end(); control = firstControl(s)) {
        out.append(s.begin(), control);
        const auto u = static_cast<unsigned char>(*control);
        out += "\\x";
        out += hex[u >> 4];
        out += hex[u & 15];
        s.remove_prefix(static_cast<size_t>(control - s.begin()) + 1);
    }
    out += s; // the usual line is all this
}

std::string escapeControls(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    appendEscapingControls(out, s);
    return out;
}

std::string escapeControlsKeepingLines(std::string_view s) {
    std::string out;
    while (!s.empty()) {
        const size_t end = s.find('\n');
        if (end == std::string_view::npos) return out + escapeControls(s);
        const bool crlf = end > 0 && s[end - 1] == '\r';
        out += escapeControls(s.substr(0, crlf ? end - 1 : end));
        out += crlf ? "\r\n" : "\n";
        s.remove_prefix(end + 1);
    }
    return out;
}

void appendUtf8(std::string& out, uint32_t code) {
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace tv
