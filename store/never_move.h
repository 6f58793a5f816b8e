#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tv {

// One row name against one never-move entry: an entry with "*" matches names
// that begin with the text before its first "*"; any other entry matches the
// whole name. Both ignore letter case.
bool neverMoveMatches(std::string_view rowName, std::string_view entry);

// The never-move list: TessvaneDontMove.ini, one entry per line.
class NeverMoveList {
public:
    // Reads the file; a missing file leaves the list empty (false).
    bool load(const std::string& file);
    void setEntries(std::vector<std::string> entries);
    const std::vector<std::string>& entries() const { return m_entries; }
    // True when any entry matches; costs one look-up per distinct prefix length.
    bool matches(std::string_view rowName) const;

private:
    void compile();
    std::vector<std::string> m_entries;
    std::unordered_set<std::string> m_whole;                              // upper-cased
    std::unordered_map<size_t, std::unordered_set<std::string>> m_prefix; // length -> prefixes
};

// The list's file in the program folder.
std::string neverMoveFilePath(const std::string& programFolder);

} // namespace tv
