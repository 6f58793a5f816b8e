// A ZIP archive of any shape: listing its members never fails hard, and the
// name a member is taken under is always a plain file name.
#include "formats/zip_archive.h"
#include "platform/text_io.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tv::listArchiveBytes(bytes, [](const std::string& name) {
        auto file = tv::memberFileName(name);
        if (file && !tv::isPlainFileName(*file)) std::abort();
    });
    return 0;
}
