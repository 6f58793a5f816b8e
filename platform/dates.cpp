#include "dates.h"

#include <ctime>

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
int64_t now() {
    return static_cast<int64_t>(std::time(nullptr));
}

} // namespace tv
