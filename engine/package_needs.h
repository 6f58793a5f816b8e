#pragma once

#include "cache_index.h"
#include "formats/package_imports.h"
#include "installed_packages.h"

#include "platform/text_io.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tv {

// Where a package another one needs is found: the way the game looks,
// through Paths= (the player's folder and the game folder, any letter
// case), then in the cache by name.
struct NeededPackage {
    enum class Where { Installed, Cache, Missing };
    std::string name; // as the import names it
    Where where = Where::Missing;
    std::string path;      // Installed: the file the game loads
    std::string cacheFile; // Cache: the file in the cache folder
    std::string cacheName; // Cache: its recorded name ("cf_tex02.utx")
    bool music = false;    // the map's music (Music/<Song>.ogg), not a package
};

// "installed <path>", "cache <cache file>" or "missing".
std::string whereText(const NeededPackage& p);
// The name to show: the recorded or installed file's name, else the name
// the import gives.
std::string shownName(const NeededPackage& p);

class PackageResolver {
public:
    // `cache`: the scan's entries, their files found.
    PackageResolver(const CacheFolders& folders, const std::vector<ScanTableEntry>& cache);
    NeededPackage resolve(std::string_view name) const;
    // The packages of `needs` that are not installed, in their order.
    std::vector<NeededPackage> lacking(const std::vector<std::string>& needs) const;
    // The music a map plays (its LevelInfo's Song): Music/<song>.ogg,
    // installed (any letter case) or in the cache by that name.
    NeededPackage resolveMusic(std::string_view song) const;
    const InstalledPackages& installed() const { return m_installed; }
    // Where the game looks, for a user: "<folder>/<pattern>, ..., the cache".
    std::string lookedIn() const;

private:
    CacheFolders m_folders;
    InstalledPackages m_installed;
    std::unordered_map<std::string_view, const ScanTableEntry*, FoldedHash, FoldedEqual> m_cache;
};

// The music a map's LevelInfo names (its Song), without reading more of
// the map than its tables and that object; empty when it names none or is
// no map.
std::string mapSong(const std::string& mapFile);
std::string mapSong(const ReadAt& read, uint64_t size);

// A map an archive holds, and its tables as read from the archive.
struct ArchiveMap {
    std::string name;
    PackageImports imports;
    std::string song; // the music it plays, when it names some
};
// What the archive's maps need, for its preview: per map "<map> needs: A,
// B, C", then, when some are neither among the archive's members (file
// names or paths, a .uz2 as the package it holds) nor installed nor in the
// cache, "Neither the archive nor the game has: X, Y". A map whose tables
// cannot be read says so.
std::vector<std::string> archiveNeedsLines(const std::vector<ArchiveMap>& maps,
                                           const std::vector<std::string>& members,
                                           const PackageResolver& resolver);

} // namespace tv
