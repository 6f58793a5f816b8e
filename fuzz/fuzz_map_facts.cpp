// Maps: whatever a damaged or hostile map holds (claimed sizes, property
// lists that never end, materials that lead back to themselves), reading
// its facts and its picture ends, never looks past the bytes it was given,
// and a picture it gives is as large as it says and no larger than allowed.
#include "formats/map_facts.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tv::ReadAt read = [bytes](uint64_t offset, char* buf, size_t want) -> ssize_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(want, bytes.size() - offset);
        std::memcpy(buf, bytes.data() + offset, n);
        return static_cast<ssize_t>(n);
    };
    tv::MapReadOptions options;
    options.picture = true;
    const tv::MapRead r = tv::readMap(read, bytes.size(), options);
    if (r.picture.kind == tv::MapPicture::Kind::Picture) {
        const auto& p = r.picture.picture;
        if (p.width <= 0 || p.height <= 0 || p.width > tv::kMaxPictureSide ||
            p.height > tv::kMaxPictureSide || p.rgba.size() != size_t(p.width) * p.height * 4)
            std::abort();
    }
    if (r.facts.kind != tv::MapFacts::Kind::Map && r.picture.kind == tv::MapPicture::Kind::Picture)
        std::abort();
    return 0;
}
