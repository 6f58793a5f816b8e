// tessvane-cli run: moves the ticked files out of the cache as "&Run" does.
#include "commands.h"

#include "platform/text_util.h"

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

class Run : public GameCommand {
public:
    Run() : GameCommand("run", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        RunArgs r;
        if (!r.take(args) || !r.call.checkTypes(c.err)) return kUsageError;
        if (!c.start()) return c.status;
        c.session.changeSettings([&](Settings& s) { r.call.apply(s, c.err); });
        // A dry run reads only: no repair, no purge period, no lock file.
        const Outcome<ScanResult> scanned = c.session.scan({.readOnly = r.dryRun});
        if (const Refused* no = scanned.refused()) {
            c.session.tell(*no);
            return kNotDone;
        }
        // Named rows move whatever their state; otherwise other versions and
        // damaged packages stay, as in the window.
        if (r.only.empty()) c.session.fillStates();
        RunRequest request = r.only.empty() ? c.session.runRequest() : c.session.runRequest(r.only);
        request.dryRun = r.dryRun;
        const Outcome<RunResult> ran = c.session.run(request);
        if (const Refused* no = ran.refused()) c.session.tell(*no);
        if (!r.dryRun && ran.done()) c.printStatus();
        return exitStatus(ran);
    }
};

} // namespace

const Command& commandRun() {
    static const Run command;
    return command;
}

} // namespace tv::cli
