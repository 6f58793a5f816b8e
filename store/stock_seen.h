#pragma once
// The GUIDs the game's own packages had when Tessvane first listed them, per
// game folder: a package of a stock name with another GUID later was put
// there over the game's own.

#include <string>
#include <unordered_map>

namespace tv {

using StockGuids = std::unordered_map<std::string, std::string>; // folded name -> GUID

// The file in the program folder that keeps them.
std::string stockSeenPath(const std::string& programFolder);

// Those of this game folder (none when the file is missing or unreadable).
StockGuids readStockSeen(const std::string& file, const std::string& gameFolder);

// Adds the names not kept yet for this game folder (a GUID once kept is
// never replaced); false with `error` when the file cannot be written. A
// folder whose name holds a tab or a line break is not kept.
bool rememberStockSeen(const std::string& file, const std::string& gameFolder,
                       const StockGuids& seen, std::string* error = nullptr);

} // namespace tv
