#include "stock_seen.h"

#include "platform/text_io.h"

namespace tv {

namespace {

// One line per package: "<game folder>\t<name>\t<GUID>".
bool parse(const std::string& line, std::string& folder, std::string& name, std::string& guid) {
    const size_t a = line.find('\t');
    const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) return false;
    folder = line.substr(0, a);
    name = line.substr(a + 1, b - a - 1);
    guid = line.substr(b + 1);
    return true;
}

bool keepable(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

} // namespace

std::string stockSeenPath(const std::string& programFolder) {
    return joinPath(programFolder, "TessvaneStock.txt");
}

StockGuids readStockSeen(const std::string& file, const std::string& gameFolder) {
    StockGuids out;
    std::string folder, name, guid;
    for (const auto& line : readLines(file).value_or(std::vector<std::string>{}))
        if (parse(line, folder, name, guid) && folder == gameFolder) out.emplace(name, guid);
    return out;
}

bool rememberStockSeen(const std::string& file, const std::string& gameFolder,
                       const StockGuids& seen, std::string* error) {
    if (!keepable(gameFolder)) return true;
    const StockGuids kept = readStockSeen(file, gameFolder);
    std::vector<std::string> lines;
    for (const auto& [name, guid] : seen)
        if (!kept.count(name) && keepable(name) && keepable(guid))
            lines.push_back(gameFolder + '\t' + name + '\t' + guid);
    if (lines.empty()) return true;
    return appendLinesEndedBy(file, lines, "\n", error);
}

} // namespace tv
