#pragma once
// Every package the game reads and every download of its cache, with where
// each came from and what uses it: listed at once from the folders and the
// undo log, then read (GUIDs, imports, music, titles) in a second pass.

#include "cache_index.h"
#include "games/game_install.h"
#include "store/undo_log.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tv {

enum class Origin {
    Stock,     // shipped with the game
    Moved,     // moved out of the cache by a run (the undo log says when)
    Installed, // put there by an archive installation
    Found,     // none of these: copied in by hand, another tool, ...
    Cache,     // a download in the cache, not installed
};
// "stock", "moved", "installed", "found", "cache": the words of --origin
// and of JSON.
const char* originName(Origin origin);
std::optional<Origin> originFromName(std::string_view name);

// The word of a type for --type and JSON: "map", "texture", "music",
// "sound", "staticmesh", "animation", "localisation", "demo", "code".
const char* typeName(FileType type);
std::optional<FileType> typeFromName(std::string_view name);

struct LibraryEntry {
    std::string name; // the file's own name ("DM-Foo.ut2"); a download's recorded name
    std::string path; // where it is (a download: its cache file)
    FileType type = FileType::Unknown;
    int64_t size = -1, modified = -1;
    Origin origin = Origin::Found;
    std::string originDate; // Moved, Installed: the day of the record
    std::string archive;    // Installed: the archive's path

    // Filled by the second pass.
    bool read = false;    // the pass reached it
    bool damaged = false; // a package type without a readable package
    std::string guid;     // 32 hexadecimal digits; empty for no package
    // An installed package beside the download of the same name in the
    // cache (a download: beside the installed package of its name).
    enum class Beside { Nothing, Same, Other } beside = Beside::Nothing;
    std::vector<std::string> needs; // the packages it imports
    std::string song;               // a map: the music it plays
    std::string title;              // a map: its title
    // What uses it: the entries (of the same list) that import it or play
    // it, and whether the server sends it or the editor loads it.
    std::vector<size_t> users;
    bool serverPackage = false, editPackage = false;

    bool inCache() const { return origin == Origin::Cache; }
    // "moved from the cache on <date>", "installed from <archive> on <date>", ...
    std::string originText() const;
    // "the cache holds the same one", "the cache holds another version", ...
    std::string besideText() const;
};

// What the library is made from.
struct LibrarySources {
    GameInstall install;
    CacheFolders folders;
    std::vector<UndoRecord> moves;
    std::vector<Installation> installations;
    // The GUIDs stock packages had when first seen, by name folded to lower
    // case: a package of a stock name with another GUID was replaced.
    std::unordered_map<std::string, std::string> stockSeen;
};

// Every package file in the folders of Paths= (in the game's order, a name
// the game reads twice listed twice), then every download of the cache with
// its file; with type, size, date and origin. Reads folder listings and the
// files' sizes only.
std::vector<LibraryEntry> listLibrary(const LibrarySources& sources);

// The second pass: each package's header, imports and (maps) title and
// music; stock origins checked against the GUIDs first seen; what is beside
// each in the cache; what uses each. `stop` is asked between files: entries
// not reached stay unread (and the users worked out from those read).
void readLibraryFacts(std::vector<LibraryEntry>& entries, const LibrarySources& sources,
                      const std::function<bool()>& stop = {});

// What uses what, worked out again from the entries' needs and songs and the
// configuration's ServerPackages= and EditPackages= (a line commented out
// with "//" is none).
void workOutUsers(std::vector<LibraryEntry>& entries, const CacheFolders& folders);

// The names of the entries that use `e`, a download's marked "(cache)".
std::vector<std::string> usedBy(const std::vector<LibraryEntry>& entries, const LibraryEntry& e);

// The GUIDs of the stock packages among `entries` (read), by folded name:
// what `stockSeen` holds the next time.
std::unordered_map<std::string, std::string> stockGuids(const std::vector<LibraryEntry>& entries);

} // namespace tv
