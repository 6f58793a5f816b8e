#pragma once

#include "cache_index.h"
#include "file_types.h"

#include <string>

namespace tv {

// Where a run (or an installation) puts files: the game's type folders, one
// folder, or another folder with the game's structure.
struct RunOptions {
    enum class Mode { Norm, Dir, Dir2 };
    Mode mode = Mode::Norm;
    std::string moveDir;  // one folder, no subfolders
    std::string moveDir2; // another folder with the game's structure
    bool dryRun = false;  // report the moves, touch nothing
    std::string moveDate; // the day recorded with each move
};

// folder/name when `name` is a plain file name and the result lies directly
// inside `folder`, whatever the name holds; empty otherwise.
std::string fileDirectlyIn(const std::string& folder, const std::string& name);

// The destination of a file of this type and name: always directly inside
// the type's destination folder. Empty for unknown types and for names that
// are no plain file names.
std::string destinationFor(FileType type, const std::string& name, const CacheFolders& folders,
                           const RunOptions& options);

// The folder a file of this type goes to (empty for unknown types).
std::string destinationFolderFor(FileType type, const CacheFolders& folders,
                                 const RunOptions& options);

} // namespace tv
