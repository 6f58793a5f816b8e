#pragma once

#include "work_sink.h"

#include <string>

namespace tv {

class FolderIndex;

enum class BackupOutcome { Written, Failed, Stopped };

// Packs every file of the cache folder except ZIP archives into
// tessvanebak.zip in that folder; the previous archive is kept as
// tessvanebak-old.zip and the one before it is deleted. The new archive is
// written whole under another name first, so a backup that fails or is
// stopped leaves both archives as they were. `sink` hears the lines for the
// Status list and how many files are packed (n of N), and is asked as it
// goes whether to stop.
BackupOutcome BackupCacheFiles(const std::string& cacheFolder, const WorkSink& sink);

// Removes what a backup killed while writing left in the cache folder: the
// archive writer's temporary files (tessvanebak.zip or tessvanebak-new.zip +
// "." + six characters) and an unfinished tessvanebak-new.zip.
int removeBackupLeftovers(const std::string& cacheFolder);
// The same, from the cache folder's names as listed already.
int removeBackupLeftovers(const FolderIndex& listed);

} // namespace tv
