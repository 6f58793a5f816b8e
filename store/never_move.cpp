#include "never_move.h"

#include "platform/text_io.h"
#include "platform/text_util.h"

namespace tv {

bool neverMoveMatches(std::string_view rowName, std::string_view entry) {
    size_t star = entry.find('*');
    if (star == std::string_view::npos) return equalsNoCase(rowName, entry);
    if (rowName.size() < star) return false;
    return equalsNoCase(rowName.substr(0, star), entry.substr(0, star));
}

bool NeverMoveList::load(const std::string& file) {
    auto lines = readLines(file);
    m_entries = lines ? std::move(*lines) : std::vector<std::string>{};
    compile();
    return lines.has_value();
}

void NeverMoveList::setEntries(std::vector<std::string> entries) {
    m_entries = std::move(entries);
    compile();
}

void NeverMoveList::compile() {
    m_whole.clear();
    m_prefix.clear();
    for (const auto& e : m_entries) {
        size_t star = e.find('*');
        if (star == std::string::npos)
            m_whole.insert(toUpper(e));
        else
            m_prefix[star].insert(toUpper(std::string_view(e).substr(0, star)));
    }
}

bool NeverMoveList::matches(std::string_view rowName) const {
    std::string upper = toUpper(rowName);
    if (m_whole.count(upper)) return true;
    for (const auto& [len, prefixes] : m_prefix) {
        if (upper.size() < len) continue;
        if (prefixes.count(upper.substr(0, len))) return true;
    }
    return false;
}

std::string neverMoveFilePath(const std::string& programFolder) {
    return findInFolder(programFolder, "TessvaneDontMove.ini");
}

} // namespace tv
