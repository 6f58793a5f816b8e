#include "temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

namespace {

std::string temporaryBase() {
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

constexpr const char* kLockName = "/.lock";
constexpr time_t kUnlockedFolderAge = 3600; // seconds

// Whether the folder was left by a program that is gone.
bool abandoned(const std::string& folder, const struct stat& st) {
    int fd = ::open((folder + kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT && std::time(nullptr) - st.st_mtime > kUnlockedFolderAge;
    // A live owner holds the lock; taking it means nobody does.
    bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

} // namespace

TempFolder::TempFolder(const std::string& stem) {
    std::string tmpl = temporaryBase() + "/" + stem + "-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        m_error = "Cannot make a temporary folder in " + tmpl.substr(0, tmpl.rfind('/')) + ": " +
                  std::strerror(errno);
        return;
    }
    m_path = tmpl;
    // The lock is taken under another name and then given its own, so that
    // another program never finds a ".lock" that nobody holds yet (it would
    // take this live folder for an abandoned one). Until the rename the
    // folder has no lock and is young, which also keeps it.
    const std::string fresh = m_path + kLockName + "-new";
    m_lock = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_lock >= 0 && (::flock(m_lock, LOCK_EX) != 0 ||
                        ::rename(fresh.c_str(), (m_path + kLockName).c_str()) != 0)) {
        ::close(m_lock);
        m_lock = -1;
    }
}

TempFolder::~TempFolder() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    if (m_lock >= 0) ::close(m_lock);
}

int TempFolder::removeAbandoned(const std::string& stem) {
    const std::string base = temporaryBase();
    const std::string prefix = stem + "-";
    DIR* d = ::opendir(base.c_str());
    if (!d) return 0;
    int removed = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        // mkdtemp's names: the stem, a dash and six characters.
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string folder = base + "/" + name;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (!abandoned(folder, st)) continue;
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        if (!ec) ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace tv
