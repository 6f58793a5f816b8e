// A ZIP archive of any shape: listing its members never fails hard.
#include "platform/text_io.h"
#include "platform/zip_archive.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t plain = 0;
    tv::listArchiveBytes(bytes, [&](const std::string& name) {
        plain += tv::isPlainFileName(tv::fileNameOf(name));
    });
    return static_cast<int>(plain & 0);
}
