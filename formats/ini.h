#pragma once

#include "platform/notice.h"

#include <string>
#include <vector>

namespace tv {

// Reads one value the way the Windows profile functions do: section and key
// without regard to case, blanks around the value removed, one pair of
// enclosing quotes removed, at most 255 characters. A missing file, section
// or key gives the default.
std::string INIGetSettingString(const std::string& section, const std::string& key,
                                const std::string& file, const std::string& defaultValue);

// Writes one value, creating the file, section or key as needed and keeping
// every other line. true on success; on failure the file is unchanged and
// `notify` is told why.
bool INIWriteSetting(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file, const NoticeSink& notify = {});

// The same two on the lines of a file already read.
std::string iniValue(const std::vector<std::string>& lines, const std::string& section,
                     const std::string& key, const std::string& defaultValue);
// Every value of a key that a section lists more than once (the game's
// Paths=), in order, as written.
std::vector<std::string> iniValues(const std::vector<std::string>& lines,
                                   const std::string& section, const std::string& key);
void setIniValue(std::vector<std::string>& lines, const std::string& section,
                 const std::string& key, const std::string& value);

} // namespace tv
