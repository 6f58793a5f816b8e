#include "purge.h"

#include "formats/ini.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cmath>
#include <cstdlib>
#include <optional>

namespace tv {

namespace {

// The stored value when the game keeps it (a number above 30, or 0: never
// purge), else nullopt.
std::optional<std::string> keptPurgeSetting(const std::string& gameIni) {
    std::string value = INIGetSettingString("Core.System", "PurgeCacheDays", gameIni, "");
    std::string t = trim(value);
    char* end = nullptr;
    double days = t.empty() ? 0 : std::strtod(t.c_str(), &end);
    bool isNumber = !t.empty() && end == t.c_str() + t.size() && std::isfinite(days);
    if (isNumber && (days > 30 || days == 0)) return value;
    return std::nullopt;
}

} // namespace

std::string checkPurgeSetting(const std::string& gameIni, const NoticeSink& notify,
                              std::string* raised) {
    if (auto kept = keptPurgeSetting(gameIni)) return *kept;
    // The game's configuration is never created: without it nothing is written.
    const std::string before =
        trim(INIGetSettingString("Core.System", "PurgeCacheDays", gameIni, ""));
    if (fileExists(gameIni) && SetPurgeDays("360", gameIni, notify) && raised)
        *raised = "PurgeCacheDays in " + gameIni + " was " +
                  (before.empty() ? std::string("not set") : "\"" + before + "\"") +
                  "; it is now 360 days (a shorter period lets the game delete downloads "
                  "before they are moved)";
    return "360";
}

std::string purgeSettingText(const std::string& gameIni) {
    return keptPurgeSetting(gameIni).value_or("360");
}

bool purgeDaysValid(const std::string& days) {
    if (days.empty() || days.size() > 4) return false;
    for (char c : days)
        if (c < '0' || c > '9') return false;
    return std::stoi(days) <= 3650;
}

std::string purgePeriodRefusal(const std::string& days) {
    return "The purge period must be a whole number of days from 0 to 3650; \"" + days +
           "\" was not written.";
}

bool SetPurgeDays(const std::string& days, const std::string& gameIni, const NoticeSink& notify) {
    if (!fileExists(gameIni)) {
        tell(notify, {"The game's configuration " + gameIni +
                      " does not exist (start the game once to make it); the purge period was "
                      "not written."});
        return false;
    }
    return INIWriteSetting("Core.System", "PurgeCacheDays", days, gameIni, notify);
}

} // namespace tv
