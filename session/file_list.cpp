#include "file_list.h"

namespace tv {

void FileList::replace(std::vector<FileRow> rows, std::vector<ScanTableEntry> table) {
    m_rows = std::move(rows);
    m_scanTable = std::move(table);
    ++m_generation;
}

bool FileList::setStates(uint64_t generation, const std::vector<PackageState>& states) {
    if (generation != m_generation || states.size() != m_rows.size()) return false;
    for (size_t i = 0; i < states.size(); ++i) {
        m_rows[i].state = states[i];
        // Moving another version would only keep it in the cache (the game
        // has one under that name); a damaged one the game cannot load.
        if (states[i] == PackageState::OtherVersion || states[i] == PackageState::Damaged)
            m_rows[i].ticked = false;
    }
    return true;
}

void FileList::checkAll() {
    for (auto& r : m_rows)
        r.ticked = !r.neverMove;
}

void FileList::uncheckAll() {
    for (auto& r : m_rows)
        r.ticked = false;
}

std::unordered_set<std::string> FileList::selectedNames() const {
    std::unordered_set<std::string> names;
    for (const auto& r : m_rows)
        if (r.ticked && !r.neverMove) names.insert(r.text);
    return names;
}

void FileList::applyChangedNeverMove(const NeverMoveList& list, const Settings& settings) {
    applyChangedNeverMoveList(m_rows, list, settings);
}

void FileList::markNeverMove(const NeverMoveList& list) {
    tv::markNeverMove(m_rows, list);
}

} // namespace tv
