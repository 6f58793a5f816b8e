#include "text_io.h"

#include "crash_point.h"
#include "text_util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

namespace fs = std::filesystem;

namespace tv {

std::string joinPath(std::string_view folder, std::string_view name) {
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    const bool separator = !folder.empty() && folder.back() != '/';
    std::string out;
    out.reserve(folder.size() + separator + name.size());
    out += folder;
    if (separator) out += '/';
    out += name;
    return out;
}

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<std::string> joinPlain(std::string_view folder, std::string_view name) {
    if (!isPlainFileName(name)) return std::nullopt;
    return joinPath(folder, name);
}

std::string fileNameOf(std::string_view path) {
    return std::string(fileNamePart(path));
}

std::string folderOf(std::string_view path) {
    return std::string(folderPart(path));
}

std::string_view fileNamePart(std::string_view path) {
    size_t sep = path.rfind('/');
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

std::string_view folderPart(std::string_view path) {
    size_t sep = path.rfind('/');
    if (sep == std::string_view::npos) return ".";
    return path.substr(0, sep == 0 ? 1 : sep);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
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
    // Opened without waiting (a FIFO would block), and only a regular file
    // is read (a link to /dev/zero never ends), up to the cap.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxTextFileBytes) {
        ::close(fd);
        errno = S_ISREG(st.st_mode) ? EFBIG : EINVAL;
        return std::nullopt;
    }
    std::string data;
    char buf[65536];
    for (;;) {
        if (data.size() > kMaxTextFileBytes) { // grew while it was read
            ::close(fd);
            errno = EFBIG;
            return std::nullopt;
        }
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno; // the reason, not close's
            ::close(fd);
            errno = e;
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

ssize_t readFull(int fd, void* buf, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, static_cast<char*>(buf) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool writeAll(int fd, std::string_view data) {
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

namespace {

// Temporary files carry this mark, so that a later run can tell its own
// leftovers from anything else in the folder.
constexpr std::string_view kTempMark = ".tvtmp-";
constexpr size_t kTempRandom = 6; // mkstemp's XXXXXX

void syncFolder(const std::string& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

int createTemporaryIn(const std::string& folder, std::string_view stem, std::string& tmpPath) {
    std::string name;
    name.reserve(stem.size() + kTempMark.size() + kTempRandom + 1);
    name += '.';
    name += stem;
    name += kTempMark;
    name.append(kTempRandom, 'X');
    tmpPath = joinPath(folder.empty() ? std::string(".") : folder, name);
    const int fd = ::mkostemp(tmpPath.data(), O_CLOEXEC);
    // Held while this process writes it (and let go when it ends, killed or
    // not): a temporary file nobody holds is a leftover.
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

namespace {
bool isLeftoverName(std::string_view n, std::string_view stem) {
    if (n.size() < 1 + kTempMark.size() + kTempRandom || n.front() != '.') return false;
    if (n.substr(n.size() - kTempRandom - kTempMark.size(), kTempMark.size()) != kTempMark)
        return false;
    return stem.empty() || n.substr(1, n.size() - 1 - kTempMark.size() - kTempRandom) == stem;
}

int removeLeftoversFound(const std::string& folder, const std::vector<std::string>& found) {
    int removed = 0;
    for (const auto& n : found) {
        std::string path = joinPath(folder, n);
        if (!isRegularFile(path)) continue;
        // One a live process is still writing is left to it.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    return removed;
}

int removeLeftoversNamed(const std::string& folder, std::string_view stem) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return 0;
    std::vector<std::string> found;
    while (dirent* e = ::readdir(d))
        if (isLeftoverName(e->d_name, stem)) found.emplace_back(e->d_name);
    ::closedir(d);
    return removeLeftoversFound(folder, found);
}
} // namespace

int removeLeftovers(const std::string& folder) {
    return removeLeftoversNamed(folder, {});
}

int removeLeftovers(const FolderIndex& listed) {
    std::vector<std::string> found;
    for (std::string_view n : listed.names())
        if (isLeftoverName(n, {})) found.emplace_back(n);
    return removeLeftoversFound(listed.folder(), found);
}

int removeLeftoversOf(const std::string& path) {
    return removeLeftoversNamed(folderOf(path), fileNameOf(path));
}

int createReplacing(const std::string& path, std::string* error) {
    std::string folder = folderOf(path);
    std::string tmp;
    int fd = createTemporaryIn(folder, fileNameOf(path), tmp);
    if (fd < 0) {
        setError(error, "Cannot write " + path, errno);
        return -1;
    }
    ::fchmod(fd, 0644);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        setError(error, "Cannot replace " + path, err);
        return -1;
    }
    return fd;
}

bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error) {
    std::string folder = folderOf(path);
    std::string tmp;
    int fd = createTemporaryIn(folder, fileNameOf(path), tmp);
    if (fd < 0) {
        setError(error, "Cannot write " + path, errno);
        return false;
    }
    struct stat old {};
    // The permissions of a regular file that is replaced; a link's target is
    // none of our business.
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may hand a file to another owner; the permissions still hold.
        }
    } else {
        ::fchmod(fd, 0644);
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
    crashPoint("temporary file written");
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        setError(error, "Cannot replace " + path, err);
        return false;
    }
    // Make the rename itself durable.
    syncFolder(folder);
    return true;
}

bool linkReplacing(const std::string& from, const std::string& to, std::string* error) {
    struct stat a {};
    struct stat b {};
    // Already a name of the file (a killed run linked it): renaming one link
    // over another of the same file would do nothing and leave the first.
    if (::lstat(from.c_str(), &a) == 0 && ::lstat(to.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        return true;
    std::string tmp;
    const int fd = createTemporaryIn(folderOf(to), fileNameOf(to), tmp);
    if (fd < 0) {
        setError(error, "Cannot write " + to, errno);
        return false;
    }
    // The name is ours; the link takes it (a killed program leaves a leftover
    // removeLeftovers() knows).
    ::unlink(tmp.c_str());
    ::close(fd);
    if (::link(from.c_str(), tmp.c_str()) != 0) {
        setError(error, "Cannot write " + to, errno);
        return false;
    }
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        setError(error, "Cannot replace " + to, err);
        return false;
    }
    return true;
}

std::string_view lineEndOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return "\r\n";
    // The first line end tells; a file of one very long line is taken as CR LF.
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return "\r\n";
    const std::string_view head(buf, static_cast<size_t>(n));
    const size_t lf = head.find('\n');
    if (lf == std::string_view::npos || (lf > 0 && head[lf - 1] == '\r')) return "\r\n";
    return "\n";
}

bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      std::string* error) {
    return writeLinesEndedBy(path, lines, lineEndOf(path), error);
}

bool writeLinesEndedBy(const std::string& path, const std::vector<std::string>& lines,
                       std::string_view end, std::string* error) {
    std::string content;
    size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + end.size();
    content.reserve(total);
    for (const auto& l : lines) {
        content += l;
        content += end;
    }
    return writeFileAtomic(path, content, error);
}

bool appendLinesCrLf(const std::string& path, const std::vector<std::string>& lines,
                     std::string* error) {
    return appendLinesEndedBy(path, lines, "\r\n", error);
}

bool appendLinesEndedBy(const std::string& path, const std::vector<std::string>& lines,
                        std::string_view end, std::string* error) {
    std::string data;
    for (const auto& l : lines) {
        data += l;
        data += end;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == ELOOP) {
        // A link: its text and the new lines become a file of our own.
        auto old = readFile(path);
        if (!old) {
            setError(error, "Cannot read " + path, errno);
            return false;
        }
        return writeFileAtomic(path, *old + data, error);
    }
    if (fd < 0) {
        setError(error, "Cannot open " + path, errno);
        return false;
    }
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) setError(error, "Cannot write " + path, err);
    return ok;
}

bool appendLineCrLf(const std::string& path, std::string_view line, std::string* error) {
    return appendLinesCrLf(path, {std::string(line)}, error);
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

void listFolder(const std::string& folder, const std::function<void(std::string_view)>& each) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n != "." && n != "..") each(n);
    }
    ::closedir(d);
}

