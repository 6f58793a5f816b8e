#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // Several announced at once (one write to the undo log instead of one each).
    virtual bool pendingAll(const std::vector<std::string>& paths, std::string* error) {
        for (const auto& p : paths)
            if (!pending(p, error)) return false;
        return true;
    }
    // A recorder may gather confirmations and write them together: by the
    // time flush() returns they are written (a pending record stands for a
    // file until then, so none is ever without one).
    virtual void written(const std::string& path, uint64_t size, const std::string& hash) = 0;
    virtual void withdrawn(const std::string& path) = 0;
    // A folder the installation made (to hold a file), so that taking it
    // back can remove the folder again once it is empty.
    virtual void madeFolder(const std::string& path) { (void)path; }
    virtual void flush() {}
};

} // namespace tv
