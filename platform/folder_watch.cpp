#include "folder_watch.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace tv {

FolderWatch::FolderWatch() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
}

FolderWatch::~FolderWatch() {
    if (m_fd >= 0) ::close(m_fd);
}

bool FolderWatch::watchOnly(const std::vector<std::string>& folders, std::string* error) {
    if (m_fd < 0) {
        if (error) *error = "the system gives no file watch";
        return false;
    }
    for (int w : m_watches)
        ::inotify_rm_watch(m_fd, w);
    m_watches.clear();
    // A file written in place, one renamed into place (a rewritten Cache.ini
    // or configuration), one that comes or goes; and the folder itself
    // renamed or removed. Never through a link.
    constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                 IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                 IN_DONT_FOLLOW;
    bool ok = true;
    for (const auto& folder : folders) {
        const int w = ::inotify_add_watch(m_fd, folder.c_str(), kEvents);
        if (w >= 0) {
            m_watches.push_back(w);
        } else if (ok) {
            ok = false;
            if (error) *error = folder + " cannot be watched: " + std::strerror(errno);
        }
    }
    return ok;
}

bool FolderWatch::drain() {
    if (m_fd < 0) return false;
    bool changed = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return changed; // EAGAIN: nothing more waits
    }
}

} // namespace tv
