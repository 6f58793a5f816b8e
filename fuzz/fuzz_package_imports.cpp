// Package tables: whatever a damaged or hostile package holds, reading what
// it needs ends, never looks past the bytes it was given, and lists each
// needed package once, no more of them than the import table has entries.
#include "formats/package_imports.h"
#include "platform/bytes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto r = tv::parsePackageImports(bytes);
    if (r.kind != tv::PackageImports::Kind::Package) {
        if (!r.needs.empty()) std::abort();
        return 0;
    }
    if (size < 36 || r.needs.size() > tv::readLe32(bytes, 28)) std::abort();
    return 0;
}
