#include "operation_lock.h"

#include "text_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tv {

const char* const kBusyText =
    "Another Tessvane is working on this game; try again when it has finished.";

namespace {

struct Held {
    int fd = -1;
    int count = 0;
};

// The locks this process holds, by lock file.
std::map<std::string, Held>& heldLocks() {
    static std::map<std::string, Held> locks;
    return locks;
}

} // namespace

OperationLock::OperationLock(const std::string& programFolder, std::chrono::milliseconds wait)
    : m_path(joinPath(programFolder, "tessvane.lock")) {
    auto& locks = heldLocks();
    if (auto it = locks.find(m_path); it != locks.end()) {
        ++it->second.count;
        m_held = true;
        return;
    }
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        m_error = "The lock file " + m_path + " cannot be used: " + std::strerror(errno);
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = "The lock file " + m_path + " cannot be locked: " + std::strerror(errno);
            ::close(fd);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_error = kBusyText;
            ::close(fd);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    locks[m_path] = Held{fd, 1};
    m_held = true;
}

OperationLock::~OperationLock() {
    if (!m_held) return;
    auto& locks = heldLocks();
    auto it = locks.find(m_path);
    if (it == locks.end() || --it->second.count > 0) return;
    ::close(it->second.fd); // releases the flock
    locks.erase(it);
}

} // namespace tv
