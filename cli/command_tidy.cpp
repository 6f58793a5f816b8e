// tessvane-cli tidy: duplicates, stale lines and orphans of the cache.
#include "commands.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  tidy [--duplicates] [--stale-lines] [--orphans] [--dry-run] [--yes]\n"
    "      tidies the cache (all three without a choice): deletes cache files whose\n"
    "      bytes equal the installed file of their name, with their lines; removes\n"
    "      lines whose cache file is gone; lists cache files no line names (--yes\n"
    "      deletes them); Cache.ini is kept as cachebak.ini; --dry-run writes nothing\n";

class Tidy : public GameCommand {
public:
    Tidy() : GameCommand("tidy", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        TidyOptions o;
        bool yes = false;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--duplicates")
                o.duplicates = true;
            else if (a == "--stale-lines")
                o.staleLines = true;
            else if (a == "--orphans")
                o.orphans = true;
            else if (a == "--dry-run")
                o.dryRun = true;
            else if (a == "--yes")
                yes = true;
            else
                args.unexpected(a);
        }
        if (args.failed()) return kUsageError;
        if (!o.duplicates && !o.staleLines && !o.orphans)
            o.duplicates = o.staleLines = o.orphans = true;
        o.deleteOrphans = o.orphans && yes;
        if (!c.start()) return c.status;
        // The tidy's last Status line is its summary: the status text would
        // only say it again.
        return c.finish(c.session.tidy({o, nullptr}));
    }
};

} // namespace

const Command& commandTidy() {
    static const Tidy command;
    return command;
}

} // namespace tv::cli
