#include "repair.h"

#include "platform/text_io.h"
#include "platform/text_util.h"

namespace tv {

RepairResult FixMissingExtensions(const std::string& cacheFolder) {
    RepairResult r;
    auto cacheIni = lookupInFolder(cacheFolder, "cache.ini");
    auto lines = cacheIni ? readLines(*cacheIni) : std::nullopt;
    if (!lines) {
        r.error = "Cache.ini could not be read in " + cacheFolder;
        return r;
    }
    static const char* const prefixes[] = {"AS-", "CTF-", "DM-", "DOM-", "BR-"};
    for (auto& line : *lines) {
        if (line.find('.') != std::string::npos) continue;
        std::string upper = toUpper(line);
        if (upper == "[CACHE]") continue;
        bool map = false;
        for (const char* p : prefixes)
            map = map || upper.find(p) != std::string::npos;
        if (map)
            line += ".UT2";
        else
            r.stillMissing = true;
    }
    r.written = writeLinesAtomic(*cacheIni, *lines, &r.error);
    return r;
}

} // namespace tv
