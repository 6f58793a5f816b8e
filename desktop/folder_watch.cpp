#include "folder_watch.h"

#include <algorithm>
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
    // A file written in place, one renamed into place (a rewritten Cache.ini
    // or configuration), one that comes or goes; and the folder itself
    // renamed or removed. Never through a link.
    constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                 IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                 IN_DONT_FOLLOW;
    // A folder watched already keeps its watch (adding it again gives the
    // same one back); only those no longer wanted are taken off, since each
    // removal is an event of its own.
    std::vector<int> now;
    bool ok = true;
    for (const auto& folder : folders) {
        const int w = ::inotify_add_watch(m_fd, folder.c_str(), kEvents);
        if (w >= 0) {
            now.push_back(w);
        } else if (ok) {
            ok = false;
            if (error) *error = folder + " cannot be watched: " + std::strerror(errno);
        }
    }
    for (int w : m_watches)
        if (std::find(now.begin(), now.end(), w) == now.end()) ::inotify_rm_watch(m_fd, w);
    m_watches = std::move(now);
    return ok;
}

FolderWatch::Changes FolderWatch::drain() {
    Changes changes;
    if (m_fd < 0) return changes;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return changes; // EAGAIN: nothing more waits
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            // A watch taken off says so; that is no change of a file.
            if (e->mask & IN_IGNORED) {
                changes.folderGone = true;
                continue;
            }
            if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) changes.folderGone = true;
            // Events lost to a full queue: something changed.
            changes.files = true;
        }
    }
}

} // namespace tv
