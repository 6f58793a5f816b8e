#include "file_list.h"

namespace tv {

void FileList::replace(std::vector<FileRow> rows, std::vector<ScanTableEntry> table) {
    m_rows = std::move(rows);
    m_scanTable = std::move(table);
    m_facts = {};
    ++m_generation;
}

bool FileList::setStates(uint64_t generation, PackagesFacts facts) {
    if (generation != m_generation || facts.entries.size() != m_rows.size()) return false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const PackageState state = facts.entries[i].state;
        m_rows[i].state = state;
        // Moving another version would only keep it in the cache (the game
        // has one under that name); a damaged one the game cannot load.
        if (state == PackageState::OtherVersion || state == PackageState::Damaged)
            m_rows[i].ticked = false;
    }
    m_facts = std::move(facts);
    return true;
}

const std::vector<NeededPackage>& FileList::lacking(size_t i) const {
    static const std::vector<NeededPackage> none;
    return i < m_facts.entries.size() ? m_facts.entries[i].lacking : none;
}

size_t FileList::tickNeeded(size_t i) {
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> wanted;
    for (const auto& p : lacking(i))
        if (p.where == NeededPackage::Where::Cache) wanted.insert(p.cacheName);
    size_t ticked = 0;
    for (auto& r : m_rows) {
        if (r.ticked || r.neverMove || !wanted.count(r.text)) continue;
        r.ticked = true;
        ++ticked;
    }
    return ticked;
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
