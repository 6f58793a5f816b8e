#include "text_io.h"

#include "text_util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

namespace fs = std::filesystem;

namespace tv {

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && out.back() != '/') out += '/';
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    out += name;
    return out;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<int64_t> fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

std::optional<int64_t> fileModified(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<int64_t>(st.st_mtime);
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
        lines.emplace_back(text.substr(start, lineEnd - start));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    return lines;
}

std::optional<std::string> readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

std::optional<std::vector<std::string>> readLines(const std::string& path) {
    auto data = readFile(path);
    if (!data) return std::nullopt;
    return splitLines(*data);
}

static bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

static void setError(std::string* error, const std::string& what, int err) {
    if (error) *error = what + ": " + std::strerror(err);
}

bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error) {
    fs::path target(path);
    std::string folder = target.parent_path().string();
    if (folder.empty()) folder = ".";
    static std::mt19937_64 rng{std::random_device{}()};
    std::string tmp = joinPath(folder, "." + target.filename().string() + ".tmp" +
                                           std::to_string(rng() % 1000000000ULL));
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        setError(error, "Cannot write " + path, errno);
        return false;
    }
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may hand a file to another owner; the permissions still hold.
        }
    }
    if (!writeAll(fd, content) || ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        setError(error, "Cannot write " + path, err);
        return false;
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        setError(error, "Cannot write " + path, err);
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        setError(error, "Cannot replace " + path, err);
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      std::string* error) {
    std::string content;
    size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + 2;
    content.reserve(total);
    for (const auto& l : lines) {
        content += l;
        content += "\r\n";
    }
    return writeFileAtomic(path, content, error);
}

bool appendLineCrLf(const std::string& path, std::string_view line, std::string* error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        setError(error, "Cannot open " + path, errno);
        return false;
    }
    std::string data(line);
    data += "\r\n";
    bool ok = writeAll(fd, data);
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) setError(error, "Cannot write " + path, err);
    return ok;
}

std::optional<std::string> lookupInFolder(std::string_view folder, std::string_view name) {
    std::string exact = joinPath(folder, name);
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return exact;
    std::string dir = folder.empty() ? std::string(".") : std::string(folder);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return std::nullopt;
    std::optional<std::string> found;
    while (dirent* e = ::readdir(d)) {
        if (equalsNoCase(e->d_name, name)) {
            found = joinPath(folder, e->d_name);
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string findInFolder(std::string_view folder, std::string_view name) {
    auto found = lookupInFolder(folder, name);
    return found ? *found : joinPath(folder, name);
}

FolderIndex::FolderIndex(const std::string& folder) : m_folder(folder) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        m_names.emplace_back(n);
    }
    ::closedir(d);
    m_exact.reserve(m_names.size());
    for (const auto& n : m_names)
        m_exact.insert(n);
}

std::optional<std::string> FolderIndex::find(std::string_view name) const {
    if (auto it = m_exact.find(name); it != m_exact.end()) return std::string(*it);
    if (!m_foldedBuilt) {
        m_foldedBuilt = true;
        for (const auto& n : m_names)
            m_folded.try_emplace(toUpper(n), n);
    }
    if (auto it = m_folded.find(toUpper(name)); it != m_folded.end())
        return std::string(it->second);
    return std::nullopt;
}

} // namespace tv
