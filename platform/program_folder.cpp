#include "program_folder.h"

#include "platform/text_io.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

#ifndef TESSVANE_SHARE_FROM_BIN
#define TESSVANE_SHARE_FROM_BIN "../share/tessvane"
#endif

namespace tv {

std::string executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

namespace {

bool holdsShippedFiles(const std::string& folder) {
    return lookupInFolder(folder, "Tessvane.ini").has_value();
}

std::string dataHome() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') return x;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/share";
}

} // namespace

std::string installedShareFolder() {
    std::error_code ec;
    auto share = std::filesystem::weakly_canonical(
        std::filesystem::path(executableFolder()) / TESSVANE_SHARE_FROM_BIN, ec);
    return ec ? std::string() : share.string();
}

std::string shippedFolder(const std::string& programFolder) {
    if (holdsShippedFiles(programFolder)) return programFolder;
    std::string share = installedShareFolder();
    if (!share.empty() && holdsShippedFiles(share)) return share;
    return programFolder;
}

std::string programFolder() {
    if (const char* home = std::getenv("TESSVANE_HOME"); home && *home) {
        std::string h = home;
        while (h.size() > 1 && h.back() == '/')
            h.pop_back();
        return h;
    }
    std::string exe = executableFolder();
    if (holdsShippedFiles(exe)) return exe;
    std::string share = installedShareFolder();
    if (share.empty() || !holdsShippedFiles(share)) return exe; // neither: as it stands
    // Installed: the files the program writes live in the user's data folder,
    // seeded from the shipped ones (never over a file already there).
    namespace fs = std::filesystem;
    fs::path data = fs::path(dataHome()) / "tessvane";
    std::error_code ec;
    fs::create_directories(data, ec);
    for (const char* name : {"TessvaneDontMove.ini", "tessvane.mdb"}) {
        if (lookupInFolder(data.string(), name)) continue;
        if (auto from = lookupInFolder(share, name)) {
            fs::copy_file(*from, data / name, fs::copy_options::skip_existing, ec);
            fs::permissions(data / name, fs::perms::owner_write, fs::perm_options::add, ec);
        }
    }
    return data.string();
}

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    std::string_view rest = path;
    while (true) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (!dir.empty()) {
            std::string candidate = dir;
            candidate += '/';
            candidate += name;
            if (::access(candidate.c_str(), X_OK) == 0 &&
                std::filesystem::is_regular_file(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

const char* const kNotAGameFolderQuestion =
    "This does not look like an Unreal Tournament 2003 or 2004 folder. Use it anyway?";

bool looksLikeGameFolder(const std::string& folder) {
    for (const char* sub : {"System", "Cache"})
        if (auto found = lookupInFolder(folder, sub); found && folderExists(*found)) return true;
    return false;
}

} // namespace tv
