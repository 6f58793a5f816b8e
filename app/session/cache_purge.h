#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tv {

class Prompter;

// The size wording of the temporary-file report: bytes, K, MEG by the number
// of digits, leading digits kept and the rest dropped.
std::string sizeText(uint64_t bytes);

// Deletes every cache file of the configured cache folder (game folder +
// CachePath) after a confirmation, keeps the old index as cachebak.ini and
// starts a new Cache.ini. true when the cache was purged (the list must be
// scanned again).
bool PurgeAllCacheFiles(const std::string& programFolder, const std::string& gameFolder,
                        Prompter& prompter,
                        const std::function<void(const std::string&)>& statusLine);

// Deletes the *.tmp files of the game folder and reports their size.
void DeleteTempFiles(const std::string& gameFolder, Prompter& prompter);

} // namespace tv
