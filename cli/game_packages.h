#pragma once
// The game's folders and cache as a command that names packages reads them:
// once, for the whole command.

#include "engine/package_needs.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tv::cli {

// The game's folders and cache, read once for a command.
struct Game {
    explicit Game(const CacheFolders& f)
        : folders(f), cache(readCacheEntries(f)), resolver(f, cache) {}
    const CacheFolders& folders;
    const std::vector<ScanTableEntry> cache;
    const PackageResolver resolver;

    // The file NAME stands for: a path (it holds a '/'), an installed
    // package's name (the file the game loads, as check reads it), a cache
    // entry's name, or a file in the current folder.
    std::string fileOf(const std::string& name) const {
        if (name.find('/') == std::string::npos) {
            if (auto installed = resolver.installed().find(name); !installed.empty())
                return installed;
            for (const auto& e : cache)
                if (!e.file.empty() && equalsNoCase(e.name, name))
                    return joinPath(folders.cacheFolder, e.file);
        }
        struct stat st {};
        return ::stat(name.c_str(), &st) == 0 ? name : std::string();
    }
    // Every cached package with its file, as "<name>\t<where>" would show it.
    std::vector<std::pair<std::string, NeededPackage>> cachedPackages() const {
        std::vector<std::pair<std::string, NeededPackage>> out;
        for (const auto& e : cache) {
            if (e.file.empty()) continue;
            NeededPackage p;
            p.where = NeededPackage::Where::Cache;
            p.cacheFile = e.file;
            p.cacheName = e.name;
            out.emplace_back(joinPath(folders.cacheFolder, e.file), std::move(p));
        }
        return out;
    }
};

} // namespace tv::cli
