#pragma once

#include "cache_index.h"

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

class UndoLog;

// Where a run reports as it goes: each line of the Status list as it is
// added, and a chance to keep the window painting after every Cache.ini line.
struct RunSink {
    std::function<void(const std::string&)> statusLine;
    std::function<void()> yield;
};

struct RunOptions {
    enum class Mode { Norm, Dir, Dir2 };
    Mode mode = Mode::Norm;
    std::string moveDir;  // one folder, no subfolders
    std::string moveDir2; // another folder with the game's structure
    bool dryRun = false;  // report the moves, touch nothing
};

struct RunResult {
    bool cacheIniFound = false;
    int moved = 0;
    std::vector<std::string> refused; // moves the file system refused, with the reason
    std::string undoError;            // the undo log could not take the moves
    std::string indexError;           // Cache.ini could not be rewritten
};

// "**OLD** <cache file>  ---->  **NEW** <destination>"
std::string moveLine(const std::string& cacheFile, const std::string& destination);

// The destination of a file of this type and name, or empty for unknown types.
std::string destinationFor(FileType type, const std::string& name, const CacheFolders& folders,
                           const RunOptions& options);

// Moves the cache files of the Cache.ini lines whose recorded name is in
// `selection` to their destinations, records each move that was made in the
// undo log (in one transaction), writes the run log, keeps the old index as
// cachebak.ini and writes the new Cache.ini with every line that stayed.
// A move that the file system refuses keeps its line.
RunResult RunCache(const CacheFolders& folders, const std::unordered_set<std::string>& selection,
                   const std::vector<ScanTableEntry>& scanTable, const RunOptions& options,
                   UndoLog* undo, const std::string& programFolder, const RunSink& sink);

// The run log, Tessvane.log in the program folder.
std::string runLogPath(const std::string& programFolder);

} // namespace tv
