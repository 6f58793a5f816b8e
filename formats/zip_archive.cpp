#include "zip_archive.h"

#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace tv {

bool wildcardMatch(const std::string& mask, const std::string& name) {
    if (mask == "*.*" || mask == "*") return true;
    // Iterative matcher with one backtrack point for the last "*".
    size_t m = 0, n = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || upper8(mask[m]) == upper8(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

namespace {

std::string zipErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    std::string text = zip_error_strerror(&e);
    zip_error_fini(&e);
    return text;
}

void listMembers(zip_t* z, const std::function<void(const std::string&)>& memberListed) {
    zip_int64_t count = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(z, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (name && memberListed) memberListed(name);
    }
}

} // namespace

std::optional<std::string> memberFileName(std::string_view member) {
    if (member.empty() || member.front() == '/' || member.front() == '\\') return std::nullopt;
    if (member.size() >= 2 && member[1] == ':') return std::nullopt; // a drive: the root too
    std::string_view last;
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t sep = member.find_first_of("/\\", start);
        std::string_view part =
            member.substr(start, sep == std::string_view::npos ? sep : sep - start);
        if (part == "..") return std::nullopt;
        if (first && part == "__MACOSX") return std::nullopt;
        first = false;
        last = part;
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    if (last.empty() || last == "." || last.substr(0, 2) == "._") return std::nullopt;
    // A line break or other control character in a name could forge a line
    // of the log or the Status list: such a member is passed over.
    for (char c : member)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    return std::string(last);
}

namespace {

// A file packed through a source of our own: libzip asks whether to stop
// only inside members of 8 KiB and more, so a cache of small files would be
// packed whole after Stop; this source refuses its next read instead.
struct PackedFile {
    std::string path;
    const std::function<bool()>* stop;
    bool* cancelled;
    int fd = -1;
    zip_error_t error{};
};

zip_int64_t refuse(PackedFile& f, int code, int system = 0) {
    zip_error_set(&f.error, code, system);
    return -1;
}

zip_int64_t packedFileSource(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto& f = *static_cast<PackedFile*>(state);
    if (cmd == ZIP_SOURCE_OPEN || cmd == ZIP_SOURCE_READ) {
        if (!*f.cancelled && *f.stop && (*f.stop)()) *f.cancelled = true;
        if (*f.cancelled) return refuse(f, ZIP_ER_CANCELLED);
    }
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        f.fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        return f.fd < 0 ? refuse(f, ZIP_ER_OPEN, errno) : 0;
    case ZIP_SOURCE_READ: {
        const ssize_t n = ::read(f.fd, data, length);
        return n < 0 ? refuse(f, ZIP_ER_READ, errno) : n;
    }
    case ZIP_SOURCE_CLOSE:
        if (f.fd >= 0) ::close(f.fd);
        f.fd = -1;
        return 0;
    case ZIP_SOURCE_STAT: {
        struct stat st {};
        if (::stat(f.path.c_str(), &st) != 0) return refuse(f, ZIP_ER_READ, errno);
        auto* zs = static_cast<zip_stat_t*>(data);
        zip_stat_init(zs);
        zs->size = static_cast<zip_uint64_t>(st.st_size);
        zs->mtime = st.st_mtime;
        zs->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&f.error, data, length);
    case ZIP_SOURCE_FREE:
        if (f.fd >= 0) ::close(f.fd);
        delete &f;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        return refuse(f, ZIP_ER_OPNOTSUPP);
    }
}

// Deflating these again costs time and saves nothing.
bool isCompressedAlready(std::string_view name) {
    for (const char* ext : {".ogg", ".uz2", ".zip", ".umod", ".jpg", ".jpeg", ".png", ".gz"})
        if (endsWithNoCase(name, ext)) return true;
    return false;
}

// The files of `folder` matching the masks, sorted; nullopt when the
// folder cannot be read.
std::optional<std::vector<std::string>>
filesToPack(const std::string& folder, const std::string& include, const std::string& exclude) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return std::nullopt;
    std::vector<std::string> files;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (!fileExists(joinPath(folder, n))) continue; // files only
        if (!wildcardMatch(include, n)) continue;
        if (!exclude.empty() && wildcardMatch(exclude, n)) continue;
        files.push_back(n);
    }
    ::closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

