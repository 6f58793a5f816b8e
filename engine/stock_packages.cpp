#include "stock_packages.h"

#include "platform/text_util.h"

#include <string>
#include <unordered_set>

namespace tv {

extern const char* const kStockUT2003;
extern const char* const kStockUT2004;

namespace {

using NameSet = std::unordered_set<std::string>;

NameSet namesOf(std::string_view list) {
    NameSet out;
    for (size_t at = 0; at < list.size();) {
        size_t end = list.find('\n', at);
        if (end == std::string_view::npos) end = list.size();
        if (end > at) out.insert(toLower(list.substr(at, end - at)));
        at = end + 1;
    }
    return out;
}

const NameSet& stockOf(Game game) {
    static const NameSet ut2003 = namesOf(kStockUT2003);
    static const NameSet ut2004 = namesOf(kStockUT2004);
    return game == Game::UT2003 ? ut2003 : ut2004;
}

} // namespace

bool isStockName(Game game, std::string_view fileName) {
    return stockOf(game).count(toLower(fileName)) > 0;
}

size_t stockNameCount(Game game) {
    return stockOf(game).size();
}

} // namespace tv
