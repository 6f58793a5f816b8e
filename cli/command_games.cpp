// tessvane-cli games: the installs found, numbered as --game N takes them.
#include "commands.h"

#include "games/game_install.h"
#include "platform/text_util.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  games                  lists the installs of the game found on this machine, one\n"
    "                         per line: number, game, kind, game folder, cache folder\n"
    "                         and entries of its cache index (tab-separated); --game N\n"
    "                         works on the Nth\n";

class Games : public GameCommand {
public:
    Games() : GameCommand("games", kUsage) {}

protected:
    // One line per install found: what --game N takes.
    int run(Context& c, ArgReader& args) const override {
        while (!args.done())
            args.unexpected(args.take());
        if (args.failed()) return kUsageError;
        const auto found = c.session.findInstalls();
        for (size_t i = 0; i < found.size(); ++i) {
            const GameInstall& in = found[i];
            const auto [cache, entries] = c.session.cacheOf(in);
            c.out << i + 1 << '\t' << gameName(in.game) << '\t' << kindName(in.kind) << '\t'
                  << escapeControls(in.gameFolder) << '\t' << escapeControls(cache) << '\t'
                  << entries << '\n';
        }
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
