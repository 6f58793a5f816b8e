#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tv {

// The locale's short date ("%x"), as the undo log records the day of a move.
std::string shortDate(int64_t secondsSinceEpoch);
// The locale's general date and time ("%x %X"), as the File List shows file dates.
std::string generalDate(int64_t secondsSinceEpoch);
int64_t now();
// The day a short date text names (as shortDate writes it), or nullopt.
std::optional<int64_t> parseShortDate(const std::string& text);

} // namespace tv
