#pragma once

#include "engine/cache_index.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace tv {

struct Settings;

// The File List: the rows a scan found, with their ticks and never-move
// marks, and the scan table a run reports what stayed from. The rows keep
// Cache.ini's order; a view sorts them in an order of its own.
class FileList {
public:
    const std::vector<FileRow>& rows() const { return m_rows; }
    size_t size() const { return m_rows.size(); }
    // One row, to tick or untick by hand.
    FileRow& row(size_t i) { return m_rows[i]; }
    const std::vector<ScanTableEntry>& scanTable() const { return m_scanTable; }

    // A scan's result, in one step.
    void replace(std::vector<FileRow> rows, std::vector<ScanTableEntry> table);
    void clearScanTable() { m_scanTable.clear(); }

    // Never-move rows stay unticked: the run would not move them anyway.
    void checkAll();
    void uncheckAll();
    size_t ticked() const { return countTicked(m_rows); }
    // The names a run moves: the texts of the ticked rows that are not on
    // the never-move list.
    std::unordered_set<std::string> selectedNames() const;

    // The never-move list changed: marks, and the ticks of released rows.
    void applyChangedNeverMove(const NeverMoveList& list, const Settings& settings);
    // A name was added to the never-move list: only the marks change.
    void markNeverMove(const NeverMoveList& list);

private:
    std::vector<FileRow> m_rows;
    std::vector<ScanTableEntry> m_scanTable;
};

} // namespace tv
