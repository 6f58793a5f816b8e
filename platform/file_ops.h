#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace tv {

// Moves a file without ever replacing one: fails (EEXIST) when the
// destination exists. Across file systems the file is copied into a
// temporary name in the destination folder, flushed, linked into place
// without replacing and only then removed from its old place: it is never
// missing from both, and no half-copied file carries the destination's name.
// false with `error` set (and `errorCode` the errno) when the move was not
// made; the source is then where it was.
bool moveNoReplace(const std::string& from, const std::string& to, std::string* error = nullptr,
                   int* errorCode = nullptr);

// Copies a file, replacing the destination (written to a temporary file
// first, so a failed copy leaves the old destination as it was).
bool copyReplace(const std::string& from, const std::string& to, std::string* error = nullptr);

// Creates one folder level; true when it exists afterwards.
bool makeFolder(const std::string& path, std::string* error = nullptr);

bool removeFile(const std::string& path, std::string* error = nullptr);

// Two regular files with the same bytes.
bool sameContent(const std::string& a, const std::string& b);
// Whether two paths lead to one file: `b` is a link, or both are names of
// the same inode. Deleting one of them then may take the other's bytes.
bool oneFile(const std::string& a, const std::string& b);

// Which file or folder a path is: its device and inode, the same for every
// spelling of it (a symlink, a trailing separator, "..", another letter case
// on a folder shared with Windows). A path that cannot be looked at has
// none (known false); two unknown identities are not the same.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;
    bool operator==(const FileIdentity& o) const {
        return known && o.known && device == o.device && inode == o.inode;
    }
};
FileIdentity fileIdentity(const std::string& path);
// The one notion of "the same folder" (or file): a key equal for every
// spelling of it, "device:inode", or (where it cannot be looked at) the path
// without a trailing separator.
std::string folderKey(const std::string& path);
bool sameFolder(const std::string& a, const std::string& b);
// The path with every link and "." or ".." resolved, for show; the path as
// given when it cannot be resolved.
std::string realPath(const std::string& path);

// A new file `to` made by `produce` (writing to the descriptor it is given):
// written under a temporary name beside it, flushed, and given its name only
// when `produce` succeeded, never replacing a file (one of that name in any
// letter case counts: "<to> exists already"). Nothing is left on failure.
// `anyCaseChecked`: the caller has looked for the name in any letter case
// already (in a listing it keeps), so the folder is not listed again; the
// exact name is still never replaced.
bool writeNewFile(const std::string& to, std::string* error,
                  const std::function<bool(int fd, std::string* error)>& produce,
                  bool anyCaseChecked = false);

} // namespace tv
