#include "registry_store.h"

#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace tv {

RegValue RegValue::dword(uint32_t v) {
    RegValue r;
    r.type = REG_DWORD;
    r.data.resize(4);
    for (int i = 0; i < 4; ++i)
        r.data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return r;
}

RegValue RegValue::text(std::string_view s) {
    RegValue r;
    r.type = REG_SZ;
    r.data = std::string(s);
    r.data.push_back('\0');
    return r;
}

std::string normaliseKeyPath(std::string_view path) {
    // A key has no empty components: runs of separators count as one, and
    // none leads or trails.
    std::string p;
    p.reserve(path.size());
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && (p.empty() || p.back() == '\\')) continue;
        p += c;
    }
    if (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

std::string rootKeyName(uint32_t rootKey) {
    switch (rootKey) {
    case 0x80000000u:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
        return "HKEY_CURRENT_USER";
    case 0x80000002u:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
        return "HKEY_USERS";
    case 0x80000005u:
        return "HKEY_CURRENT_CONFIG";
    default:
        return {};
    }
}

// ---- parsing --------------------------------------------------------------

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
bool readQuoted(std::string_view text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < text.size()) {
        char c = text[pos++];
        if (c == '"') return true;
        if (c == '\\' && pos < text.size()) {
            char n = text[pos++];
            if (n == '\\' || n == '"')
                out.push_back(n);
            else if (n == 'n')
                out.push_back('\n');
            else if (n == 'r')
                out.push_back('\r');
            else if (n == '0')
                out.push_back('\0');
            else {
                out.push_back('\\');
                out.push_back(n);
            }
            continue;
        }
        out.push_back(c);
    }
    return false;
}

bool parseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::string t;
    for (char c : s)
        if (c != ' ' && c != '\t') t.push_back(c);
    if (t.empty()) return true;
    size_t i = 0;
    while (i < t.size()) {
        if (i + 1 >= t.size()) return false;
        int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        if (i < t.size()) {
            if (t[i] != ',') return false;
            ++i;
            if (i == t.size()) return false;
        }
    }
    return true;
}

bool parseData(std::string_view d, RegValue& v) {
    if (!d.empty() && d.front() == '"') {
        size_t pos = 0;
        std::string s;
        if (!readQuoted(d, pos, s) || trim(d.substr(pos)).size() != 0) return false;
        v = RegValue::text(s);
        return true;
    }
    if (d.substr(0, 6) == "dword:") {
        auto digits = trim(d.substr(6));
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t n = 0;
        for (char c : digits) {
            int h = hexDigit(c);
            if (h < 0) return false;
            n = n * 16 + static_cast<uint32_t>(h);
        }
        v = RegValue::dword(n);
        return true;
    }
    if (d.substr(0, 4) == "hex:") {
        v.type = REG_BINARY;
        return parseHexBytes(d.substr(4), v.data);
    }
    if (d.substr(0, 4) == "hex(") {
        size_t close = d.find(')');
        if (close == std::string_view::npos || close + 1 >= d.size() || d[close + 1] != ':')
            return false;
        uint32_t t = 0;
        auto digits = d.substr(4, close - 4);
        if (digits.empty()) return false;
        for (char c : digits) {
            int h = hexDigit(c);
            if (h < 0) return false;
            t = t * 16 + static_cast<uint32_t>(h);
        }
        v.type = t;
        return parseHexBytes(d.substr(close + 2), v.data);
    }
    return false;
}

void appendHex(std::string& out, std::string_view prefix, std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string line(prefix);
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        std::string item{digits[b >> 4], digits[b & 15]};
        if (i + 1 < bytes.size()) item += ',';
        if (line.size() + item.size() > 77 && i + 1 < bytes.size()) {
            out += line + "\\\r\n";
            line = "  ";
        }
        line += item;
    }
    out += line + "\r\n";
}

bool printableText(std::string_view s) {
    for (char c : s)
        if (c == '\0' || c == '\r' || c == '\n') return false;
    return true;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        // Line ends and NULs would end or cut the line; the reader takes them
        // back from these escapes.
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        if (c == '\0') {
            out += "\\0";
            continue;
        }
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out += '"';
    return out;
}

} // namespace

