// tessvane-cli run: moves the ticked files out of the cache as "&Run" does.
#include "commands.h"

#include "platform/text_util.h"

#include <algorithm>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  run [--select all | --types LIST] [--only NAME]... [--to DIR | --to-structured DIR]\n"
    "      [--backup | --no-backup] [--dry-run]\n"
    "      moves the ticked files as \"&Run\" does (other versions and damaged packages\n"
    "      stay), or exactly the rows named by --only;\n"
    "      --to: all into one folder, --to-structured: into another folder with the\n"
    "      game's structure; --dry-run prints the moves and writes nothing at all\n";

struct RunArgs {
    CallSettings call;
    std::vector<std::string> only;
    bool dryRun = false;

    bool take(ArgReader& args) {
        while (!args.done()) {
            std::string a = args.take(), v;
            if (call.takeSelection(a, args) || call.takeDestination(a, args))
                continue;
            else if (a == "--only") {
                if (args.value(a, "a name", v)) only.push_back(v);
            } else if (a == "--backup")
                call.backup = true;
            else if (a == "--no-backup")
                call.backup = false;
            else if (a == "--dry-run")
                dryRun = true;
            else
                args.unexpected(a);
        }
        return !args.failed();
    }
};

// --only ticks exactly the rows it names.
void tickOnly(FileList& list, const std::vector<std::string>& only) {
    for (size_t i = 0; i < list.size(); ++i)
        list.row(i).ticked = std::find(only.begin(), only.end(), list.rows()[i].text) != only.end();
}

class Run : public GameCommand {
public:
    Run() : GameCommand("run", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        RunArgs r;
        if (!r.take(args) || !r.call.checkTypes(c.err)) return kUsageError;
        // A dry run reads only: no repair, no purge period, no lock file.
        c.session.setDryRun(r.dryRun);
        if (!c.start()) return c.status;
        r.call.apply(c.session.settings(), c.err);
        if (!c.session.ScanCache()) return kNotDone;
        // Named rows move whatever their state; otherwise other versions and
        // damaged packages are unticked, as in the window.
        if (!r.only.empty())
            tickOnly(c.session.fileList(), r.only);
        else
            c.session.fillStates();
        if (!c.session.checkRunDestination()) return kNotDone;
        bool ran = c.session.runCommand(r.dryRun);
        if (!r.dryRun) c.printStatus();
        if (c.session.lastFailed()) return kFailed;
        if (!ran) return kNotDone;
        return c.session.lastRun().cacheIniFound ? kDone : kNotDone;
    }
};

} // namespace

const Command& commandRun() {
    static const Run command;
    return command;
}

} // namespace tv::cli
