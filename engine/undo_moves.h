#pragma once

#include "work_sink.h"

#include <string>
#include <string_view>
#include <vector>

namespace tv {

class UndoLog;

struct UndoResult {
    int undone = 0;                    // files moved back into the cache
    int dropped = 0;                   // records whose file was gone
    std::vector<std::string> failures; // records left in place, with the reason
    std::string undoError;             // the undo log could not be written
    bool stopped = false;              // ended early because it was asked to
    size_t done = 0, planned = 0;      // files taken back (or tried) of those planned
    bool failed() const { return !failures.empty() || !undoError.empty(); }
};

// Whether `name` is a cache file's name: a 32-character identifier, an
// optional "-N", a dot and the cache extension (any letter case).
bool isCacheFileName(std::string_view name, const std::string& cacheExt);

// The Cache.ini line the undo writes back for a move of the cache file
// `cacheFileName` to a file named `name`: "<cache file's name without its
// extension>=<name>".
std::string rebuiltIndexLine(std::string_view cacheFileName, std::string_view name);

// Moves the files of the records with these new paths back into the cache.
// A record is followed only when its old path is a cache file's name directly
// in a folder that holds a Cache.ini (or in `cacheFolder`) and its new path
// is a regular file; any other record is left in place and reported. The
// line a run kept with a record goes back as it was (when it still names
// that file and package), else the rebuilt one.
//
// The order keeps every package findable whenever the program is killed: the
// Cache.ini lines are appended and flushed first, then the files are moved
// back, then the records are deleted in one transaction (a record whose file
// is back in the cache is dropped by the next undo). A line whose file then
// could not be moved back is taken out of Cache.ini again.
//
// `undo` must be open and in a write transaction (beginWrite); the caller
// holds the operation lock. `sink` receives the lines for the Status list and
// how many files are back, and is asked before each file whether to stop:
// the files not yet back keep their records and lose their new lines.
//
// A record is followed only out of a folder Tessvane moves into: one of
// `gameFolders` (the game's type folders, found in any letter case) or a
// folder the undo log remembers a run moving into; and only for a file of a
// type a run moves. Any other record is left and reported.
UndoResult undoMoves(UndoLog& undo, const std::vector<std::string>& newNames,
                     const std::string& cacheFolder, const std::string& cacheExt,
                     const std::vector<std::string>& gameFolders, const WorkSink& sink);

} // namespace tv
