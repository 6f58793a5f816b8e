#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Text helpers for the 8-bit texts the program reads from the game's files.
// Letter case follows the Latin-1 code page, as the game's files are 8-bit text.
namespace tv {

// "A", "A and B", "A, B and C".
std::string joinedAsWords(const std::vector<std::string>& parts);

// The character `code` in UTF-8 at the end of `out`; a lone surrogate half
// (or a code past U+10FFFF) as U+FFFD.
void appendUtf8(std::string& out, uint32_t code);

inline char upper8(char c) {
    const auto u = static_cast<unsigned char>(c);
    // a..z, and the Latin-1 letters à..þ except the division sign
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<char>(u - 32);
    return c;
}
inline char lower8(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<char>(u + 32);
    return c;
}
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
// Orders texts as a list sorts them: letter case ignored, then bytes.
bool lessNoCase(std::string_view a, std::string_view b);
bool endsWithNoCase(std::string_view s, std::string_view suffix);
bool containsNoCase(std::string_view haystack, std::string_view needle);
std::string trim(std::string_view s);
// The text with every control character (below 0x20, and 0x7F) written as
// \xNN, so that one entry of a log or a list stays one line and a name
// cannot forge another line or steer a terminal.
std::string escapeControls(std::string_view s);
// Whether escapeControls would change the text.
bool hasControls(std::string_view s);
// The same, appended to `out`.
void appendEscapingControls(std::string& out, std::string_view s);
// The same for a text of several lines (a description, a message): its line
// breaks (LF, or CR LF) stay, so it still shows as lines; a lone CR and every
// other control character are escaped.
std::string escapeControlsKeepingLines(std::string_view s);
// Removes one trailing path separator, if there is one.
std::string withoutTrailingSeparator(std::string_view path);
// A path for the player to read: the home folder itself as "~", a path
// below it as "~/..."; any other (and any path with no home, or "/" as
// home) as it is.
std::string withHomeAsTilde(const std::string& path, std::string_view home);

} // namespace tv
