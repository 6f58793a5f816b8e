#include "backup.h"

#include "formats/zip_archive.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace tv {

namespace {

constexpr const char* kNewArchive = "tessvanebak-new.zip";
constexpr int kBackupCompressionLevel = 4;

} // namespace

int removeBackupLeftovers(const std::string& cache) {
    return removeBackupLeftovers(FolderIndex(cache));
}

int removeBackupLeftovers(const FolderIndex& listed) {
    std::vector<std::string> found;
    for (std::string_view n : listed.names()) {
        for (std::string_view archive : {"tessvanebak.zip", kNewArchive}) {
            const bool temporary = n.size() == archive.size() + 7 &&
                                   equalsNoCase(n.substr(0, archive.size()), archive) &&
                                   n[archive.size()] == '.';
            if (temporary || equalsNoCase(n, kNewArchive)) {
                found.emplace_back(n);
                break;
            }
        }
    }
    int removed = 0;
    for (const auto& n : found) {
        const std::string path = joinPath(listed.folder(), n);
        if (isRegularFile(path) && removeFile(path)) ++removed;
    }
    return removed;
}

BackupOutcome BackupCacheFiles(const std::string& cache, const WorkSink& sink) {
    removeBackupLeftovers(cache);
    const std::string fresh = joinPath(cache, kNewArchive);
    ZipArchive zip;
    zip.IncludeMask = "*.*";
    zip.ExcludeMask = "*.zip";
    zip.SourceFolder = cache + "/";
    zip.ArchiveName = fresh;
    // Deflate's lazy matching at level 4 packs cache files within a few per
    // cent of level 6 (zip -6) in about half its time; libzip's own level 9
    // takes several times as long for the last per cent.
    zip.CompressionLevel = kBackupCompressionLevel;
    zip.Packed = [&](size_t done, size_t total) { sink.reportProgress(done, total); };
    zip.Stop = [&] { return sink.stopAsked(); };
    if (!zip.Compress()) {
        removeFile(fresh);
        if (zip.cancelled()) return BackupOutcome::Stopped;
        sink.status("The cache was not backed up: " + zip.lastError());
        return BackupOutcome::Failed;
    }
    // The new archive is whole: now the older ones move along.
    const std::string older = findInFolder(cache, "tessvanebak-old.zip");
    const std::string current = findInFolder(cache, "tessvanebak.zip");
    std::string error;
    bool ok = !fileExists(older) || removeFile(older, &error);
    // The current archive becomes the older one; if it cannot, it must not be
    // overwritten by the new one either.
    ok = ok && (!fileExists(current) ||
                moveNoReplace(current, joinPath(cache, "tessvanebak-old.zip"), &error));
    const std::string archive = joinPath(cache, "tessvanebak.zip");
    ok = ok && moveNoReplace(fresh, archive, &error);
    if (!ok) {
        removeFile(fresh);
        sink.status("The cache was not backed up: " + error);
        return BackupOutcome::Failed;
    }
    sink.status("All original cache files were backed up to " + archive);
    return BackupOutcome::Written;
}

} // namespace tv
