// .uz2 files: whatever a damaged or hostile file holds, unpacking ends,
// allocates no more than a chunk at a time beyond what it returns, and what
// it returns packs and unpacks to the same bytes.
#include "formats/uz2.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto package = tv::unpackUz2(bytes, &error, 1 << 22);
    if (!package) return 0;
    auto again = tv::unpackUz2(tv::packUz2(*package), &error, 1 << 22);
    if (!again || *again != *package) std::abort();
    return 0;
}
