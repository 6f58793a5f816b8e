#pragma once

#include <cstdint>
#include <string>

namespace tv {

// Questions about the machine and the running program, on POSIX: the
// computer and user name, the operating system's name, the temporary,
// system and "Windows" folders (here /usr/bin and /), the search path, the
// run mode and environment variables. Failures are numbered errors
// (ComponentError) whose source is the program's name + ".CEnvironment".
class CEnvironment {
public:
    static constexpr uint32_t ErrGetVariable = 0x800443E5;
    static constexpr uint32_t ErrSetVariable = 0x800443E6;
    static constexpr uint32_t ErrNoOsName = 0x800443E7;
    static constexpr uint32_t ErrUnknownOs = 0x800443E8;
    static constexpr uint32_t ErrComponent = 0x800443E9;

    std::string ComputerName() const; // gethostname
    // PRETTY_NAME of os-release, then " (Linux <kernel release>)"; raises
    // "Cannot get operating system name" when neither can be read.
    std::string OsName() const;
    std::string Path() const { return GetEnvironmentVariable("%Path%"); }
    std::string SystemDirectory() const { return "/usr/bin"; }
    // $TMPDIR, else /tmp, with a trailing "/".
    std::string TempDirectory() const;
    std::string UserName() const; // of the effective user
    // 1: the running program is not `developmentProgram`; 2: it is; 3: its
    // path cannot be read. The argument is compared as given.
    int VbAppRunMode(const std::string& developmentProgram = "QTCREATOR") const;
    std::string WindowsDirectory() const { return "/"; }
    // Expands %NAME% references: the exact name first, then one that matches
    // without regard to letter case ("%Path%" finds PATH); an unset name is
    // left as written.
    std::string GetEnvironmentVariable(const std::string& text) const;
    // A name that is empty or holds "=" raises "Cannot set environment variable".
    void SetEnvironmentVariable(const std::string& name, const std::string& value);

    // Where OsName reads from (tests point these at files of their own).
    std::string osReleaseFile = "/etc/os-release";
    std::string fallbackOsReleaseFile = "/usr/lib/os-release";
};

} // namespace tv
