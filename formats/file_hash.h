#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tv {

// A file's bytes as a short text ("crc32:1A2B3C4D"), read a piece at a
// time: enough to tell a file changed since it was installed. nullopt when
// it cannot be read.
std::optional<std::string> fileHash(const std::string& path);

// The same text of bytes given a piece at a time (as they are written).
class RunningHash {
public:
    void add(const char* data, size_t size);
    std::string text() const;

private:
    unsigned long m_crc = 0;
};

} // namespace tv
