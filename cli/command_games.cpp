// tessvane-cli games: the installs found, numbered as --game N takes them.
#include "commands.h"
#include "json_output.h"

#include "games/game_install.h"
#include "platform/text_util.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  games [--json]         lists the installs of the game found on this machine, one\n"
    "                         per line: number, game, kind, game folder, cache folder\n"
    "                         and entries of its cache index (tab-separated; --json: one\n"
    "                         JSON document); --game N works on the Nth\n";

class Games : public GameCommand {
public:
    Games() : GameCommand("games", kUsage) {}

protected:
    // One line per install found: what --game N takes.
    int run(Context& c, ArgReader& args) const override {
        bool json = false;
        if (!takeOnlyJson(args, json)) return kUsageError;
        const auto found = c.session.findInstalls();
        Json list = Json::array();
        for (size_t i = 0; i < found.size(); ++i) {
            const GameInstall& in = found[i];
            const auto [cache, entries] = c.session.cacheOf(in);
            if (json) {
                Json one{
                    {"number", i + 1}, {"game", gameName(in.game)}, {"kind", kindName(in.kind)}};
                putName(one, "game_folder", in.gameFolder);
                putName(one, "cache_folder", cache);
                one["entries"] = entries;
                list.push_back(std::move(one));
                continue;
            }
            c.out << i + 1 << '\t' << gameName(in.game) << '\t' << kindName(in.kind) << '\t'
                  << escapeControls(in.gameFolder) << '\t' << escapeControls(cache) << '\t'
                  << entries << '\n';
        }
        if (json) printJson(c.out, Json{{"installs", std::move(list)}});
        if (found.empty()) c.err << "Tessvane: no install of UT2003 or UT2004 found.\n";
        return found.empty() ? kNotDone : kDone;
    }
};

} // namespace

const Command& commandGames() {
    static const Games command;
    return command;
}

} // namespace tv::cli