bool RegistryData::parse(std::string_view text, std::string* error) {
    m_keys.clear();
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        m_keys.clear();
        return false;
    };
    // Join continued lines (a trailing backslash on hex data).
    std::vector<std::string> raw = splitLines(text);
    std::vector<std::string> lines;
    for (size_t i = 0; i < raw.size(); ++i) {
        std::string l = raw[i];
        while (!l.empty() && l.back() == '\\' && l.find("=hex") != std::string::npos &&
               i + 1 < raw.size()) {
            l.pop_back();
            l += trim(raw[++i]);
        }
        lines.push_back(l);
    }
    size_t i = 0;
    while (i < lines.size() && trim(lines[i]).empty())
        ++i;
    if (i == lines.size() || trim(lines[i]) != "REGEDIT4")
        return fail("the file does not begin with REGEDIT4");
    ++i;
    RegKey* current = nullptr;
    for (; i < lines.size(); ++i) {
        std::string line = trim(lines[i]);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail("line " + std::to_string(i + 1) + ": bad key");
            std::string path = line.substr(1, line.size() - 2);
            if (!path.empty() && path[0] == '-') {
                // A deletion entry: drop the key (and what is below it).
                std::string gone = toUpper(normaliseKeyPath(path.substr(1)));
                std::erase_if(m_keys, [&](const RegKey& k) {
                    std::string u = toUpper(k.path);
                    return u == gone || u.rfind(gone + "\\", 0) == 0;
                });
                current = nullptr;
                continue;
            }
            // A key that reads as nothing, or as a deletion once its leading
            // separators go, could not be written back as it was read.
            std::string key = normaliseKeyPath(path);
            if (key.empty() || key[0] == '-')
                return fail("line " + std::to_string(i + 1) + ": bad key");
            current = &createKey(key);
            continue;
        }
        if (!current) return fail("line " + std::to_string(i + 1) + ": value outside a key");
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, name)) {
            return fail("line " + std::to_string(i + 1) + ": bad value name");
        }
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail("line " + std::to_string(i + 1) + ": missing '='");
        std::string data = trim(std::string_view(line).substr(pos + 1));
        if (data == "-") {
            std::erase_if(current->values,
                          [&](const auto& v) { return equalsNoCase(v.first, name); });
            continue;
        }
        RegValue v;
        if (!parseData(data, v)) return fail("line " + std::to_string(i + 1) + ": bad value data");
        std::string keyPath = current->path;
        setValue(keyPath, name, std::move(v));
        current = findKey(keyPath);
    }
    return true;
}

std::string RegistryData::serialize() const {
    std::string out = "REGEDIT4\r\n\r\n";
    for (const auto& k : m_keys) {
        out += "[" + k.path + "]\r\n";
        for (const auto& [name, v] : k.values) {
            std::string lhs = name.empty() ? "@=" : quote(name) + "=";
            if (v.type == REG_SZ && !v.data.empty() && v.data.back() == '\0' &&
                printableText(std::string_view(v.data).substr(0, v.data.size() - 1))) {
                out += lhs + quote(std::string_view(v.data).substr(0, v.data.size() - 1)) + "\r\n";
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                uint32_t n = 0;
                for (int b = 3; b >= 0; --b)
                    n = (n << 8) | static_cast<unsigned char>(v.data[b]);
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", n);
                out += lhs + buf + "\r\n";
            } else if (v.type == REG_BINARY) {
                appendHex(out, lhs + "hex:", v.data);
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                appendHex(out, lhs + buf, v.data);
            }
        }
        out += "\r\n";
    }
    return out;
}

RegKey* RegistryData::findKey(std::string_view path) {
    std::string p = normaliseKeyPath(path);
    for (auto& k : m_keys)
        if (equalsNoCase(k.path, p)) return &k;
    return nullptr;
}

const RegKey* RegistryData::findKey(std::string_view path) const {
    return const_cast<RegistryData*>(this)->findKey(path);
}

