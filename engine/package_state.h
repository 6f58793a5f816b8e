#pragma once

#include "cache_index.h"
#include "file_types.h"

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

// The state of every scan-table entry (in its order) against the packages
// the game reads (its type folders and every folder of its Paths=). Reads one header per file, and
// whole files only to compare a package with an installed one of the same GUID and size. Names of
// no known type stay Unknown. `stop` is asked now and then; the entries not reached stay Unknown.
std::vector<PackageState> packageStates(const std::vector<ScanTableEntry>& table,
                                        const CacheFolders& folders,
                                        const std::function<bool()>& stop = {});

} // namespace tv
