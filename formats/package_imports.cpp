#include "package_imports.h"
#include "table_reader.h"

#include "formats/umod.h"
#include "platform/bytes.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace tv {

namespace {

// Far beyond any real package (a big code package has some tens of
// thousands of names and a few thousand imports); more is damage, and
// nothing is allocated for it.
constexpr uint32_t kMaxNames = 1u << 21;
constexpr uint32_t kMaxImports = 1u << 20;
struct Import {
    int64_t className = 0, objectName = 0;
    int32_t outer = 0;
};

PackageImports damaged(std::string why) {
    PackageImports out;
    out.kind = PackageImports::Kind::Damaged;
    out.why = std::move(why);
    return out;
}

// Whether some import's chain of outers comes back to itself (the engine
// would look for it forever).
bool outersLoop(const std::vector<Import>& imports) {
    enum : uint8_t { kUnseen, kOnPath, kDone };
    std::vector<uint8_t> state(imports.size(), kUnseen);
    std::vector<size_t> path;
    for (size_t start = 0; start < imports.size(); ++start) {
        size_t i = start;
        bool ends = false;
        // Follow the chain through imports not yet known to end well.
        while (state[i] == kUnseen) {
            state[i] = kOnPath;
            path.push_back(i);
            const int32_t outer = imports[i].outer;
            if (outer >= 0) { // none, or an export: the chain ends
                ends = true;
                break;
            }
            i = static_cast<size_t>(-static_cast<int64_t>(outer) - 1);
        }
        if (!ends && state[i] == kOnPath) return true; // back on its own path
        for (size_t p : path)
            state[p] = kDone;
        path.clear();
    }
    return false;
}

// The import table, each entry checked against the table sizes.
std::optional<std::vector<Import>> readImports(TableReader& r, const PackageHeader& h,
                                               std::string& why) {
    std::vector<Import> imports;
    imports.reserve(h.importCount);
    const auto nameIndex = [&](std::optional<int64_t> v) {
        return v && *v >= 0 && *v < static_cast<int64_t>(h.nameCount);
    };
    for (uint32_t i = 0; i < h.importCount; ++i) {
        Import im;
        const auto classPackage = r.index();
        const auto className = r.index();
        const auto outer = r.int32();
        const auto objectName = r.index();
        if (!outer || !objectName) {
            why = "the import table is cut short";
            return std::nullopt;
        }
        if (!nameIndex(classPackage) || !nameIndex(className) || !nameIndex(objectName)) {
            why = "an import names a name the name table does not hold";
            return std::nullopt;
        }
        const bool outerOk = *outer == 0 ||
                             (*outer < 0 && -static_cast<int64_t>(*outer) <= h.importCount) ||
                             (*outer > 0 && static_cast<uint32_t>(*outer) <= h.exportCount);
        if (!outerOk) {
            why = "an import lies inside an object the package does not have";
            return std::nullopt;
        }
        im.className = *className;
        im.objectName = *objectName;
        im.outer = *outer;
        imports.push_back(im);
    }
    return imports;
}

// The whole name table, checked; the names of the given indices kept.
bool readNames(TableReader& r, const PackageHeader& h,
               std::unordered_map<int64_t, std::string>& want, std::string& why) {
    for (int64_t i = 0; i < static_cast<int64_t>(h.nameCount); ++i) {
        const std::optional<std::string_view> name = r.nameEntry(h.fileVersion);
        // Kept before the flags are taken: taking may move the bytes.
        if (name)
            if (auto w = want.find(i); w != want.end()) w->second = *name;
        if (!name || !r.take(4)) {
            why = "the name table is damaged";
            return false;
        }
    }
    return true;
}

// The tables of a package whose header is `h`.
PackageImports importsOf(const ReadAt& read, uint64_t fileSize, const PackageHeader& h) {
    PackageImports out;
    // Every entry takes some bytes: a table that cannot fit is damage, found
    // before anything is read or kept for it.
    if (h.nameCount > kMaxNames || h.importCount > kMaxImports ||
        uint64_t{h.nameCount} * 5 > fileSize - h.nameOffset ||
        uint64_t{h.importCount} * 7 > fileSize - h.importOffset)
        return damaged("its tables are larger than the file");

    std::string why;
    TableReader importReader(read, fileSize, h.importOffset);
    const auto imports = readImports(importReader, h, why);
    if (importReader.failed()) {
        out.why = "the file cannot be read";
        return out;
    }
    if (!imports) return damaged(why);
    if (outersLoop(*imports)) return damaged("an import lies inside itself");

    std::unordered_map<int64_t, std::string> names;
    for (const Import& im : *imports)
        if (im.outer == 0) names[im.className], names[im.objectName];
    TableReader nameReader(read, fileSize, h.nameOffset);
    const bool namesRead = readNames(nameReader, h, names, why);
    if (nameReader.failed()) {
        out.why = "the file cannot be read";
        return out;
    }
    if (!namesRead) return damaged(why);

    out.kind = PackageImports::Kind::Package;
    std::unordered_set<std::string, FoldedHash, FoldedEqual> seen;
    for (const Import& im : *imports) {
        if (im.outer != 0 || !equalsNoCase(names[im.className], "Package")) continue;
        const std::string& name = names[im.objectName];
        if (seen.insert(name).second) out.needs.push_back(name);
    }
    return out;
}

ssize_t preadAll(int fd, uint64_t offset, char* buf, size_t size) {
    for (;;) {
        const ssize_t n = ::pread(fd, buf, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
}

// The least size the tables of `head`'s header need, when the header is a
// package's and that is past `size`: a file cut short (a download broken
// off). Each name takes at least 5 bytes, each import 7, each export 12.
std::optional<uint64_t> cutShort(std::string_view head, uint64_t size) {
    const auto h = parsePackageHeader(head, std::numeric_limits<int64_t>::max());
    if (!h) return std::nullopt;
    const uint64_t needed = std::max({uint64_t{h->nameOffset} + uint64_t{h->nameCount} * 5,
                                      uint64_t{h->importOffset} + uint64_t{h->importCount} * 7,
                                      uint64_t{h->exportOffset} + uint64_t{h->exportCount} * 12});
    if (needed <= size) return std::nullopt;
    return needed;
}

std::string cutShortText(uint64_t size, uint64_t needed) {
    return "cut short at byte " + std::to_string(size) + " of at least " + std::to_string(needed);
}

} // namespace

PackageImports readPackageImports(const ReadAt& read, uint64_t fileSize) {
    PackageImports out;
    bool readFailed = false;
    const auto h = readHeader(read, fileSize, readFailed);
    if (readFailed) {
        out.why = "the file cannot be read";
        return out;
    }
    if (!h) {
        out.kind = PackageImports::Kind::NotAPackage;
        return out;
    }
    return importsOf(read, fileSize, *h);
}

PackageImports parsePackageImports(std::string_view bytes) {
    return readPackageImports(
        [bytes](uint64_t offset, char* buf, size_t size) -> ssize_t {
            if (offset >= bytes.size()) return 0;
            const size_t n = std::min<size_t>(size, bytes.size() - offset);
            std::memcpy(buf, bytes.data() + offset, n);
            return static_cast<ssize_t>(n);
        },
        bytes.size());
}

PackageRead readPackage(const std::string& path, int64_t knownSize, bool imports) {
    PackageRead out;
    // Never waits on a FIFO or a device named like a package.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        out.imports.why = std::strerror(errno);
        return out;
    }
    struct stat st {};
    st.st_size = knownSize;
    st.st_mode = S_IFREG;
    char head[kPackageHeaderBytes];
    ssize_t n = -1;
    if ((knownSize >= 0 || ::fstat(fd, &st) == 0) && S_ISREG(st.st_mode))
        n = preadAll(fd, 0, head, sizeof head);
    if (n >= 0) {
        out.file.size = st.st_size;
        const auto size = static_cast<uint64_t>(st.st_size);
        const auto header =
            parsePackageHeader(std::string_view(head, static_cast<size_t>(n)), st.st_size);
        out.file.kind = header ? PackageFile::Kind::Package : PackageFile::Kind::NotAPackage;
        if (header) out.file.header = *header;
        out.imports.kind = PackageImports::Kind::NotAPackage;
        if (header && imports)
            out.imports = importsOf([fd](uint64_t offset, char* buf,
                                         size_t want) { return preadAll(fd, offset, buf, want); },
                                    size, *header);
        // A package's header whose tables end past the file: cut short, not
        // "no package".
        const bool looksCut = !header || out.imports.kind == PackageImports::Kind::Damaged;
        if (const auto needed = looksCut
                                    ? cutShort(std::string_view(head, static_cast<size_t>(n)), size)
                                    : std::nullopt)
            out.imports = damaged(cutShortText(size, *needed));
    } else {
        out.imports.why = "not a file";
    }
    ::close(fd);
    return out;
}

PackageImports readPackageImports(const std::string& path) {
    return readPackage(path, -1, true).imports;
}

} // namespace tv
