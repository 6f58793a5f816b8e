#pragma once

#include "engine/cache_index.h"
#include "engine/package_state.h"

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
    // Counts the scans: states worked out for one scan's rows fit no other.
    uint64_t generation() const { return m_generation; }
    // The package states of this generation's rows (in their order): a row
    // holding another version of an installed package is unticked. false
    // (nothing changed) when the rows are of another scan.
    bool setStates(uint64_t generation, PackagesFacts facts);
    // The packages row `i` needs that are not installed (in the cache or
    // missing); empty until the states came.
    const std::vector<NeededPackage>& lacking(size_t i) const;
    // Where needed packages were looked for (the states' search).
    const std::string& lookedIn() const { return m_facts.lookedIn; }
    void clearScanTable() { m_scanTable.clear(); }

    // What is wrong with row `i`'s package when it is damaged ("empty", "no
    // package header", "cut short at byte N of at least M", "its tables are
    // damaged: ..."); empty otherwise or until the states came.
    std::string damage(size_t i) const;

    // Ticks row `i` and the rows of the cached packages it needs (not those
    // on the never-move list, nor damaged packages or other versions); how
    // many were not ticked before.
    size_t tickNeeded(size_t i);

    // Never-move rows stay unticked: the run would not move them anyway;
    // damaged packages and other versions stay as they are (ticked only one
    // by one, by hand).
    void checkAll();
    // The ticked rows a run would move: neither never-move rows nor
    // packages the game has already (installed, identical).
    size_t toProcess() const;
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
    PackagesFacts m_facts; // of this generation's rows, or none
    uint64_t m_generation = 0;
};

} // namespace tv
