#pragma once

#include "cache_index.h"
#include "destinations.h"
#include "run_log.h"
#include "work_sink.h"

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

class UndoLog;

struct RunResult {
    bool cacheIniFound = false;
    int moved = 0;
    struct Moved {
        FileType type;
        std::string destination;
    };
    std::vector<Moved> movedFiles; // where each file moved went (not in a dry run)
    // Kept: a file of that name is at the destination, or in another folder
    // the game reads packages from (a copy would shadow it): that file.
    std::vector<std::string> existing;
    std::vector<std::string> failures; // moves, log lines that could not be made, with the reason
    std::string undoError;             // the undo log could not take the moves
    std::string indexError;            // Cache.ini could not be rewritten
    bool indexWritten = false;         // a new Cache.ini is in place
    bool stopped = false;              // ended early because it was asked to
    bool backupFailed = false;         // the backup before it could not be made whole
    size_t movesDone = 0, movesPlanned = 0; // moves carried out (or tried) of those planned
    // Something the user asked for was not done (a destination that exists
    // already is the normal outcome, not a failure).
    bool failed() const {
        return !failures.empty() || !undoError.empty() || !indexError.empty() || backupFailed;
    }
    // Nothing was looked at: no Cache.ini, or stopped before the first move.
    bool nothingDone() const { return !cacheIniFound; }
};

// Why a package whose name is taken stayed in the cache, as a Status line
// ("identical package already installed", "another version of <name> is
// installed; kept in the cache"); empty when its state says nothing.
std::string whyKept(PackageState state, const std::string& name);

// "Stopped after <n> of <N>; the rest stays in the cache"
std::string stoppedRunText(const RunResult& result);

// "**OLD** <cache file>  ---->  **NEW** <destination>"
std::string moveLine(const std::string& cacheFile, const std::string& destination);

// Moves the cache files of the Cache.ini lines whose recorded name is in
// `selection` to their destinations, writes the run log, keeps the old index
// as cachebak.ini and writes the new Cache.ini with every line that stayed.
// A move that the file system refuses, or whose destination exists under
// any letter case, keeps its line.
//
// No file is ever at its destination without its undo record: the records of
// the next batch of moves are committed before the moves are made, and the
// records of moves that were then not made are deleted in the next
// transaction (the undo drops a record whose file is still in the cache).
// `undo` must be open and in a write transaction (beginWrite) unless this is
// a dry run; the caller holds the operation lock.
//
// `sink` hears each Status line and the moves done after each batch, and is
// asked before each batch whether to stop: what moved stays moved with its
// records, the rest stays in the cache with its lines, and Cache.ini is
// rewritten for what moved.
RunResult RunCache(const CacheFolders& folders, const std::unordered_set<std::string>& selection,
                   const std::vector<ScanTableEntry>& scanTable, const RunOptions& options,
                   UndoLog* undo, const std::string& programFolder, const WorkSink& sink);

} // namespace tv