bool ZipArchive::Compress() {
    m_error.clear();
    const std::string folder = SourceFolder;
    auto listed = filesToPack(folder, IncludeMask, ExcludeMask);
    if (!listed) {
        m_error = "Cannot read the folder " + folder;
        return false;
    }
    const std::vector<std::string> files = std::move(*listed);
    m_progressMarked = m_cancelled = false;
    int err = 0;
    zip_t* z = zip_open(ArchiveName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) {
        m_error = "Cannot create " + ArchiveName + ": " + zipErrorText(err);
        return false;
    }
    for (const auto& n : files) {
        auto* state = new PackedFile{joinPath(folder, n), &Stop, &m_cancelled};
        zip_source_t* src = zip_source_function(z, packedFileSource, state);
        if (!src) delete state;
        const zip_int64_t index =
            src ? zip_file_add(z, n.c_str(), src, ZIP_FL_ENC_GUESS | ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (src) zip_source_free(src);
            m_error = "Cannot add " + n + ": " + zip_strerror(z);
            zip_discard(z);
            return false;
        }
        const bool packed = isCompressedAlready(n);
        if (packed || CompressionLevel > 0)
            zip_set_file_compression(z, static_cast<zip_uint64_t>(index),
                                     packed ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                     packed ? 0 : static_cast<zip_uint32_t>(CompressionLevel));
    }
    // libzip writes a temporary file (the archive's name + ".XXXXXX") and
    // renames it into place here; a program killed meanwhile leaves it.
    m_files = files.size();
    m_packed = 0;
    zip_register_progress_callback_with_state(
        z, 0.0,
        [](zip_t*, double progress, void* state) {
            auto* self = static_cast<ZipArchive*>(state);
            if (progress > 0 && !self->m_progressMarked) {
                self->m_progressMarked = true;
                crashPoint("archive partly written");
            }
            const auto packed = static_cast<size_t>(progress * static_cast<double>(self->m_files));
            if (packed != self->m_packed && self->Packed) self->Packed(packed, self->m_files);
            self->m_packed = packed;
        },
        nullptr, this);
    // Asked between pieces of the writing; libzip then removes its
    // temporary file and leaves the archive's name as it was.
    zip_register_cancel_callback_with_state(
        z,
        [](zip_t*, void* state) -> int {
            auto* self = static_cast<ZipArchive*>(state);
            if (!self->m_cancelled && self->Stop && self->Stop()) self->m_cancelled = true;
            return self->m_cancelled ? 1 : 0;
        },
        nullptr, this);
    if (zip_close(z) != 0) {
        m_error = m_cancelled ? "Stopped" : "Cannot write " + ArchiveName + ": " + zip_strerror(z);
        zip_discard(z);
        return false;
    }
    if (files.empty() && !fileExists(ArchiveName)) {
        // libzip writes nothing for an empty archive; an empty ZIP is 22 bytes.
        static const char empty[22] = {'P', 'K', 5, 6};
        if (!writeFileAtomic(ArchiveName, std::string(empty, sizeof empty), &m_error)) return false;
    }
    return true;
}

bool ZipArchive::ListContents() {
    m_error.clear();
    int err = 0;
    zip_t* z = zip_open(ArchiveName.c_str(), ZIP_RDONLY, &err);
    if (!z) {
        m_error = "Cannot open " + ArchiveName + ": " + zipErrorText(err);
        return false;
    }
    listMembers(z, FileListed);
    zip_discard(z);
    return true;
}

bool listArchiveBytes(std::string_view bytes,
                      const std::function<void(const std::string&)>& memberListed,
                      std::string* error) {
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
    zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY, &ze) : nullptr;
    if (!z) {
        if (error) *error = zip_error_strerror(&ze);
        if (src) zip_source_free(src);
        zip_error_fini(&ze);
        return false;
    }
    zip_error_fini(&ze);
    listMembers(z, memberListed);
    zip_discard(z);
    return true;
}

