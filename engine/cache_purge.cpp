#include "cache_purge.h"

#include "engine/cache_index.h"
#include "formats/ini.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tv {

std::string sizeText(uint64_t bytes) {
    std::string digits = std::to_string(bytes);
    size_t d = digits.size();
    if (d <= 3) return digits + " bytes";
    if (d <= 6) return digits.substr(0, d - 3) + "K";
    if (d <= 9) return digits.substr(0, d - 6) + "MEG";
    return digits;
}

int countPurgeEntries(const std::string& programFolder, const GameInstall& install,
                      const NoticeSink& notify) {
    std::string label;
    CacheFolders folders = workOutFolders(programFolder, install, label);
    auto cacheIni = lookupInFolder(folders.cacheFolder, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) return -1;
    auto lines = readLines(*cacheIni);
    if (!lines) {
        tell(notify, {"Cache.INI could not be read: " + *cacheIni});
        return kPurgeIndexUnreadable;
    }
    int count = 0;
    for (const auto& line : *lines)
        count += parseCacheLine(line, folders.cacheExt).has_value();
    return count;
}

PurgeResult PurgeAllCacheFiles(const std::string& programFolder, const GameInstall& install,
                               const NoticeSink& notify,
                               const std::function<void(const std::string&)>& statusLine) {
    PurgeResult result;
    // Always the configured cache folder, whatever folder the list shows.
    std::string label;
    CacheFolders folders = workOutFolders(programFolder, install, label);
    const std::string& cache = folders.cacheFolder;
    auto cacheIni = lookupInFolder(cache, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) return result;
    auto lines = readLines(*cacheIni);
    if (!lines) {
        tell(notify, {"Cache.INI could not be read: " + *cacheIni});
        result.someFailed = true;
        return result;
    }
    std::vector<CacheEntry> entries;
    for (const auto& line : *lines)
        if (auto e = parseCacheLine(line, folders.cacheExt)) entries.push_back(*e);
    if (entries.empty()) return result;
    // The new index must be writable before a single file goes.
    std::string probe;
    int fd = createTemporaryIn(cache, "cache.ini", probe);
    if (fd < 0) {
        tell(notify, {"The cache folder " + cache + " cannot be written: " + std::strerror(errno) +
                      "\n\nNo file was deleted."});
        result.someFailed = true;
        return result;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    removeLeftovers(cache);

    FolderIndex files(cache);
    for (const auto& e : entries) {
        // Either name may hold the file ("-1" files included). The names come
        // from the folder's own listing, so none leads out of it.
        for (const auto* candidate : {&e.candidate1, &e.candidate2}) {
            auto f = files.find(*candidate);
            std::string error;
            if (f && !removeFile(joinPath(cache, *f), &error) && errno != ENOENT) {
                statusLine("**ERROR** " + error);
                result.someFailed = true;
            }
        }
    }
    crashPoint("cache files deleted");
    // The old index becomes cachebak.ini and a new one replaces it in one
    // step: the cache is never without an index.
    std::string error;
    auto old = readFile(*cacheIni);
    const std::string bak = findInFolder(cache, "cachebak.ini");
    if (!old || !writeFileAtomic(bak, *old, &error)) {
        statusLine("**ERROR** " + fileNameOf(bak) + " could not be written: " + error);
        result.someFailed = true;
    }
    // The new index ends its line as the old one did (a native game writes LF).
    const std::string fresh = "[Cache]" + std::string(lineEndOf(*cacheIni));
    if (!writeFileAtomic(*cacheIni, fresh, &error)) {
        statusLine("**ERROR** A new CACHE.INI could not be written: " + error);
        tell(notify, {"A new CACHE.INI could not be written: " + error});
        result.someFailed = true;
        result.purged = true;
        return result;
    }
    statusLine("All cache files have been deleted");
    statusLine(indexKeptLine(*cacheIni, bak));
    statusLine("A new CACHE.INI was created in " + cache);
    result.purged = true;
    return result;
}

bool DeleteTempFiles(const std::string& gameFolder, const NoticeSink& notify) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(gameFolder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            std::string path = joinPath(gameFolder, n);
            if (endsWithNoCase(n, ".tmp") && (isRegularFile(path) || isSymlink(path)))
                found.push_back(n);
        }
        ::closedir(d);
    }
    uint64_t total = 0;
    for (const auto& n : found) {
        std::string path = joinPath(gameFolder, n);
        // The entry's own size: for a link, the link and not what it points to.
        // Deleting needs no write permission on the file itself, so read-only
        // files go without changing their mode.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
        std::string error;
        if (!removeFile(path, &error)) {
            tell(notify, {error});
            return false;
        }
    }
    if (found.empty()) {
        tell(notify, {"No TMP files found..", "TMP File Deletion", MessageIcon::Information});
        return true;
    }
    tell(notify, {"Deleted " + sizeText(total) + " of temporary cache files."});
    return true;
}

} // namespace tv
