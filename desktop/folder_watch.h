#pragma once

#include <string>
#include <vector>

namespace tv {

// Hears when files come, go or are rewritten in a few folders (inotify), so
// that a program waiting for such a change sleeps until there is one.
class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // False when the system gives no watch (then poll instead).
    bool usable() const { return m_fd >= 0; }
    // Watches exactly these folders from now on; false with `error` for the
    // first that cannot be watched (missing, unreadable, too many watches).
    bool watchOnly(const std::vector<std::string>& folders, std::string* error = nullptr);
    // Waitable for reading (poll) when something changed.
    int fd() const { return m_fd; }
    struct Changes {
        bool files = false;      // a file came, went or was written
        bool folderGone = false; // a watched folder was removed or renamed
    };
    // Reads every change waiting.
    Changes drain();

private:
    int m_fd = -1;
    std::vector<int> m_watches;
};

} // namespace tv
