#include "backup.h"

#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/zip_archive.h"

#include <cstdio>

namespace tv {

bool BackupCacheFiles(const std::string& cache,
                      const std::function<void(const std::string&)>& statusLine) {
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
