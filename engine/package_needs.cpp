#include "package_needs.h"

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
    : m_installed(folders) {
    for (const auto& e : cache) {
        if (e.file.empty()) continue;
        const size_t dot = e.name.rfind('.');
        // The first line of a name is the one the game finds.
        m_cache.try_emplace(std::string_view(e.name).substr(0, dot), &e);
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

std::string PackageResolver::lookedIn() const {
    std::string out;
    for (const auto& f : m_installed.folders())
        out += joinPath(f.index->folder(), f.pattern) + ", ";
    return out + "the cache";
}

} // namespace tv
