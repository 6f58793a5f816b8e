#pragma once

#include "platform/notice.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tv {

struct GameInstall;

// The size wording of the temporary-file report: bytes, K, MEG by the number
// of digits, leading digits kept and the rest dropped.
std::string sizeText(uint64_t bytes);

struct PurgeResult {
    bool purged = false;     // the cache was purged (the list must be scanned again)
    bool someFailed = false; // a file could not be deleted, or the index rewritten
    bool failed() const { return someFailed; }
    bool nothingDone() const { return !purged; }
};

// The number of entries of the configured cache folder's Cache.ini; -1 when
// there is none, kPurgeIndexUnreadable when it cannot be read (the user was told).
constexpr int kPurgeIndexUnreadable = -2;
int countPurgeEntries(const std::string& programFolder, const GameInstall& install,
                      const NoticeSink& notify);

// Deletes every cache file of the configured cache folder (the one the game's
// configuration names, else the player's folder + CachePath) (the caller has asked), keeps the old
// index as cachebak.ini and starts a new Cache.ini. A cache folder that cannot be written stops it
// before anything is deleted.
PurgeResult PurgeAllCacheFiles(const std::string& programFolder, const GameInstall& install,
                               const NoticeSink& notify,
                               const std::function<void(const std::string&)>& statusLine);

// Deletes the *.tmp files of the player's folder and reports their size. A
// symbolic link is removed itself; its target is never touched or counted.
// false when a file could not be deleted.
bool DeleteTempFiles(const std::string& gameFolder, const NoticeSink& notify);

} // namespace tv
