// An INI file of the game's: a value read from any text, and a value written
// into it is the one read back, also after the file is written and read.
#include "formats/ini.h"
#include "platform/text_io.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto lines = tv::splitLines(text);
    (void)tv::iniValue(lines, "Dirs", "CachePath", "");
    tv::setIniValue(lines, "Core.System", "PurgeCacheDays", "360");
    if (tv::iniValue(lines, "Core.System", "PurgeCacheDays", "") != "360") std::abort();
    std::string written;
    for (const auto& l : lines)
        written += l + "\r\n";
    auto again = tv::splitLines(written);
    if (tv::iniValue(again, "Core.System", "PurgeCacheDays", "") != "360") std::abort();
    return 0;
}
