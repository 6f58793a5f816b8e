#include "program_folder.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unistd.h>

namespace tv {

std::string executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

std::string programFolder() {
    if (const char* home = std::getenv("TESSVANE_HOME"); home && *home) {
        std::string h = home;
        while (h.size() > 1 && h.back() == '/')
            h.pop_back();
        return h;
    }
    return executableFolder();
}

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    std::string_view rest = path;
    while (true) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0 &&
                std::filesystem::is_regular_file(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

} // namespace tv
