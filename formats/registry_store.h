#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A file-backed registry: keys and value names compare without regard to case
// and keep their case; values keep their type and raw bytes. The file is in
// the REGEDIT4 text format that regedit and Wine's regedit read and write.
namespace tv {

enum RegType : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
};

struct RegValue {
    uint32_t type = REG_SZ;
    std::string data; // raw bytes as the registry holds them (REG_SZ with its NUL)

    static RegValue dword(uint32_t v);
    static RegValue text(std::string_view s); // REG_SZ with one terminating NUL
    bool operator==(const RegValue&) const = default;
};

struct RegKey {
    std::string path; // e.g. HKEY_LOCAL_MACHINE\Software\Zarnowick\Tessvane
    std::vector<std::pair<std::string, RegValue>> values; // name "" is the default value
};

// The parsed contents of one registry file.
class RegistryData {
public:
    // false when the text is not a REGEDIT4 file this reader understands.
    bool parse(std::string_view text, std::string* error = nullptr);
    std::string serialize() const;

    RegKey* findKey(std::string_view path);
    const RegKey* findKey(std::string_view path) const;
    // Creates the key and every missing key above it.
    RegKey& createKey(std::string_view path);
    const RegValue* findValue(std::string_view path, std::string_view name) const;
    void setValue(std::string_view path, std::string_view name, RegValue value);

    const std::vector<RegKey>& keys() const { return m_keys; }

private:
    std::vector<RegKey> m_keys;
};

// Normalises a key path: one backslash between components (a slash counts
// as one), none before the first or after the last.
std::string normaliseKeyPath(std::string_view path);
// HKEY_LOCAL_MACHINE and the other predefined roots by their handle value.
std::string rootKeyName(uint32_t rootKey);

class RegistryStore {
public:
    // The file is $TESSVANE_REGISTRY, else $XDG_CONFIG_HOME/tessvane/registry.reg,
    // else ~/.config/tessvane/registry.reg.
    RegistryStore();
    explicit RegistryStore(std::string filePath);
    static std::string defaultPath();
    const std::string& filePath() const { return m_path; }

    enum class ReadState { Ok, Missing, Unreadable };
    // Reads the file afresh. A missing file reads as an empty registry; a file
    // that cannot be read or parsed reads as empty too, with state Unreadable.
    RegistryData load(ReadState* state = nullptr) const;

    bool keyExists(std::string_view keyPath) const;
    std::optional<RegValue> value(std::string_view keyPath, std::string_view name) const;

    // Locks the file, re-reads it, stores the value (creating the key path) and
    // replaces the file atomically. An unreadable file is first kept beside it
    // as <file>.bad and `notice` says so. false (with `error`) when the file
    // could not be written; nothing is changed then.
    bool setValue(std::string_view keyPath, std::string_view name, const RegValue& value,
                  std::string* error = nullptr, std::string* notice = nullptr);
    // Creates a key (and those above it) without a value.
    bool createKey(std::string_view keyPath, std::string* error = nullptr,
                   std::string* notice = nullptr);

private:
    template <class Change> bool change(Change&& apply, std::string* error, std::string* notice);
    std::string m_path;
};

} // namespace tv
