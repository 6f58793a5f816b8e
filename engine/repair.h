#pragma once

#include <string>

namespace tv {

struct RepairResult {
    bool written = false;      // Cache.ini was rewritten
    bool stillMissing = false; // a line without extension could not be repaired
    std::string error;
};

// Appends ".UT2" to every Cache.ini line without an extension whose name
// carries a map prefix (AS-, CTF-, DM-, DOM-, BR-). The index is replaced in
// one step, so a failure leaves the old one in place.
RepairResult FixMissingExtensions(const std::string& cacheFolder);

} // namespace tv