RegKey& RegistryData::createKey(std::string_view path) {
    std::string p = normaliseKeyPath(path);
    if (RegKey* k = findKey(p)) return *k;
    // Keys above it first, as regedit lists them.
    size_t sep = p.rfind('\\');
    if (sep != std::string::npos && sep > 0) createKey(p.substr(0, sep));
    m_keys.push_back(RegKey{p, {}});
    return m_keys.back();
}

const RegValue* RegistryData::findValue(std::string_view path, std::string_view name) const {
    const RegKey* k = findKey(path);
    if (!k) return nullptr;
    for (const auto& [n, v] : k->values)
        if (equalsNoCase(n, name)) return &v;
    return nullptr;
}

void RegistryData::setValue(std::string_view path, std::string_view name, RegValue value) {
    RegKey& k = createKey(path);
    for (auto& [n, v] : k.values) {
        if (equalsNoCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    k.values.emplace_back(std::string(name), std::move(value));
}

// ---- the store ------------------------------------------------------------

std::string RegistryStore::defaultPath() {
    if (const char* p = std::getenv("TESSVANE_REGISTRY"); p && *p) return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = joinPath(h, ".config");
    else
        base = ".config";
    return joinPath(joinPath(base, "tessvane"), "registry.reg");
}

RegistryStore::RegistryStore() : m_path(defaultPath()) {
}
RegistryStore::RegistryStore(std::string filePath) : m_path(std::move(filePath)) {
}

RegistryData RegistryStore::load(ReadState* state) const {
    RegistryData data;
    auto text = readFile(m_path);
    if (!text) {
        bool missing = errno == ENOENT || errno == ENOTDIR;
        if (state) *state = missing ? ReadState::Missing : ReadState::Unreadable;
        return data;
    }
    if (!data.parse(*text)) {
        if (state) *state = ReadState::Unreadable;
        return RegistryData{};
    }
    if (state) *state = ReadState::Ok;
    return data;
}

bool RegistryStore::keyExists(std::string_view keyPath) const {
    return load().findKey(keyPath) != nullptr;
}

std::optional<RegValue> RegistryStore::value(std::string_view keyPath,
                                             std::string_view name) const {
    RegistryData data = load();
    if (const RegValue* v = data.findValue(keyPath, name)) return *v;
    return std::nullopt;
}

template <class Change>
bool RegistryStore::change(Change&& apply, std::string* error, std::string* notice) {
    std::error_code ec;
    auto folder = std::filesystem::path(m_path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    // The lock lives in its own file: the registry file itself is replaced by rename.
    std::string lockPath = m_path + ".lock";
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0) {
        if (error) *error = "Cannot lock " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    // A writer killed half-way left its temporary file; under the lock no
    // other writer is at work, so it can go.
    removeLeftoversOf(m_path);
    ReadState state;
    RegistryData data = load(&state);
    bool ok = true;
    if (state == ReadState::Unreadable) {
        std::string bad = m_path + ".bad";
        if (::rename(m_path.c_str(), bad.c_str()) != 0) {
            if (error)
                *error = "The settings file " + m_path +
                         " cannot be read and could not be kept as " + bad + ": " +
                         std::strerror(errno);
            ok = false;
        } else if (notice) {
            *notice = "The settings file " + m_path + " could not be read. It was kept as " + bad +
                      " and the settings start again from their defaults.";
        }
    }
    if (ok) {
        apply(data);
        ok = writeFileAtomic(m_path, data.serialize(), error);
    }
    ::flock(lock, LOCK_UN);
    ::close(lock);
    return ok;
}

bool RegistryStore::setValue(std::string_view keyPath, std::string_view name, const RegValue& value,
                             std::string* error, std::string* notice) {
    return change([&](RegistryData& d) { d.setValue(keyPath, name, value); }, error, notice);
}

bool RegistryStore::createKey(std::string_view keyPath, std::string* error, std::string* notice) {
    return change([&](RegistryData& d) { d.createKey(keyPath); }, error, notice);
}

} // namespace tv
