// The settings file: whatever it holds, reading never fails hard, and what
// was read is written back in a form that reads the same again.
#include "formats/registry_store.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    tv::RegistryData first;
    if (!first.parse(text)) return 0;
    std::string written = first.serialize();
    tv::RegistryData second;
    if (!second.parse(written)) std::abort();
    if (second.serialize() != written) std::abort();
    return 0;
}
