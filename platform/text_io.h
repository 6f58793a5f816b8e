#pragma once

#include "text_util.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// File access as the program needs it: 8-bit lines, CR LF on write, atomic
// replacement of rewritten files, and names looked up without regard to case.
namespace tv {

class FolderIndex;

// Joins a folder and a name with one separator.
std::string joinPath(std::string_view folder, std::string_view name);

// A name that stays in the folder it is joined to: not empty, not "." or
// "..", and without "/", "\\" or NUL. Names read from the game's files, the
// undo log or an archive are checked with it before they become paths.
bool isPlainFileName(std::string_view name);
// folder/name when `name` is a plain file name, else nullopt.
std::optional<std::string> joinPlain(std::string_view folder, std::string_view name);
// A path as a whole path against the current folder (lexically normal,
// without a trailing separator): a folder or archive named relative to where
// a program was started must not land, or be recorded, relative.
std::string wholePath(const std::string& path);
// The last component of a path.
std::string fileNameOf(std::string_view path);
// The path without its last component (and the separator before it).
std::string folderOf(std::string_view path);
// The same two as views into `path`.
std::string_view fileNamePart(std::string_view path);
std::string_view folderPart(std::string_view path);

bool fileExists(const std::string& path);    // a regular file (or a link to one)
bool isRegularFile(const std::string& path); // a regular file itself, not a link
bool isSymlink(const std::string& path);
bool folderExists(const std::string& path); // a directory
std::optional<int64_t> fileSize(const std::string& path);
// Last-modified time in seconds since the epoch.
std::optional<int64_t> fileModified(const std::string& path);

// Splits 8-bit text into lines; CR LF and LF both end a line, a final line
// without an ending still counts.
std::vector<std::string> splitLines(std::string_view text);
// A whole text file: nullopt when it cannot be opened or read, is no
// regular file (a FIFO, a device, a folder) or is larger than the cap.
constexpr uint64_t kMaxTextFileBytes = uint64_t{256} << 20;
std::optional<std::string> readFile(const std::string& path);
std::optional<std::vector<std::string>> readLines(const std::string& path);

// Writes content to a temporary file in the same folder, flushes it and renames
// it over `path`. The new file keeps the permissions (and, where allowed, the
// owner) of the file it replaces; a symbolic link at `path` is replaced, never
// written through. On failure the old file is untouched and `error` (when
// given) says why. A temporary file left by a killed program is removed by
// removeLeftovers().
bool writeFileAtomic(const std::string& path, std::string_view content,
                     std::string* error = nullptr);
// Gives the file `from` the second name `to`: the same bytes without a
// copy, put in place in one step (what was at `to`, a link too, is replaced,
// never written through). Not durable until the folder is flushed (as
// writeFileAtomic does for the next file it writes there). False where the
// file system has no hard links, with nothing changed.
bool linkReplacing(const std::string& from, const std::string& to, std::string* error = nullptr);
// The line end of a file as it is: "\n" when its first line ends in a bare LF,
// else (CR LF, no line end yet, no file) "\r\n".
std::string_view lineEndOf(const std::string& path);
// Each line followed by the line end the file had (CR LF for a new file),
// written atomically.
bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      std::string* error = nullptr);
// The same with the line end given.
bool writeLinesEndedBy(const std::string& path, const std::vector<std::string>& lines,
                       std::string_view end, std::string* error = nullptr);
// Appends each line followed by CR LF, flushed to the disk before it returns.
// A symbolic link at `path` is replaced by a file with its text and the new
// lines, never written through.
bool appendLinesCrLf(const std::string& path, const std::vector<std::string>& lines,
                     std::string* error = nullptr);
bool appendLineCrLf(const std::string& path, std::string_view line, std::string* error = nullptr);
// The same with another line end (the one the file has: lineEndOf).
bool appendLinesEndedBy(const std::string& path, const std::vector<std::string>& lines,
                        std::string_view end, std::string* error = nullptr);

// Reads up to `size` bytes, across short reads: what was read, 0 at the end,
// -1 on an error.
ssize_t readFull(int fd, void* buf, size_t size);
// Writes all of `data`, across short writes; false on an error.
bool writeAll(int fd, std::string_view data);

// A new file for writing that replaces `path` at once: made under a temporary
// name, flushed, then renamed into place, so a link or hard link named `path`
// is never written through. The descriptor is open for writing (-1 on failure).
int createReplacing(const std::string& path, std::string* error = nullptr);

// A temporary file in `folder` that removeLeftovers() recognises; its path
// goes to `tmpPath`. -1 on failure with errno set.
int createTemporaryIn(const std::string& folder, std::string_view stem, std::string& tmpPath);
// Removes the temporary files that a killed program may have left in `folder`
// (regular files only); the number removed.
int removeLeftovers(const std::string& folder);
// The same, from the folder's names as listed already.
int removeLeftovers(const FolderIndex& listed);
// Only those a killed atomic write of `path` left beside it.
int removeLeftoversOf(const std::string& path);

