// A Wine prefix's registry: whatever a damaged system.reg holds, reading it
// ends, and every key read gives its values back.
#include "games/wine_registry.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    tv::WineRegistry all;
    all.parse(text);
    tv::WineRegistry some;
    some.parse(text, [](std::string_view key) { return key.size() % 2 == 0; });
    if (some.keyCount() > all.keyCount()) std::abort();
    (void)all.value("Software\\Unreal Technology\\Installed Apps\\UT2004", "Folder");
    return 0;
}
