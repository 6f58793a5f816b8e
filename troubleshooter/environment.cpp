#include "environment.h"

#include "platform/cfile.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

extern char** environ;

namespace tv {

namespace {

[[noreturn]] void raise(uint32_t number) {
    const char* text = "CEnvironment component failure";
    switch (number) {
    case CEnvironment::ErrGetVariable:
        text = "Cannot get environment variable";
        break;
    case CEnvironment::ErrSetVariable:
        text = "Cannot set environment variable";
        break;
    case CEnvironment::ErrNoOsName:
        text = "Cannot get operating system name";
        break;
    case CEnvironment::ErrUnknownOs:
        text = "Unknown operating system";
        break;
    default:
        break;
    }
    throw ComponentError(number, text, programName() + ".CEnvironment");
}

// PRETTY_NAME="..." of an os-release file, without its quotes.
std::string prettyName(const std::string& file) {
    auto lines = readLines(file);
    if (!lines) return {};
    for (const auto& line : *lines) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string value = trim(std::string_view(line).substr(12));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

// The value of the variable `name`: the exact name first, then one equal
// to it without regard to letter case.
const char* lookup(const std::string& name) {
    if (const char* v = std::getenv(name.c_str())) return v;
    for (char** e = environ; e && *e; ++e) {
        std::string_view entry = *e;
        size_t eq = entry.find('=');
        if (eq != std::string_view::npos && equalsNoCase(entry.substr(0, eq), name))
            return *e + eq + 1;
    }
    return nullptr;
}

} // namespace

std::string CEnvironment::ComputerName() const {
    char buf[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) return {};
    return buf;
}

std::string CEnvironment::OsName() const {
    std::string name = prettyName(osReleaseFile);
    if (name.empty()) name = prettyName(fallbackOsReleaseFile);
    utsname u{};
    bool kernel = ::uname(&u) == 0;
    if (name.empty() && !kernel) raise(ErrNoOsName);
    if (!kernel) return name;
    std::string release = std::string("Linux ") + u.release;
    return name.empty() ? release : name + " (" + release + ")";
}

std::string CEnvironment::TempDirectory() const {
    const char* t = std::getenv("TMPDIR");
    std::string dir = t && *t ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string CEnvironment::UserName() const {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    return {};
}

int CEnvironment::VbAppRunMode(const std::string& developmentProgram) const {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return 3;
    std::string path = toUpper(exe.string());
    std::string tail = "/" + developmentProgram;
    return path.size() >= tail.size() &&
                   path.compare(path.size() - tail.size(), tail.size(), tail) == 0
               ? 2
               : 1;
}

std::string CEnvironment::GetEnvironmentVariable(const std::string& text) const {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(text, pos);
            break;
        }
        out.append(text, pos, open - pos);
        std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : lookup(name);
        if (value) {
            out += value;
            pos = close + 1;
        } else {
            // Left as written; its closing % may open the next reference.
            out += '%';
            out += name;
            pos = close;
        }
    }
    return out;
}

void CEnvironment::SetEnvironmentVariable(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos ||
        name.find('\0') != std::string::npos || ::setenv(name.c_str(), value.c_str(), 1) != 0)
        raise(ErrSetVariable);
}

} // namespace tv
