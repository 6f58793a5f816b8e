#include "backup.h"

#include "formats/zip_archive.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cstdio>
#include <dirent.h>
#include <string_view>
#include <vector>

namespace tv {

int removeBackupLeftovers(const std::string& cache) {
    static constexpr std::string_view kArchive = "tessvanebak.zip.";
    std::vector<std::string> found;
    if (DIR* d = ::opendir(cache.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string_view n = e->d_name;
            if (n.size() == kArchive.size() + 6 &&
                equalsNoCase(n.substr(0, kArchive.size()), kArchive))
                found.emplace_back(n);
        }
        ::closedir(d);
    }
    int removed = 0;
    for (const auto& n : found)
        if (isRegularFile(joinPath(cache, n)) && removeFile(joinPath(cache, n))) ++removed;
    return removed;
}

bool BackupCacheFiles(const std::string& cache,
                      const std::function<void(const std::string&)>& statusLine) {
    removeBackupLeftovers(cache);
    auto status = [&](const std::string& s) {
        if (statusLine) statusLine(s);
    };
    std::string older = findInFolder(cache, "tessvanebak-old.zip");
    std::string current = findInFolder(cache, "tessvanebak.zip");
    std::string error;
    if (fileExists(older) && !removeFile(older, &error)) {
        status("The cache was not backed up: " + error);
        return false;
    }
    // The current archive becomes the older one; if it cannot, it must not be
    // overwritten by the new one either.
    if (fileExists(current) &&
        !moveNoReplace(current, joinPath(cache, "tessvanebak-old.zip"), &error)) {
        status("The cache was not backed up: " + error);
        return false;
    }
    ZipArchive zip;
    zip.IncludeMask = "*.*";
    zip.ExcludeMask = "*.zip";
    zip.SourceFolder = cache + "/";
    zip.ArchiveName = joinPath(cache, "tessvanebak.zip");
    bool ok = zip.Compress();
    if (fileExists(zip.ArchiveName)) {
        status("All original cache files were backed up to " + zip.ArchiveName);
        return ok;
    }
    status("The cache was not backed up: " + zip.lastError());
    return false;
}

} // namespace tv
