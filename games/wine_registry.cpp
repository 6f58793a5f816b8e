#include "wine_registry.h"

#include "platform/byte_source.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <vector>

namespace tv {

namespace {

// No registry of a game machine comes near this; a bigger file is no registry.
constexpr uint64_t kMaxRegistryBytes = uint64_t{256} << 20;
// Read a piece at a time; a line longer than this is no registry line.
constexpr size_t kPieceBytes = size_t{1} << 20;
constexpr size_t kMaxLineBytes = size_t{1} << 20;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The UTF-16 unit of "\xHHHH" (up to four digits after the "x" at `i`);
// `i` moves to its last digit.
unsigned hexEscape(std::string_view text, size_t& i) {
    unsigned code = 0;
    for (int digits = 0; digits < 4 && i + 1 < text.size() && hexDigit(text[i + 1]) >= 0; ++digits)
        code = code * 16 + static_cast<unsigned>(hexDigit(text[++i]));
    return code;
}

// The character of the escape whose letter is at `i` (just after the
// backslash), as Wine writes them: \n and the other C letters, \x and one
// UTF-16 unit (a character past U+FFFF is two escapes, a surrogate pair),
// one to three octal digits for other control characters, and the
// character itself for \\, \" and the rest. `i` moves to the escape's end.
void appendEscape(std::string_view text, size_t& i, std::string& out) {
    const char n = text[i];
    if (n == 'x') {
        unsigned code = hexEscape(text, i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 2 < text.size() && text[i + 1] == '\\' &&
            text[i + 2] == 'x') {
            size_t j = i + 2;
            const unsigned low = hexEscape(text, j);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i = j;
            }
        }
        appendUtf8(out, code);
        return;
    }
    if (n >= '0' && n <= '7') {
        unsigned code = static_cast<unsigned>(n - '0');
        for (int digits = 1;
             digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
             ++digits)
            code = code * 8 + static_cast<unsigned>(text[++i] - '0');
        appendUtf8(out, code);
        return;
    }
    static constexpr std::string_view letters = "abefnrtv", codes = "\a\b\x1b\f\n\r\t\v";
    const size_t letter = letters.find(n);
    out += letter == std::string_view::npos ? n : codes[letter];
}

// The key path of a section line "[A\\B\\C] 1700000000", unescaped.
std::optional<std::string> sectionKey(std::string_view line) {
    // Key names may hold "]" only escaped; the first unescaped "]" ends it.
    std::string key;
    for (size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ']') return key;
        if (c == '\\' && i + 1 < line.size()) {
            appendEscape(line, ++i, key);
            continue;
        }
        key += c;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> unescapeRegistryString(std::string_view q, std::string_view* rest) {
    std::string out;
    for (size_t i = 0; i < q.size(); ++i) {
        const char c = q[i];
        if (c == '"') {
            if (rest) *rest = q.substr(i + 1);
            return out;
        }
        if (c != '\\' || i + 1 >= q.size()) {
            out += c;
            continue;
        }
        appendEscape(q, ++i, out);
    }
    return std::nullopt;
}

void WineRegistry::parseLine(std::string_view line, const KeyFilter& wanted) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
        auto key = sectionKey(line);
        m_current = nullptr;
        if (key && (!wanted || wanted(*key))) m_current = &m_keys[toLower(*key)];
        return;
    }
    if (!m_current) return;
    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
        rest = line.substr(1); // the key's default value
    } else if (line.front() == '"') {
        auto n = unescapeRegistryString(line.substr(1), &rest);
        if (!n) return;
        name = *n;
    } else {
        return;
    }
    if (rest.empty() || rest.front() != '=') return;
    rest.remove_prefix(1);
    // Strings: "text", or typed str:"text" / str(2):"text" (expandable).
    if (rest.rfind("str(2):", 0) == 0)
        rest.remove_prefix(7);
    else if (rest.rfind("str:", 0) == 0)
        rest.remove_prefix(4);
    if (rest.empty() || rest.front() != '"') return; // dword, hex: not wanted here
    auto v = unescapeRegistryString(rest.substr(1), nullptr);
    // What is kept stays small whatever the file holds: values past the
    // budget are passed over.
    if (!v || m_keptBytes + name.size() + v->size() > kMaxKeptBytes) return;
    m_keptBytes += name.size() + v->size();
    (*m_current)[toLower(name)] = std::move(*v);
}

void WineRegistry::parse(std::string_view text, const KeyFilter& wanted) {
    m_current = nullptr;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        parseLine(text.substr(at, end - at), wanted);
        at = end + 1;
    }
}

bool WineRegistry::load(const std::string& path, const KeyFilter& wanted) {
    // Read a piece at a time: only the keys asked for are kept, never the
    // file (a registry may be tens of megabytes).
    FileBytes file(path);
    const auto size = file.regularFileSize();
    if (!size || *size > kMaxRegistryBytes) return false;
    m_current = nullptr;
    std::vector<char> piece(kPieceBytes);
    std::string line; // a line cut by the end of a piece
    bool overlong = false;
    for (;;) {
        const ssize_t n = readFull(file, piece.data(), piece.size());
        if (n < 0) return false;
        if (n == 0) break;
        std::string_view rest(piece.data(), static_cast<size_t>(n));
        for (size_t end; (end = rest.find('\n')) != std::string_view::npos;
             rest.remove_prefix(end + 1)) {
            if (!overlong) {
                if (line.empty()) {
                    parseLine(rest.substr(0, end), wanted);
                } else {
                    line.append(rest.substr(0, end));
                    parseLine(line, wanted);
                }
            }
            line.clear();
            overlong = false;
        }
        // A line longer than any a registry writes is passed over whole.
        if (!overlong && line.size() + rest.size() > kMaxLineBytes) {
            overlong = true;
            line.clear();
        }
        if (!overlong) line.append(rest);
    }
    if (!overlong && !line.empty()) parseLine(line, wanted);
    return true;
}

std::optional<std::string> WineRegistry::value(std::string_view key, std::string_view name) const {
    auto k = m_keys.find(toLower(key));
    if (k == m_keys.end()) return std::nullopt;
    auto v = k->second.find(toLower(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

} // namespace tv
