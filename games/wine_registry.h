#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tv {

// The string values of a Wine registry file (a prefix's system.reg or
// user.reg: "WINE REGISTRY Version 2", then "[Key\\Path] stamp" sections with
// "Name"="text" or "Name"=str(2):"text" values). Keys and names compare
// without regard to case. Whatever the file holds, reading never fails hard:
// a line that cannot be read is passed over.
class WineRegistry {
public:
    // Keeps only the keys `wanted` accepts (given the key's path as written,
    // unescaped, e.g. "Software\Unreal Technology\Installed Apps\UT2004");
    // none: every key.
    using KeyFilter = std::function<bool(std::string_view key)>;

    void parse(std::string_view text, const KeyFilter& wanted = {});
    // Read a piece at a time (the file is never held whole). false when the
    // file cannot be read, is no regular file or is too big to be a registry.
    bool load(const std::string& path, const KeyFilter& wanted = {});

    // A string value (REG_SZ or REG_EXPAND_SZ), text as UTF-8.
    std::optional<std::string> value(std::string_view key, std::string_view name) const;
    size_t keyCount() const { return m_keys.size(); }

    // Names and values kept of the keys asked for, at most: the rest of a
    // file that holds more is passed over.
    static constexpr size_t kMaxKeptBytes = size_t{4} << 20;

private:
    void parseLine(std::string_view line, const KeyFilter& wanted);

    // lower-cased key -> lower-cased name -> value
    std::map<std::string, std::map<std::string, std::string>> m_keys;
    std::map<std::string, std::string>* m_current = nullptr; // the key being read
    size_t m_keptBytes = 0;
};

// A quoted registry string's text without its escapes (\\, \", \n and the other C letters,
// octal \0 to \377, \xHHHH as UTF-16 in UTF-8); `quoted` starts after the opening
// quote. nullopt when there is no closing quote. `rest` gets what follows it.
std::optional<std::string> unescapeRegistryString(std::string_view quoted, std::string_view* rest);

} // namespace tv
