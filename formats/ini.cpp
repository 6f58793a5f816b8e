#include "ini.h"

#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>
#include <optional>
#include <vector>

namespace tv {

namespace {

std::optional<std::string> sectionName(const std::string& line) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return trim(std::string_view(t).substr(1, close - 1));
}

// Key and value of a "key=value" line.
bool keyValue(const std::string& line, std::string& key, std::string& value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trim(std::string_view(line).substr(0, eq));
    value = trim(std::string_view(line).substr(eq + 1));
    return true;
}

} // namespace

std::string INIGetSettingString(const std::string& section, const std::string& key,
                                const std::string& file, const std::string& defaultValue) {
    auto lines = readLines(file);
    if (!lines) return defaultValue.substr(0, 255);
    return iniValue(*lines, section, key, defaultValue);
}

std::string iniValue(const std::vector<std::string>& lines, const std::string& section,
                     const std::string& key, const std::string& defaultValue) {
    bool inSection = false;
    for (const auto& line : lines) {
        if (auto s = sectionName(line)) {
            inSection = equalsNoCase(*s, section);
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (!keyValue(line, k, v) || !equalsNoCase(k, key)) continue;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return v.substr(0, 255);
    }
    return defaultValue.substr(0, 255);
}

std::vector<std::string> iniValues(const std::vector<std::string>& lines,
                                   const std::string& section, const std::string& key) {
    std::vector<std::string> out;
    bool inSection = false;
    for (const auto& line : lines) {
        if (auto s = sectionName(line)) {
            inSection = equalsNoCase(*s, section);
            continue;
        }
        std::string k, v;
        if (inSection && keyValue(line, k, v) && equalsNoCase(k, key)) out.push_back(std::move(v));
    }
    return out;
}

bool INIWriteSetting(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file, const NoticeSink& notify) {
    std::vector<std::string> lines;
    if (fileExists(file)) {
        auto read = readLines(file);
        if (!read) {
            tell(notify,
                 {"Error: " + std::to_string(errno) + ". Cannot read " + file, "INIWriteSetting"});
            return false;
        }
        lines = std::move(*read);
    }
    setIniValue(lines, section, key, value);
    std::string error;
    if (!writeLinesAtomic(file, lines, &error)) {
        tell(notify, {"Error: " + std::to_string(errno) + ". " + error, "INIWriteSetting"});
        return false;
    }
    return true;
}

void setIniValue(std::vector<std::string>& lines, const std::string& section,
                 const std::string& key, const std::string& value) {
    std::string newLine = key + "=" + value;
    int sectionStart = -1;
    int lastInSection = -1; // last non-blank line of the section
    bool done = false;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        if (auto s = sectionName(lines[i])) {
            if (sectionStart >= 0) break; // the section ended
            if (equalsNoCase(*s, section)) {
                sectionStart = static_cast<int>(i);
                lastInSection = sectionStart;
            }
            continue;
        }
        if (sectionStart < 0) continue;
        if (!trim(lines[i]).empty()) lastInSection = static_cast<int>(i);
        std::string k, v;
        if (keyValue(lines[i], k, v) && equalsNoCase(k, key)) {
            lines[i] = newLine;
            done = true;
        }
    }
    if (!done) {
        if (sectionStart >= 0) {
            lines.insert(lines.begin() + lastInSection + 1, newLine);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(newLine);
        }
    }
}

} // namespace tv
