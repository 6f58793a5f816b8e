#include "package_needs.h"

#include "map_info.h"
#include "package_state.h"

#include "formats/package_header.h"

#include "platform/text_util.h"

#include <unordered_set>

namespace tv {

std::string whereText(const NeededPackage& p) {
    switch (p.where) {
    case NeededPackage::Where::Installed:
        return "installed " + p.path;
    case NeededPackage::Where::Cache:
        return "cache " + p.cacheFile;
    case NeededPackage::Where::Missing:
        break;
    }
    return "missing";
}

std::string shownName(const NeededPackage& p) {
    if (p.music && p.where == NeededPackage::Where::Missing) return "the music " + p.name;
    switch (p.where) {
    case NeededPackage::Where::Installed:
        return fileNameOf(p.path);
    case NeededPackage::Where::Cache:
        return p.cacheName;
    case NeededPackage::Where::Missing:
        break;
    }
    return p.name;
}

PackageResolver::PackageResolver(const CacheFolders& folders,
                                 const std::vector<ScanTableEntry>& cache)
    : m_folders(folders), m_installed(folders) {
    for (const auto& e : cache) {
        if (e.file.empty()) continue;
        // The first line of a name is the one the game finds; music by its
        // whole name, as a map names it with ".ogg". A file that is no
        // package (BonusPack.int beside BonusPack.u) answers no import.
        if (endsWithNoCase(e.name, ".ogg"))
            m_cache.try_emplace(std::string_view(e.name), &e);
        else if (isPackageType(fileTypeOf(e.name)) || e.name.find('.') == std::string::npos)
            m_cache.try_emplace(packageStem(e.name), &e);
    }
}

NeededPackage PackageResolver::resolve(std::string_view name) const {
    NeededPackage p;
    p.name = name;
    if (p.path = m_installed.findPackage(name); !p.path.empty()) {
        p.where = NeededPackage::Where::Installed;
    } else if (auto c = m_cache.find(name); c != m_cache.end()) {
        p.where = NeededPackage::Where::Cache;
        p.cacheFile = c->second->file;
        p.cacheName = c->second->name;
    }
    return p;
}

std::vector<NeededPackage> PackageResolver::lacking(const std::vector<std::string>& needs) const {
    std::vector<NeededPackage> out;
    for (const auto& n : needs)
        if (auto p = resolve(n); p.where != NeededPackage::Where::Installed)
            out.push_back(std::move(p));
    return out;
}

NeededPackage PackageResolver::resolveMusic(std::string_view song) const {
    NeededPackage p;
    p.music = true;
    p.name = std::string(song) + ".ogg";
    if (p.path = installedMusic(m_folders, std::string(song)); !p.path.empty()) {
        p.where = NeededPackage::Where::Installed;
        return p;
    }
    // A music file in the cache is recorded under its whole name.
    if (auto c = m_cache.find(p.name);
        c != m_cache.end() && endsWithNoCase(c->second->name, ".ogg")) {
        p.where = NeededPackage::Where::Cache;
        p.cacheFile = c->second->file;
        p.cacheName = c->second->name;
    }
    return p;
}

std::string mapSong(const std::string& mapFile) {
    return readMapFile(mapFile).facts.song;
}

std::string mapSong(const ReadAt& read, uint64_t size) {
    return readMap(read, size).facts.song;
}

std::string PackageResolver::lookedIn() const {
    std::string out;
    for (const auto& f : m_installed.folders())
        out += joinPath(f.index->folder(), f.pattern) + ", ";
    return out + "the cache";
}

std::vector<std::string> archiveNeedsLines(const std::vector<ArchiveMap>& maps,
                                           const std::vector<std::string>& members,
                                           const PackageResolver& resolver) {
    // The packages the archive brings, by name: "Textures\\cf_tex02.utx.uz2"
    // brings cf_tex02; its language file or read-me brings no package.
    std::unordered_set<std::string, FoldedHash, FoldedEqual> brought;
    for (std::string m : members) {
        const size_t slash = m.find_last_of("/\\");
        if (slash != std::string::npos) m.erase(0, slash + 1);
        if (endsWithNoCase(m, ".uz2")) m.resize(m.size() - 4);
        if (isPackageType(fileTypeOf(m))) brought.emplace(packageStem(m));
        if (endsWithNoCase(m, ".ogg")) brought.emplace(m);
    }
    std::vector<std::string> lines;
    for (const auto& map : maps) {
        switch (map.imports.kind) {
        case PackageImports::Kind::Package:
            break;
        case PackageImports::Kind::NotAPackage:
            lines.push_back(map.name + " is not a package: the game cannot load it");
            continue;
        case PackageImports::Kind::Damaged:
            lines.push_back(map.name + " is damaged: " + map.imports.why);
            continue;
        case PackageImports::Kind::Unreadable:
            lines.push_back(map.name + ": what it needs cannot be read (" + map.imports.why + ")");
            continue;
        }
        std::string needs, lacking;
        for (const auto& n : map.imports.needs) {
            needs += (needs.empty() ? "" : ", ") + n;
            if (!brought.count(n) && resolver.resolve(n).where == NeededPackage::Where::Missing)
                lacking += (lacking.empty() ? "" : ", ") + n;
        }
        if (!map.song.empty()) {
            const std::string music = map.song + ".ogg";
            needs += (needs.empty() ? "the music " : ", the music ") + music;
            if (!brought.count(music) &&
                resolver.resolveMusic(map.song).where == NeededPackage::Where::Missing)
                lacking += (lacking.empty() ? "the music " : ", the music ") + music;
        }
        lines.push_back(map.name + " needs: " + (needs.empty() ? "nothing else" : needs));
        if (!lacking.empty()) lines.push_back("Neither the archive nor the game has: " + lacking);
    }
    return lines;
}

} // namespace tv
