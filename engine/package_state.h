#pragma once

#include "cache_index.h"
#include "file_types.h"
#include "formats/package_imports.h"
#include "package_needs.h"

#include <functional>
#include <string>
#include <vector>

namespace tv {

// "new", "installed", "identical", "other version", "damaged"; empty for Unknown.
const char* stateText(PackageState state);

// Types whose files are packages and carry a header (maps, textures,
// sounds, static meshes, animations, code); music (.ogg) and the rest do not.
bool isPackageType(FileType type);

// The state of a cache file beside the installed file of its name (empty:
// there is none).
PackageState packageState(const std::string& cacheFile, const std::string& installedFile,
                          FileType type, int64_t cacheFileSize = -1);

// What the list shows of a cache entry's package: its state and the
// packages it needs that are not installed.
struct PackageFacts {
    PackageState state = PackageState::Unknown;
    // Damaged: what is wrong ("empty", "no package header", "cut short at
    // byte N of at least M", "its tables are damaged: ...").
    std::string damage;
    std::vector<NeededPackage> lacking; // in the cache or missing
};
struct PackagesFacts {
    std::vector<PackageFacts> entries; // in the scan table's order
    std::string lookedIn;              // where needed packages were looked for
};

// What is wrong with a damaged package, as read.
std::string damageText(const PackageRead& read);

// The facts of every scan-table entry (in its order) against the packages
// the game reads (its type folders and every folder of its Paths=) and the
// cache. Reads one header and the import table per file, and whole files
// only to compare a package with an installed one of the same GUID and
// size. Names of no known type stay Unknown. `stop` is asked now and then;
// the entries not reached stay Unknown.
PackagesFacts packageFacts(const std::vector<ScanTableEntry>& table, const CacheFolders& folders,
                           const std::function<bool()>& stop = {});

} // namespace tv
