#pragma once
// A package's objects: its whole name table, its import table and its
// export table, each entry checked against the others and the file.
//
// The export table: per entry the class (an object reference, compact; 0
// for a class the package defines), the super class (compact), the outer
// (32 bits), the object's name (a name index, compact), its flags (32 bits),
// the size of its data (compact) and, when that is not 0, where the data
// starts (compact). An object reference is 0 for none, -n for the import
// n-1 and n for the export n-1.

#include "package_header.h"
#include "package_imports.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// The object carries a script state before its properties.
constexpr uint32_t kHasStack = 0x02000000;

struct PackageObjects {
    enum class Kind { Package, NotAPackage, Damaged, Unreadable } kind = Kind::Unreadable;
    std::string why; // Damaged: what is wrong; Unreadable: the error
    PackageHeader header;
    std::vector<std::string> names;

    struct Import {
        int32_t classPackage = 0, className = 0, name = 0; // name indices
        int32_t outer = 0;                                 // an object reference
    };
    struct Export {
        int32_t classRef = 0, superRef = 0, outer = 0;
        int32_t name = 0;
        uint32_t flags = 0;
        uint64_t size = 0, offset = 0; // the object's data in the file
    };
    std::vector<Import> imports;
    std::vector<Export> exports;

    bool isImport(int32_t ref) const {
        return ref < 0 && static_cast<uint64_t>(-static_cast<int64_t>(ref)) <= imports.size();
    }
    bool isExport(int32_t ref) const {
        return ref > 0 && static_cast<uint64_t>(ref) <= exports.size();
    }
    const Import& importOf(int32_t ref) const { return imports[-static_cast<int64_t>(ref) - 1]; }
    const Export& exportOf(int32_t ref) const { return exports[static_cast<size_t>(ref) - 1]; }
    // The object's own name and its class's ("Class" for a class this
    // package defines); empty for a reference that names nothing.
    const std::string& objectName(int32_t ref) const;
    const std::string& className(int32_t ref) const;
    // The outermost object's name: the package an import comes from.
    const std::string& outermostName(int32_t ref) const;
    // The first export of that class (any letter case) named so; 0 when none.
    int32_t findExport(std::string_view className, std::string_view name = {}) const;
};

PackageObjects readPackageObjects(const ReadAt& read, uint64_t fileSize);

} // namespace tv
