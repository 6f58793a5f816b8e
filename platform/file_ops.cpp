#include "file_ops.h"

#include "byte_source.h"

#include "crash_point.h"
#include "text_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace tv {

namespace {

void setError(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
}

// Copies the bytes of the open file `in` to `out` and flushes them to the disk.
bool copyBytes(int in, int out, int& err) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            return false;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                err = errno;
                return false;
            }
            done += w;
        }
    }
    crashPoint("copy written");
    if (::fsync(out) != 0) {
        err = errno;
        return false;
    }
    crashPoint("copy synced");
    return true;
}

// Copies `from` into a new temporary file in `folder`; its path goes to
// `tmp`. Nothing is left behind on failure.
bool copyToTemporary(const std::string& from, const std::string& folder, std::string& tmp,
                     std::string* error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        setError(error, "Cannot read " + from, errno);
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    int out = createTemporaryIn(folder, "tvpart", tmp);
    if (out < 0) {
        setError(error, "Cannot create a file in " + folder, errno);
        ::close(in);
        return false;
    }
    ::fchmod(out, st.st_mode & 0777);
    int err = 0;
    bool ok = copyBytes(in, out, err);
    // A move keeps the file's date, whichever disk it goes to.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok) ::futimens(out, times);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    if (!ok) {
        ::unlink(tmp.c_str());
        setError(error, "Cannot copy " + from + " to " + folder, err);
    }
    return ok;
}

int renameNoReplace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
        0)
        return 0;
    int err = errno;
    if (err != EINVAL && err != ENOSYS) return err;
    // The file system cannot rename without replacing: a hard link fails on
    // an existing destination just the same.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        int e = errno;
        ::unlink(to.c_str());
        return e;
    }
    return 0;
}

} // namespace

bool moveNoReplace(const std::string& from, const std::string& to, std::string* error,
                   int* errorCode) {
    if (errorCode) *errorCode = 0;
    int err = renameNoReplace(from, to);
    if (err == 0) return true;
    if (err == EXDEV) {
        std::string tmp;
        if (!copyToTemporary(from, folderOf(to), tmp, error)) {
            if (errorCode) *errorCode = EIO;
            return false;
        }
        // The whole copy takes the real name in one step, and only if the
        // name is still free.
        err = renameNoReplace(tmp, to);
        if (err != 0) {
            ::unlink(tmp.c_str());
            setError(error, "Cannot move " + from + " to " + to, err);
            if (errorCode) *errorCode = err;
            return false;
        }
        crashPoint("copy in place");
        if (::unlink(from.c_str()) != 0) {
            int e = errno;
            ::unlink(to.c_str());
            setError(error, "Cannot remove " + from + " after copying it", e);
            if (errorCode) *errorCode = e;
            return false;
        }
        crashPoint("source removed");
        return true;
    }
    setError(error, "Cannot move " + from + " to " + to, err);
    if (errorCode) *errorCode = err;
    return false;
}

bool copyReplace(const std::string& from, const std::string& to, std::string* error) {
    std::string tmp;
    if (!copyToTemporary(from, folderOf(to), tmp, error)) return false;
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        setError(error, "Cannot replace " + to, e);
        return false;
    }
    return true;
}

bool makeFolder(const std::string& path, std::string* error) {
    if (folderExists(path)) return true;
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    setError(error, "Cannot create the folder " + path, errno);
    return false;
}

bool sameContent(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return false;
    // Piece by piece: two big maps are never held in memory whole.
    FileBytes x(a), y(b);
    return compareBytes(x, y) == Comparison::Same;
}

bool oneFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::lstat(b.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode)) return true;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

FileIdentity fileIdentity(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return {st.st_dev, st.st_ino, true};
}

std::string folderKey(const std::string& path) {
    if (const FileIdentity id = fileIdentity(path); id.known)
        return std::to_string(id.device) + ":" + std::to_string(id.inode);
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

bool sameFolder(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && folderKey(a) == folderKey(b);
}

std::string realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string out = real;
    std::free(real);
    return out;
}

bool removeFile(const std::string& path, std::string* error) {
    if (::unlink(path.c_str()) == 0) return true;
    setError(error, "Cannot delete " + path, errno);
    return false;
}

namespace {

// The process's umask, read without changing it (umask() would change it
// for every thread for a moment); 022 where /proc does not tell.
mode_t processUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        return static_cast<mode_t>(022);
    }();
    return mask;
}

} // namespace

bool writeNewFile(const std::string& to, std::string* error,
                  const std::function<bool(int fd, std::string* error)>& produce,
                  bool anyCaseChecked) {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0 ||
        (!anyCaseChecked && lookupInFolder(folderOf(to), fileNameOf(to)))) {
        if (error) *error = to + " exists already";
        return false;
    }
    std::string tmp;
    const int fd = createTemporaryIn(folderOf(to), fileNameOf(to), tmp);
    if (fd < 0) {
        if (error) *error = "Cannot create a file in " + folderOf(to) + ": " + std::strerror(errno);
        return false;
    }
    // A new file of the player's, as any program makes it (mkstemp's 0600
    // would leave it unreadable to the player's other accounts and tools).
    ::fchmod(fd, 0666 & ~processUmask());
    bool ok = produce(fd, error);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        if (error) *error = "Cannot write " + to + ": " + std::strerror(errno);
    }
    ::close(fd);
    if (ok) ok = moveNoReplace(tmp, to, error);
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

} // namespace tv
