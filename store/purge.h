#pragma once

#include "platform/notice.h"

#include <string>

namespace tv {

// The game's own purge period, [Core.System] PurgeCacheDays of UT2003.ini.
// Returns the text for the days box: the stored value when it is a number
// above 30 or 0 (never purge), otherwise "360", which is then written back
// to the game's file when that file exists (it is never created).
// `raised` gets the line that says so when a stored value was replaced.
std::string checkPurgeSetting(const std::string& gameIni, const NoticeSink& notify = {},
                              std::string* raised = nullptr);

// The purge period as it stands, without writing anything: the stored value
// when it is a number above 30 or 0, otherwise "360" (what a scan would write).
std::string purgeSettingText(const std::string& gameIni);

// A purge period the game is given: a whole number of days from 0 to 3650.
bool purgeDaysValid(const std::string& days);
// Why `days` is refused, as a sentence.
std::string purgePeriodRefusal(const std::string& days);

// Writes the days text as typed into the game's existing configuration; a
// missing one is said and not created.
bool SetPurgeDays(const std::string& days, const std::string& gameIni,
                  const NoticeSink& notify = {});

} // namespace tv
