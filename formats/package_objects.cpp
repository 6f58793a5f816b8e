#include "package_objects.h"

#include "platform/text_util.h"
#include "table_reader.h"

namespace tv {

namespace {

// Far beyond any real package; more is damage, and nothing is allocated for it.
constexpr uint32_t kMaxNames = 1u << 21;
constexpr uint32_t kMaxObjects = 1u << 20;

PackageObjects damaged(PackageObjects out, std::string why) {
    out.kind = PackageObjects::Kind::Damaged;
    out.why = std::move(why);
    out.names.clear();
    out.imports.clear();
    out.exports.clear();
    return out;
}

// A compact value that fits 32 bits.
std::optional<int32_t> index32(TableReader& r) {
    const auto v = r.index();
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
}

bool readNames(TableReader& r, PackageObjects& out) {
    out.names.reserve(out.header.nameCount);
    for (uint32_t i = 0; i < out.header.nameCount; ++i) {
        const auto name = r.nameEntry(out.header.fileVersion);
        if (!name) return false;
        out.names.emplace_back(*name);
        if (!r.take(4)) return false;
    }
    return true;
}

bool readImports(TableReader& r, PackageObjects& out) {
    out.imports.reserve(out.header.importCount);
    for (uint32_t i = 0; i < out.header.importCount; ++i) {
        PackageObjects::Import im;
        const auto classPackage = index32(r), className = index32(r);
        const auto outer = r.int32();
        const auto name = index32(r);
        if (!classPackage || !className || !outer || !name) return false;
        out.imports.push_back({*classPackage, *className, *name, *outer});
    }
    return true;
}

bool readExports(TableReader& r, PackageObjects& out) {
    out.exports.reserve(out.header.exportCount);
    for (uint32_t i = 0; i < out.header.exportCount; ++i) {
        PackageObjects::Export ex;
        const auto classRef = index32(r), superRef = index32(r);
        const auto outer = r.int32();
        const auto name = index32(r);
        const auto flags = r.int32();
        const auto size = r.index();
        if (!classRef || !superRef || !outer || !name || !flags || !size || *size < 0) return false;
        if (*size > 0) {
            const auto offset = r.index();
            if (!offset || *offset < 0) return false;
            ex.offset = static_cast<uint64_t>(*offset);
        }
        ex.classRef = *classRef;
        ex.superRef = *superRef;
        ex.outer = *outer;
        ex.name = *name;
        ex.flags = static_cast<uint32_t>(*flags);
        ex.size = static_cast<uint64_t>(*size);
        out.exports.push_back(ex);
    }
    return true;
}

// Every index names a name, every reference an object, every object's data
// lies inside the file.
std::string checked(const PackageObjects& p, uint64_t fileSize) {
    const auto name = [&](int32_t i) { return i >= 0 && static_cast<size_t>(i) < p.names.size(); };
    const auto ref = [&](int32_t r) { return r == 0 || p.isImport(r) || p.isExport(r); };
    for (const auto& im : p.imports)
        if (!name(im.classPackage) || !name(im.className) || !name(im.name) || !ref(im.outer))
            return "an import names what the package does not hold";
    for (const auto& ex : p.exports) {
        if (!name(ex.name) || !ref(ex.classRef) || !ref(ex.superRef) || !ref(ex.outer))
            return "an export names what the package does not hold";
        if (ex.offset > fileSize || ex.size > fileSize - ex.offset)
            return "an object's data lies past the end of the file";
    }
    return {};
}

const std::string kNone;
const std::string kClass = "Class";

} // namespace

const std::string& PackageObjects::objectName(int32_t ref) const {
    if (isImport(ref)) return names[importOf(ref).name];
    if (isExport(ref)) return names[exportOf(ref).name];
    return kNone;
}

const std::string& PackageObjects::className(int32_t ref) const {
    if (isImport(ref)) return names[importOf(ref).className];
    if (isExport(ref)) {
        const int32_t cls = exportOf(ref).classRef;
        return cls == 0 ? kClass : objectName(cls);
    }
    return kNone;
}

const std::string& PackageObjects::outermostName(int32_t ref) const {
    // The chain of outers is followed at most once per object: a loop ends it.
    for (size_t steps = 0; steps <= imports.size() + exports.size(); ++steps) {
        const int32_t outer = isImport(ref)   ? importOf(ref).outer
                              : isExport(ref) ? exportOf(ref).outer
                                              : 0;
        if (outer == 0) return objectName(ref);
        ref = outer;
    }
    return kNone;
}

int32_t PackageObjects::findExport(std::string_view cls, std::string_view name) const {
    for (size_t i = 0; i < exports.size(); ++i) {
        const auto ref = static_cast<int32_t>(i + 1);
        if (equalsNoCase(className(ref), cls) &&
            (name.empty() || equalsNoCase(objectName(ref), name)))
            return ref;
    }
    return 0;
}

PackageObjects readPackageObjects(const ReadAt& read, uint64_t fileSize) {
    PackageObjects out;
    bool readFailed = false;
    const auto h = readHeader(read, fileSize, readFailed);
    if (readFailed) {
        out.why = "the file cannot be read";
        return out;
    }
    if (!h) {
        out.kind = PackageObjects::Kind::NotAPackage;
        return out;
    }
    out.header = *h;
    // Each name takes at least 5 bytes, each import 7, each export 12: a
    // table that cannot fit is damage, found before anything is kept for it.
    if (h->nameCount > kMaxNames || h->importCount > kMaxObjects || h->exportCount > kMaxObjects ||
        uint64_t{h->nameCount} * 5 > fileSize - h->nameOffset ||
        uint64_t{h->importCount} * 7 > fileSize - h->importOffset ||
        uint64_t{h->exportCount} * 12 > fileSize - h->exportOffset)
        return damaged(std::move(out), "its tables are larger than the file");
    TableReader names(read, fileSize, h->nameOffset), imports(read, fileSize, h->importOffset),
        exports(read, fileSize, h->exportOffset);
    const bool whole =
        readNames(names, out) && readImports(imports, out) && readExports(exports, out);
    if (names.failed() || imports.failed() || exports.failed()) {
        out.why = "the file cannot be read";
        return out;
    }
    if (!whole) return damaged(std::move(out), "its tables are cut short or damaged");
    if (std::string why = checked(out, fileSize); !why.empty())
        return damaged(std::move(out), std::move(why));
    out.kind = PackageObjects::Kind::Package;
    return out;
}

} // namespace tv
