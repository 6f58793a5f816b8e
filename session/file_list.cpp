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

namespace {

// Rows a tick of many at once leaves as they are: another version would
// only stay in the cache, a damaged package the game cannot load.
bool tickedOnlyByHand(const FileRow& r) {
    return r.state == PackageState::OtherVersion || r.state == PackageState::Damaged;
}

} // namespace

size_t FileList::tickNeeded(size_t i) {
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> wanted;
    for (const auto& p : lacking(i))
        if (p.where == NeededPackage::Where::Cache) wanted.insert(p.cacheName);
    size_t ticked = 0;
    auto tick = [&](FileRow& r) {
        if (r.ticked || r.neverMove || tickedOnlyByHand(r)) return;
        r.ticked = true;
        ++ticked;
    };
    // The map itself goes with what it needs.
    if (i < m_rows.size()) tick(m_rows[i]);
    for (auto& r : m_rows)
        if (wanted.count(r.text)) tick(r);
    return ticked;
}

void FileList::checkAll() {
    for (auto& r : m_rows)
        if (!tickedOnlyByHand(r)) r.ticked = !r.neverMove;
}

std::string FileList::damage(size_t i) const {
    return i < m_facts.entries.size() ? m_facts.entries[i].damage : std::string();
}

size_t FileList::toProcess() const {
    size_t n = 0;
    for (const auto& r : m_rows)
        n += r.ticked && !r.neverMove && r.state != PackageState::Identical &&
             r.state != PackageState::Installed;
    return n;
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