// Finds `name` in `folder`: an exact match first, else the first entry whose
// name equals it ignoring letter case. Returns the full path of the match, or
// folder/name when there is none (so new files get the name as given).
std::string findInFolder(std::string_view folder, std::string_view name);
// Like findInFolder, but tells whether a match exists.
std::optional<std::string> lookupInFolder(std::string_view folder, std::string_view name);

// Calls `each` with the name of every entry of `folder` (not "." and "..");
// nothing when it cannot be read.
void listFolder(const std::string& folder, const std::function<void(std::string_view)>& each);

// Hashes and compares names ignoring letter case as upper8 folds it. Two
// bytes upper8 takes for the same differ at most in bit 0x20, so the hash
// clears that bit and takes eight bytes at a step.
struct FoldedHash {
    size_t operator()(std::string_view s) const {
        constexpr uint64_t kFold = 0xDFDFDFDFDFDFDFDFull;
        constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
        uint64_t h = s.size() * kMul;
        size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            uint64_t v;
            std::memcpy(&v, s.data() + i, 8);
            h = (h ^ (v & kFold)) * kMul;
            h ^= h >> 29;
        }
        uint64_t tail = 0;
        for (size_t k = 0; i < s.size(); ++i, k += 8)
            tail |= static_cast<uint64_t>(static_cast<unsigned char>(s[i]) & 0xDF) << k;
        h = (h ^ tail) * kMul;
        return static_cast<size_t>(h ^ (h >> 32));
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const;
};

// A snapshot of one folder's file names for many look-ups in a row.
class FolderIndex {
public:
    // What the folder's listing says an entry is.
    enum class Kind : uint8_t { File, NotFile, Uncertain /* a link, or untyped */ };
    struct Entry {
        std::string_view name; // the actual name, a whole string: data() ends in a NUL
        Kind kind;
    };

    explicit FolderIndex(const std::string& folder);
    FolderIndex(const FolderIndex&) = delete; // the entries point into m_names
    FolderIndex& operator=(const FolderIndex&) = delete;
    // The entry matching `name` (exact first, then ignoring case), or null;
    // valid as long as the index.
    const Entry* entry(std::string_view name) const;
    // The entry named exactly `name`, or null.
    const Entry* exact(std::string_view name) const;
    // The actual name of the entry matching `name` (exact first, then ignoring case).
    std::optional<std::string> find(std::string_view name) const;
    // Whether an entry matches `name` ignoring case.
    bool containsNoCase(std::string_view name) const { return m_folded.count(name) > 0; }
    // Whether the entry `name` (an actual name) is a regular file or a link
    // to one: known from the folder's listing, asked of the file system
    // only when the listing does not tell.
    bool isFile(const std::string& name) const;
    bool isFile(const Entry& e) const;
    // A name that came into the folder after the snapshot.
    void insert(std::string_view name);
    const std::string& folder() const { return m_folder; }
    // Every name, in the folder's order (those inserted last).
    const std::deque<std::string>& names() const { return m_names; }

private:
    // Takes a name that m_names holds.
    void add(std::string_view name, Kind kind);

    std::string m_folder;
    std::deque<std::string> m_names; // in directory order; a deque keeps views valid
    // Each name ignoring case -> the first entry of that spelling.
    std::unordered_map<std::string_view, Entry, FoldedHash, FoldedEqual> m_folded;
    // The entries a first one stands for, by actual name.
    std::unordered_map<std::string_view, Entry> m_variants;
};

// The folder indexes of several folders, each read on first use and kept up
// to date by the caller (insert), so that many look-ups in a folder that
// fills up cost one read of it.
class FolderIndexCache {
public:
    FolderIndex& of(const std::string& folder);

private:
    std::unordered_map<std::string, std::unique_ptr<FolderIndex>> m_folders;
};

// A folder listed on a helper thread while the caller reads and parses
// something else; `take` waits for the listing. Without a thread to be had
// (or memory on it), the listing is made when it is taken.
class FolderListingAhead {
public:
    explicit FolderListingAhead(std::string folder);
    ~FolderListingAhead();
    FolderListingAhead(const FolderListingAhead&) = delete;
    FolderListingAhead& operator=(const FolderListingAhead&) = delete;
    // The listing; taken once.
    std::unique_ptr<FolderIndex> take();

private:
    void wait();

    std::string m_folder;
    std::unique_ptr<FolderIndex> m_listed;
    std::thread m_thread;
};

} // namespace tv
