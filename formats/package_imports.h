#pragma once

#include "package_header.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tv {

// The packages a package needs to load: the top-level entries of its import
// table (outer 0) whose class is Package, by name, each once (without
// regard to letter case), in the table's order. Core, Engine, a map's
// texture packages, ...
//
// The import table: per entry the class's package and the class's name
// (name-table indices, compact), the outer (a 32-bit object reference: 0 is
// none, -n the import n-1, n the export n-1) and the object's name. The
// name table: per entry the name (NUL-terminated before file version 64,
// from 64 a compact length counting the NUL, then the bytes) and 32 bits
// of flags. Only the import table and the names it asks for are read.
struct PackageImports {
    enum class Kind { Package, NotAPackage, Damaged, Unreadable } kind = Kind::Unreadable;
    std::vector<std::string> needs;
    std::string why; // Damaged: what is wrong with the tables; Unreadable: the error
};

// Reads `size` bytes at `offset` into `buf`: the count (less at the end),
// -1 on failure.
using ReadAt = std::function<ssize_t(uint64_t offset, char* buf, size_t size)>;

// The tables of a package of `fileSize` bytes read through `read`.
PackageImports readPackageImports(const ReadAt& read, uint64_t fileSize);
// ... of a package in memory (a test's, an archive member's).
PackageImports parsePackageImports(std::string_view bytes);
// ... of a file (never a FIFO or a device).
PackageImports readPackageImports(const std::string& path);

// A file's header and, for a package when `imports` is asked, its tables,
// read through one open. With `knownSize` (from a listing just made) the
// file is not asked for it again.
struct PackageRead {
    PackageFile file;
    PackageImports imports;
};
PackageRead readPackage(const std::string& path, int64_t knownSize, bool imports);

} // namespace tv
