#pragma once
// What the session's own files share and nobody else uses.

#include "engine/destinations.h"
#include "engine/work_sink.h"
#include "operation.h"

#include <optional>
#include <string>

namespace tv {

class UndoLog;

// The undo log open and locked for writing; refused (with what was not done)
// when it cannot be.
std::optional<Refused> openUndoForWriting(UndoLog& undo, const std::string& database,
                                          const std::string& nothingDone);

// The destination folders of these options made: the chosen folder and,
// with the game's structure, its subfolders (each said); refused when one
// cannot be made.
std::optional<Refused> prepareDestinationFolders(const RunOptions& options, const WorkSink& sink,
                                                 const std::string& nothingDone);

} // namespace tv
