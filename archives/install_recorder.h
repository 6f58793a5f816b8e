#pragma once

#include <cstdint>
#include <string>

namespace tv {

// Where an installation records the files it puts into the game, ahead of
// writing them, so that one killed part-way can still be taken back: each
// file is announced before its bytes are written (false: it must not be
// written; `error` says why), then confirmed once it is whole with the size
// and hash (fileHash's text) of the bytes written, or withdrawn when it was
// not written after all.
class InstallRecorder {
public:
    virtual ~InstallRecorder() = default;
    virtual bool pending(const std::string& path, std::string* error) = 0;
    virtual void written(const std::string& path, uint64_t size, const std::string& hash) = 0;
    virtual void withdrawn(const std::string& path) = 0;
};

} // namespace tv
