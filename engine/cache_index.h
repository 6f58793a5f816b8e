#pragma once

#include "file_types.h"
#include "games/game_install.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

class FolderIndex;

class NeverMoveList;
struct Settings;

// Where the game keeps each kind of file, worked out by every scan and run.
struct CacheFolders {
    std::string gameFolder;
    // Where the type folders are: the player's folder (a native install's
    // ~/.ut2003), else the game folder.
    std::string userFolder;
    std::string cacheFolder;
    std::string cacheExt;
    std::string maps, textures, sounds, music, staticMeshes, animations;
    std::string system;
    std::string gameIni; // the live configuration, System/UT2003.ini (or UT2004.ini)
    std::string userIni; // System/User.ini
    // Every folder the game reads packages from (player's and game folder).
    std::vector<PackageFolder> packageFolders;

    // The game folder for a type (empty for unknown types).
    std::string folderFor(FileType type) const;
};

// The program's folder layout, section "Dirs" of Tessvane.ini.
std::string folderSettingsPath(const std::string& programFolder);

// Works out the folders of an install and the cache folder label: an empty
// label gets the cache folder the game's live configuration names
// ([Core.System] CachePath), else the player's folder + Tessvane.ini's
// CachePath, and is written back. The cache extension likewise comes from
// the game's configuration, else from Tessvane.ini.
CacheFolders workOutFolders(const std::string& programFolder, const GameInstall& install,
                            std::string& cacheDirLabel);

// The number of entries of the cache folder's index (0 when it has none or
// it cannot be read).
size_t cacheEntryCount(const CacheFolders& folders);

// One line of Cache.ini read as an entry.
struct CacheEntry {
    std::string key;        // the text before "=": identifier, with "-1" (or "-N") when present
    std::string name;       // the recorded file name
    std::string candidate1; // first cache-file name to try
    std::string candidate2; // second cache-file name to try
    bool missingExtension = false;
};

// Lines of 10 characters or fewer are no entries (nullopt).
std::optional<CacheEntry> parseCacheLine(std::string_view line, std::string_view cacheExt);

// "<cache>/Cache.ini was renamed to cachebak.ini", naming the files as they
// are spelled in the cache folder: the old index kept, a new one in its place.
std::string indexKeptLine(const std::string& cacheIni, const std::string& bakFile);

extern const char* const kMissingExtensionText;
extern const char* const kErrorMark;
// A recorded name that is no plain file name (empty, ".", "..", or holding a
// separator or NUL) is never moved: the File List shows this text before it.
extern const char* const kUnsafeNameText;

// What a cached package is beside the game's own files.
enum class PackageState {
    Unknown,      // not worked out (yet), or its files cannot be read
    New,          // no file of that name in the game's folder for its type
    Installed,    // a file of that name holds the same package (same GUID)
    Identical,    // ... and the same bytes
    OtherVersion, // a file of that name holds another package
    Damaged,      // empty, or a package type without a package header
};

// A row of the File List.
struct FileRow {
    std::string text;      // the name, or the missing-extension error text
    int64_t modified = -1; // last change of the cache file; -1 when no file
    bool ticked = false;
    bool neverMove = false;                     // shown red with "True" in "Never Move?"
    PackageState state = PackageState::Unknown; // "State", worked out after the scan

    // The last change as the list shows it, or empty when no file: written
    // when shown, not for every row of a scan.
    std::string date() const;
};

struct ScanTableEntry {
    std::string candidate;  // first cache-file candidate
    std::string name;       // recorded name (without the error text)
    std::string candidate2; // second cache-file candidate
    // The cache file the scan found (empty: none) and its size then.
    std::string file;
    int64_t size = -1;
};

// Reads the entries of Cache.ini into rows and the scan table; true when any
// entry lacks an extension.
bool readCacheIndex(const std::vector<std::string>& lines, const CacheFolders& folders,
                    std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table);
// The same in two steps, for a cache folder listed meanwhile: the entries
// read into rows and table (true when one lacks an extension), then each
// new entry's cache file found in the listing and asked for its date and
// size.
bool parseCacheIndex(const std::vector<std::string>& lines, const CacheFolders& folders,
                     std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table);
void findCacheFiles(const CacheFolders& folders, const FolderIndex& cacheFolder,
                    std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table,
                    size_t firstRow);

// A cache folder's Cache.ini, read while the folder is listed on a helper
// thread: `parse` gets the lines as soon as they are read under a name the
// games write, and once more (after `discard`) when the listing shows the
// index under another name. The listing serves for the files too.
struct ListedCacheIndex {
    std::unique_ptr<FolderIndex> folder; // the cache folder as listed
    std::string path;                    // the index; empty when there is none (or no file)
    bool read = false;                   // false with a path: present but unreadable
};
ListedCacheIndex readListedCacheIndex(const std::string& cacheFolder,
                                      const std::function<void(std::vector<std::string>&)>& parse,
                                      const std::function<void()>& discard);

// The entries of a cache folder's index with their files found, as a scan
// reads them, without a scan's other work; empty without an index.
std::vector<ScanTableEntry> readCacheEntries(const CacheFolders& folders);

// The selection rules.
void tickBySelection(std::vector<FileRow>& rows, const Settings& settings);
// Applies the never-move list: matching rows are marked and unticked.
void markNeverMove(std::vector<FileRow>& rows, const NeverMoveList& list);
// Every rule of a scan on freshly read rows: the selection's ticks, the
// never-move marks, duplicated names and error entries unticked.
void applySelectionRules(std::vector<FileRow>& rows, const NeverMoveList& list,
                         const Settings& settings);
// A saved never-move list applied to rows the user may have ticked by hand:
// rows it now matches are marked and unticked; rows it no longer matches get
// the tick a scan would give them; every other row keeps its tick.
void applyChangedNeverMoveList(std::vector<FileRow>& rows, const NeverMoveList& list,
                               const Settings& settings);
// Every row whose text (ignoring case) equals a text that occurs twice exactly is unticked.
void uncheckDuplicates(std::vector<FileRow>& rows);
void uncheckErrorEntries(std::vector<FileRow>& rows);
size_t countTicked(const std::vector<FileRow>& rows);
// "Found n files to process", singular for 0 and 1.
std::string foundText(size_t n);

} // namespace tv
