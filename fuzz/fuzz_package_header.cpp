// Package headers: whatever a damaged or hostile file starts with, reading
// its header ends at once and never looks past the bytes it was given.
#include "formats/package_header.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto header = tv::parsePackageHeader(bytes, static_cast<int64_t>(size));
    if (header && size < 36) std::abort();
    if (header && header->hasGuid && tv::guidText(header->guid).size() != 32) std::abort();
    return 0;
}
