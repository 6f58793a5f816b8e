#pragma once

#include <string>
#include <vector>

namespace tv {

struct UndoRecord {
    std::string MoveDate;
    std::string OldFName;
    std::string NewFName;
};

// Creates an undo log with its empty table Undo (MoveDate, OldFName, NewFName).
bool createUndoDatabase(const std::string& path, std::string* error = nullptr);

// Every record in the order the database returns them; false when the log
// cannot be opened or read.
bool readUndoRecords(const std::string& path, std::vector<UndoRecord>& out,
                     std::string* error = nullptr);

// The undo log's file in the program folder.
std::string undoDatabasePath(const std::string& programFolder);

} // namespace tv
