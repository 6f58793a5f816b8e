#pragma once

#include "platform/notice.h"
#include "registry_store.h"

#include <cstdint>
#include <string>
#include <variant>

namespace tv {

// A registry value as the program sees it: nothing ("empty"), text or a 32-bit number.
using RegVariant = std::variant<std::monostate, std::string, uint32_t>;
std::string variantToText(const RegVariant& v);

constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

// Names one registry key by five properties and reads or writes its values.
class clsRegistry {
public:
    // `notify` is told of an unexpected failure (once) and of the store's notices.
    explicit clsRegistry(RegistryStore& store, NoticeSink notify = {});

    const std::string& MainBranch() const { return m_mainBranch; }
    void MainBranch(std::string v) { m_mainBranch = std::move(v); }
    const std::string& Program() const { return m_program; }
    void Program(std::string v) { m_program = std::move(v); }
    const std::string& RegBase() const { return m_regBase; }
    void RegBase(std::string v) { m_regBase = std::move(v); }
    uint32_t RootKey() const { return m_rootKey; }
    void RootKey(uint32_t v) { m_rootKey = v; }
    const std::string& Section() const { return m_section; }
    void Section(std::string v) { m_section = std::move(v); }

    // MainBranch\RegBase\Program\Section with one trailing separator removed.
    std::string keyPath() const;

    std::string ReadEntry(const std::string& entry, const std::string& defaultValue);
    void WriteEntry(const std::string& entry, const std::string& value);
    RegVariant GetKeyValue(uint32_t root, const std::string& keyPath, const std::string& valueName);
    void SetKeyValue(uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value, uint32_t type);

private:
    void reportError(const std::string& operation, int number, const std::string& description);

    RegistryStore& m_store;
    NoticeSink m_notify;
    bool m_reported = false;
    uint32_t m_rootKey = HKEY_LOCAL_MACHINE;
    std::string m_mainBranch = "SOFTWARE";
    std::string m_regBase;
    std::string m_program;
    std::string m_section = "Settings";
};

// The program's own settings key and the game's key.
void useSettingsKey(clsRegistry& reg);
void useGameKey(clsRegistry& reg);

} // namespace tv
