#include "purge.h"

#include "platform/ini.h"
#include "platform/text_util.h"

#include <cmath>
#include <cstdlib>

namespace tv {

std::string checkPurgeSetting(const std::string& gameIni, Prompter* prompter) {
    std::string value = INIGetSettingString("Core.System", "PurgeCacheDays", gameIni, "");
    std::string t = trim(value);
    char* end = nullptr;
    double days = t.empty() ? 0 : std::strtod(t.c_str(), &end);
    bool isNumber = !t.empty() && end == t.c_str() + t.size() && std::isfinite(days);
    if (isNumber && days > 30) return value;
    SetPurgeDays("360", gameIni, prompter);
    return "360";
}

bool SetPurgeDays(const std::string& days, const std::string& gameIni, Prompter* prompter) {
    return INIWriteSetting("Core.System", "PurgeCacheDays", days, gameIni, prompter);
}

} // namespace tv
