#include "program_folder.h"

#include <cstdlib>
#include <filesystem>

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

} // namespace tv
