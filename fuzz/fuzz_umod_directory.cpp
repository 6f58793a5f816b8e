// UMOD directories: whatever a damaged or hostile installer holds, reading
// its directory ends, allocates no more than its bytes can describe, and
// every file it lists lies within the installer's files.
#include "formats/umod.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const uint64_t contentEnd = 1 << 20;
    std::string error;
    auto directory = tv::parseUmodDirectory(bytes, contentEnd, &error);
    if (!directory) return 0;
    for (const auto& f : directory->files)
        if (f.offset + f.size > contentEnd || f.path.empty()) std::abort();
    return 0;
}