bool FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return a == b || equalsNoCase(a, b);
}

FolderIndex::FolderIndex(const std::string& folder) : m_folder(folder) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    std::vector<Kind> kinds;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        m_names.emplace_back(n);
        kinds.push_back(e->d_type == DT_REG                              ? Kind::File
                        : e->d_type == DT_LNK || e->d_type == DT_UNKNOWN ? Kind::Uncertain
                                                                         : Kind::NotFile);
    }
    ::closedir(d);
    m_folded.reserve(m_names.size());
    for (size_t i = 0; i < m_names.size(); ++i)
        add(m_names[i], kinds[i]);
}

void FolderIndex::add(std::string_view name, Kind kind) {
    auto [it, added] = m_folded.try_emplace(name, Entry{name, kind});
    if (!added) m_variants.try_emplace(name, Entry{name, kind});
}

const FolderIndex::Entry* FolderIndex::exact(std::string_view name) const {
    auto it = m_folded.find(name);
    if (it == m_folded.end()) return nullptr;
    if (it->second.name == name) return &it->second;
    if (auto v = m_variants.find(name); v != m_variants.end()) return &v->second;
    return nullptr;
}

const FolderIndex::Entry* FolderIndex::entry(std::string_view name) const {
    auto it = m_folded.find(name);
    if (it == m_folded.end()) return nullptr;
    if (it->second.name == name) return &it->second;
    if (auto v = m_variants.find(name); v != m_variants.end()) return &v->second;
    return &it->second;
}

void FolderIndex::insert(std::string_view name) {
    if (exact(name)) return;
    add(m_names.emplace_back(name), Kind::Uncertain);
}

std::optional<std::string> FolderIndex::find(std::string_view name) const {
    if (const Entry* e = entry(name)) return std::string(e->name);
    return std::nullopt;
}

bool FolderIndex::isFile(const Entry& e) const {
    return e.kind == Kind::File ||
           (e.kind == Kind::Uncertain && fileExists(joinPath(m_folder, e.name)));
}

bool FolderIndex::isFile(const std::string& name) const {
    const Entry* e = exact(name);
    return e && isFile(*e);
}

std::string wholePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    std::string whole = p.lexically_normal().string();
    return whole.size() > 1 ? withoutTrailingSeparator(whole) : whole;
}

FolderIndex& FolderIndexCache::of(const std::string& folder) {
    auto& slot = m_folders[folder];
    if (!slot) slot = std::make_unique<FolderIndex>(folder);
    return *slot;
}

FolderListingAhead::FolderListingAhead(std::string folder) : m_folder(std::move(folder)) {
    try {
        m_thread = std::thread([this] {
            try {
                m_listed = std::make_unique<FolderIndex>(m_folder);
            } catch (const std::bad_alloc&) {
                // listed again when taken, where a failure is heard
            }
        });
    } catch (const std::system_error&) {
    }
}

FolderListingAhead::~FolderListingAhead() {
    wait();
}

void FolderListingAhead::wait() {
    if (m_thread.joinable()) m_thread.join();
}

std::unique_ptr<FolderIndex> FolderListingAhead::take() {
    wait();
    if (!m_listed) m_listed = std::make_unique<FolderIndex>(m_folder);
    return std::move(m_listed);
}

} // namespace tv
