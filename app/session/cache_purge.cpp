#include "cache_purge.h"

#include "engine/cache_index.h"
#include "platform/file_ops.h"
#include "platform/ini.h"
#include "platform/prompter.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <dirent.h>
#include <sys/stat.h>
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

bool PurgeAllCacheFiles(const std::string& programFolder, const std::string& gameFolderIn,
                        Prompter& prompter,
                        const std::function<void(const std::string&)>& statusLine) {
    // Always the configured cache folder, whatever folder the list shows.
    std::string gameFolder = gameFolderIn;
    std::string label;
    CacheFolders folders = workOutFolders(programFolder, gameFolder, label);
    const std::string& cache = folders.cacheFolder;
    auto cacheIni = lookupInFolder(cache, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) return false;
    auto lines = readLines(*cacheIni);
    if (!lines) {
        prompter.message("Cache.INI could not be read: " + *cacheIni);
        return false;
    }
    std::vector<CacheEntry> entries;
    for (const auto& line : *lines)
        if (auto e = parseCacheLine(line, folders.cacheExt)) entries.push_back(*e);
    if (entries.empty()) {
        prompter.message("Cache already empty...");
        return false;
    }
    if (!prompter.question("Are you sure you want to DELETE all cache files?")) {
        prompter.message("Purge cancelled.");
        return false;
    }
    FolderIndex files(cache);
    for (const auto& e : entries) {
        // Either name may hold the file ("-1" files included).
        for (const auto* candidate : {&e.candidate1, &e.candidate2})
            if (auto f = files.find(*candidate)) removeFile(joinPath(cache, *f));
    }
    // The old index becomes cachebak.ini and a new one replaces it in one
    // step: the cache is never without an index.
    std::string error;
    auto old = readFile(*cacheIni);
    if (!old || !writeFileAtomic(findInFolder(cache, "cachebak.ini"), *old, &error))
        prompter.message("CACHEBAK.INI could not be written: " + error);
    if (!writeFileAtomic(*cacheIni, "[Cache]\r\n", &error)) {
        prompter.message("A new CACHE.INI could not be written: " + error);
        return true;
    }
    statusLine("All cache files have been deleted");
    statusLine(cache + "/CACHE.INI was renamed to CACHEBAK.INI");
    statusLine("A new CACHE.INI was created in " + cache);
    return true;
}

void DeleteTempFiles(const std::string& gameFolder, Prompter& prompter) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(gameFolder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (endsWithNoCase(n, ".tmp") && fileExists(joinPath(gameFolder, n)))
                found.push_back(n);
        }
        ::closedir(d);
    }
    uint64_t total = 0;
    for (const auto& n : found) {
        std::string path = joinPath(gameFolder, n);
        ::chmod(path.c_str(), 0644); // read-only files go too
        total += static_cast<uint64_t>(fileSize(path).value_or(0));
        std::string error;
        if (!removeFile(path, &error)) {
            prompter.message(error);
            return;
        }
    }
    if (found.empty()) {
        prompter.message("No TMP files found..", "TMP File Deletion", MessageIcon::Information);
        return;
    }
    prompter.message("Deleted " + sizeText(total) + " of temporary cache files.");
}

} // namespace tv
