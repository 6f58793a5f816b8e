#include "dates.h"

#include <ctime>
#include <time.h>

namespace tv {

static std::string format(int64_t t, const char* fmt) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}

std::string shortDate(int64_t t) {
    return format(t, "%x");
}
std::string generalDate(int64_t t) {
    return format(t, "%x %X");
}
std::optional<int64_t> parseShortDate(const std::string& text) {
    std::tm tm{};
    const char* end = ::strptime(text.c_str(), "%x", &tm);
    if (!end || *end != '\0') return std::nullopt;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
}

int64_t now() {
    return static_cast<int64_t>(std::time(nullptr));
}

} // namespace tv
