#pragma once

#include "engine/cache_purge.h"

#include <functional>
#include <optional>
#include <string>

namespace tv {

class Prompter;

// Housekeeping: the game's own purge period, the purge of every cache file
// and the game folder's TMP files.
class Housekeeping {
public:
    Housekeeping(std::string programFolder, Prompter& prompter);

    // The purge period as the Options tab's box holds it (txtPurgeCacheDays).
    const std::string& purgeDaysText() const { return m_purgeDays; }
    void setPurgeDaysText(std::string text) { m_purgeDays = std::move(text); }
    // Reads the period from the game's configuration at a scan: a period of
    // 30 days or less is raised to 360 (not in a dry run, which writes nothing).
    // The line that says a too short period was raised, when it was.
    std::string readPurgeDays(const std::string& gameIni, bool dryRun);
    // "Set": a whole number of days from 0 to 3650 is written into the
    // game's configuration; anything else is refused with a message.
    bool setPurgeDays(const std::string& gameIni);
    // Why a purge period typed is refused, as a sentence; nullopt when it is
    // a whole number of days from 0 to 3650.
    static std::optional<std::string> purgePeriodProblem(const std::string& days);

    // How many entries a purge would delete; negative (after its message)
    // when it cannot tell (kPurgeIndexUnreadable: the index is unreadable).
    int entriesToPurge(const GameInstall& install);
    // Deletes every cache file; the caller holds the operation lock.
    PurgeResult purge(const GameInstall& install,
                      const std::function<void(const std::string&)>& statusLine);
    // Deletes the game folder's *.tmp files; false when one could not go.
    bool deleteTempFiles(const std::string& userFolder);

private:
    std::string m_programFolder;
    Prompter& m_prompter;
    std::string m_purgeDays;
};

} // namespace tv
