#include "file_ops.h"

#include "text_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace tv {

namespace {

void setError(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
}

// Copies the bytes of `from` into a new file `to` (which must not exist) and
// flushes it. The partial file is removed on failure.
bool copyToNew(const std::string& from, const std::string& to, int flags, std::string* error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        setError(error, "Cannot read " + from, errno);
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, st.st_mode & 0777);
    if (out < 0) {
        setError(error, "Cannot create " + to, errno);
        ::close(in);
        return false;
    }
    char buf[1 << 16];
    bool ok = true;
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            err = errno;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                ok = false;
                err = errno;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (ok && ::fsync(out) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    if (!ok) {
        ::unlink(to.c_str());
        setError(error, "Cannot copy " + from + " to " + to, err);
    }
    return ok;
}

} // namespace

bool moveNoReplace(const std::string& from, const std::string& to, std::string* error) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
        0)
        return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // The file system cannot rename without replacing: a hard link fails
        // on an existing destination just the same.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) != 0) {
                int e = errno;
                ::unlink(to.c_str());
                setError(error, "Cannot move " + from, e);
                return false;
            }
            return true;
        }
        err = errno;
    }
    if (err == EXDEV) {
        if (!copyToNew(from, to, O_EXCL, error)) return false;
        if (::unlink(from.c_str()) != 0) {
            int e = errno;
            ::unlink(to.c_str());
            setError(error, "Cannot remove " + from + " after copying it", e);
            return false;
        }
        return true;
    }
    setError(error, "Cannot move " + from + " to " + to, err);
    return false;
}

bool copyReplace(const std::string& from, const std::string& to, std::string* error) {
    std::string tmp = to + ".tvcopy";
    ::unlink(tmp.c_str());
    if (!copyToNew(from, tmp, O_EXCL, error)) return false;
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

bool removeFile(const std::string& path, std::string* error) {
    if (::unlink(path.c_str()) == 0) return true;
    setError(error, "Cannot delete " + path, errno);
    return false;
}

} // namespace tv