namespace {

// The margin kept free beside what an archive declares: a tenth more, and 16 MiB.
uint64_t withMargin(uint64_t bytes) {
    return bytes + bytes / 10 + (uint64_t{16} << 20);
}

std::optional<uint64_t> statvfsFreeSpace(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

} // namespace

std::vector<ZipArchive::Member> ZipArchive::membersToWrite(zip_t* z, uint64_t& total) const {
    std::vector<Member> members;
    total = 0;
    zip_int64_t count = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* raw = zip_get_name(z, index, ZIP_FL_ENC_GUESS);
        if (!raw) continue;
        auto member = memberFileName(raw);
        if (!member) continue; // a folder entry, or a name that leads elsewhere
        if (!wildcardMatch(IncludeMask, *member)) continue;
        if (Wanted && !Wanted(*member)) continue;
        zip_stat_t st;
        zip_stat_init(&st);
        uint64_t size = zip_stat_index(z, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)
                            ? static_cast<uint64_t>(st.size)
                            : 0;
        total += size;
        members.push_back({index, raw, std::move(*member), size});
    }
    return members;
}

ZipArchive::Written ZipArchive::writeMember(zip_t* z, const Member& m) {
    std::string tmp;
    zip_file_t* f = zip_fopen_index(z, m.index, 0);
    // A fresh temporary file: nothing already there is written through.
    int out = f ? createTemporaryIn(ExtractFolder, "tvpart", tmp) : -1;
    if (out >= 0) ::fchmod(out, 0644);
    bool good = f && out >= 0;
    bool larger = false;
    uint64_t written = 0;
    char buf[1 << 16];
    while (good) {
        zip_int64_t n = zip_fread(f, buf, sizeof buf);
        if (n < 0) good = false;
        if (n <= 0) break;
        written += static_cast<uint64_t>(n);
        // More than it declared: the room check did not count it.
        if (written > m.size) {
            good = false;
            larger = true;
            break;
        }
        if (::write(out, buf, static_cast<size_t>(n)) != n) good = false;
    }
    if (good && Sync && ::fsync(out) != 0) good = false;
    if (out >= 0 && ::close(out) != 0) good = false;
    if (f && zip_fclose(f) != 0) good = false;
    if (good) good = moveNoReplace(tmp, joinPath(ExtractFolder, m.name));
    if (good) return Written::Done;
    if (!tmp.empty()) ::unlink(tmp.c_str());
    return larger ? Written::Larger : Written::Failed;
}

bool ZipArchive::Extract() {
    m_error.clear();
    m_bounded = false;
    int err = 0;
    zip_t* z = zip_open(ArchiveName.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        m_error = "Cannot open " + ArchiveName + ": " + zipErrorText(err);
        return false;
    }
    // The members to write, each with the size it declares, before any is written.
    uint64_t total = 0;
    const std::vector<Member> members = membersToWrite(z, total);
    auto free = FreeSpace ? FreeSpace(ExtractFolder) : statvfsFreeSpace(ExtractFolder);
    if (free && *free < withMargin(total)) {
        m_error = "Not enough room in " + ExtractFolder + " to unpack " + ArchiveName + " (needs " +
                  std::to_string((withMargin(total) + (1 << 20) - 1) >> 20) + " MB).";
        m_bounded = true;
        zip_discard(z);
        return false;
    }

    FolderIndex present(ExtractFolder); // read once; extracted names are added
    bool ok = true;
    for (const Member& m : members) {
        if (present.find(m.name)) continue; // never replaces a file
        const Written w = writeMember(z, m);
        if (w == Written::Done) {
            present.insert(m.name);
            continue;
        }
        ok = false;
        if (w == Written::Larger) {
            m_error = m.raw + " in " + ArchiveName +
                      " is larger than the archive says it is; nothing more was unpacked.";
            m_bounded = true;
            break;
        }
        if (m_error.empty()) m_error = "Cannot extract " + m.raw + " from " + ArchiveName;
    }
    zip_discard(z);
    return ok;
}

} // namespace tv
