#include "temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tv {

TempFolder::TempFolder(const std::string& stem) {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + stem + "-XXXXXX";
    if (::mkdtemp(tmpl.data()))
        m_path = tmpl;
    else
        m_error = "Cannot make a temporary folder in " + tmpl.substr(0, tmpl.rfind('/')) + ": " +
                  std::strerror(errno);
}

TempFolder::~TempFolder() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

} // namespace tv
