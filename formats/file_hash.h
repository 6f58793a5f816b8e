#pragma once

#include <optional>
#include <string>

namespace tv {

// A file's bytes as a short text ("crc32:1A2B3C4D"), read a piece at a
// time: enough to tell a file changed since it was installed. nullopt when
// it cannot be read.
std::optional<std::string> fileHash(const std::string& path);

} // namespace tv
