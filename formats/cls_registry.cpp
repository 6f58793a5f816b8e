#include "cls_registry.h"

#include <cerrno>
#include <exception>

namespace tv {

std::string variantToText(const RegVariant& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto n = std::get_if<uint32_t>(&v)) return std::to_string(*n);
    return {};
}

clsRegistry::clsRegistry(RegistryStore& store, NoticeSink notify)
    : m_store(store), m_notify(std::move(notify)) {
}

std::string clsRegistry::keyPath() const {
    std::string path = m_mainBranch + "\\" + m_regBase + "\\" + m_program + "\\" + m_section;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

void clsRegistry::reportError(const std::string& operation, int number,
                              const std::string& description) {
    // One series of writes that fails (a full disk) would fail on every value:
    // one box per instance is enough.
    if (m_reported) return;
    m_reported = true;
    tell(m_notify, {"Error: " + std::to_string(number) + ". " + description, operation});
}

std::string clsRegistry::ReadEntry(const std::string& entry, const std::string& defaultValue) {
    try {
        std::string value = variantToText(GetKeyValue(m_rootKey, keyPath(), entry));
        return value.empty() ? defaultValue : value;
    } catch (const std::exception& e) {
        reportError("ReadEntry", 5, e.what());
        return {};
    }
}

void clsRegistry::WriteEntry(const std::string& entry, const std::string& value) {
    try {
        SetKeyValue(m_rootKey, keyPath(), entry, value, REG_SZ);
    } catch (const std::exception& e) {
        reportError("WriteEntry", 5, e.what());
    }
}

RegVariant clsRegistry::GetKeyValue(uint32_t root, const std::string& path,
                                    const std::string& valueName) {
    try {
        std::string rootName = rootKeyName(root);
        if (rootName.empty()) return {};
        auto value = m_store.value(rootName + "\\" + normaliseKeyPath(path), valueName);
        if (!value) return {};
        if (value->type == REG_SZ) {
            std::string data = value->data;
            if (!data.empty() && data.back() == '\0') data.pop_back();
            return data;
        }
        if (value->type == REG_DWORD && value->data.size() == 4) {
            uint32_t n = 0;
            for (int b = 3; b >= 0; --b)
                n = (n << 8) | static_cast<unsigned char>(value->data[b]);
            return n;
        }
        return {};
    } catch (const std::exception& e) {
        reportError("GetKeyValue", 5, e.what());
        return {};
    }
}

void clsRegistry::SetKeyValue(uint32_t root, const std::string& path, const std::string& valueName,
                              const std::string& value, uint32_t type) {
    try {
        std::string rootName = rootKeyName(root);
        if (rootName.empty()) return;
        RegValue v;
        v.type = type;
        v.data = value;
        v.data.push_back('\0');
        std::string error, notice;
        errno = 0;
        if (!m_store.setValue(rootName + "\\" + normaliseKeyPath(path), valueName, v, &error,
                              &notice)) {
            // The store could not write its file (a full disk, no permission):
            // the user must learn that the setting was not kept.
            reportError("SetKeyValue", errno ? errno : 5, error);
        } else if (!notice.empty()) {
            tell(m_notify, {notice, "Tessvane", MessageIcon::Exclamation});
        }
    } catch (const std::exception& e) {
        reportError("SetKeyValue", 5, e.what());
    }
}

void useSettingsKey(clsRegistry& reg) {
    reg.RootKey(HKEY_LOCAL_MACHINE);
    reg.MainBranch("Software");
    reg.RegBase("Zarnowick");
    reg.Program("Tessvane");
    reg.Section("");
}

void useGameKey(clsRegistry& reg) {
    reg.RootKey(HKEY_LOCAL_MACHINE);
    reg.MainBranch("Software");
    reg.RegBase("Unreal Technology\\Installed Apps");
    reg.Program("UT2003");
    reg.Section("");
}

} // namespace tv
