#include "file_list.h"

namespace tv {

void FileList::replace(std::vector<FileRow> rows, std::vector<ScanTableEntry> table) {
    m_rows = std::move(rows);
    m_scanTable = std::move(table);
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
