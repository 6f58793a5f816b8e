#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// File access as the program needs it: 8-bit lines, CR LF on write, atomic
// replacement of rewritten files, and names looked up without regard to case.
namespace tv {

// Joins a folder and a name with one separator.
std::string joinPath(std::string_view folder, std::string_view name);

bool fileExists(const std::string& path);   // a regular file (or a link to one)
bool folderExists(const std::string& path); // a directory
std::optional<int64_t> fileSize(const std::string& path);
// Last-modified time in seconds since the epoch.
std::optional<int64_t> fileModified(const std::string& path);

// Splits 8-bit text into lines; CR LF and LF both end a line, a final line
// without an ending still counts.
std::vector<std::string> splitLines(std::string_view text);
// nullopt when the file cannot be opened or read.
std::optional<std::string> readFile(const std::string& path);
std::optional<std::vector<std::string>> readLines(const std::string& path);

// Writes content to a temporary file in the same folder, flushes it and renames
// it over `path`. The new file keeps the permissions (and, where allowed, the
// owner) of the file it replaces. On failure the old file is untouched and
// `error` (when given) says why.
bool writeFileAtomic(const std::string& path, std::string_view content,
                     std::string* error = nullptr);
// Each line followed by CR LF, written atomically.
bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines,
                      std::string* error = nullptr);
bool appendLineCrLf(const std::string& path, std::string_view line, std::string* error = nullptr);

// Finds `name` in `folder`: an exact match first, else the first entry whose
// name equals it ignoring letter case. Returns the full path of the match, or
// folder/name when there is none (so new files get the name as given).
std::string findInFolder(std::string_view folder, std::string_view name);
// Like findInFolder, but tells whether a match exists.
std::optional<std::string> lookupInFolder(std::string_view folder, std::string_view name);

// A snapshot of one folder's file names for many look-ups in a row.
class FolderIndex {
public:
    explicit FolderIndex(const std::string& folder);
    FolderIndex(const FolderIndex&) = delete; // m_exact points into m_names
    FolderIndex& operator=(const FolderIndex&) = delete;
    // The actual name of the entry matching `name` (exact first, then ignoring case).
    std::optional<std::string> find(std::string_view name) const;
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    std::vector<std::string> m_names; // in directory order
    std::unordered_set<std::string_view> m_exact;
    // Built on the first miss: most look-ups find their exact name.
    mutable std::unordered_map<std::string, std::string_view> m_folded; // upper-cased -> first name
    mutable bool m_foldedBuilt = false;
};

} // namespace tv
