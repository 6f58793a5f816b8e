#pragma once

#include <functional>
#include <string>

namespace tv {

// Packs every file of the cache folder except ZIP archives into
// tessvanebak.zip in that folder; the previous archive is kept as
// tessvanebak-old.zip and the one before it is deleted. `statusLine`
// receives the lines for the Status list. true when the archive was written.
bool BackupCacheFiles(const std::string& cacheFolder,
                      const std::function<void(const std::string&)>& statusLine);

// Removes what a backup killed while writing left in the cache folder: the
// archive writer's temporary file (tessvanebak.zip + "." + six characters).
int removeBackupLeftovers(const std::string& cacheFolder);

} // namespace tv
