// tessvane-cli scan: the File List as the window shows it after "&Scan".
#include "commands.h"
#include "json_output.h"

#include "engine/package_state.h"
#include "platform/text_util.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  scan [--select all | --types LIST] [--state] [--json]\n"
    "      lists the cache as the File List shows it: ticked (1/0), name, date and\n"
    "      never-move mark (and with --state the package's state: new, installed,\n"
    "      identical, other version or damaged), then the status text; --json: the\n"
    "      same as one JSON document\n";

// The rows and the status text as one document.
Json scanDocument(Context& c, bool states) {
    Json rows = Json::array();
    for (const auto& r : c.session.fileList().rows()) {
        Json row{{"ticked", r.ticked}};
        putName(row, "name", r.text);
        row["date"] = r.date();
        row["never_move"] = r.neverMove;
        if (states) row["state"] = stateText(r.state);
        rows.push_back(std::move(row));
    }
    Json document{{"rows", std::move(rows)}};
    putName(document, "status", c.session.statusText());
    return document;
}

class Scan : public GameCommand {
public:
    Scan() : GameCommand("scan", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        CallSettings call;
        bool states = false, json = false;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--state")
                states = true;
            else if (a == "--json")
                json = true;
            else if (!call.takeSelection(a, args))
                args.unexpected(a);
        }
        if (args.failed() || !call.checkTypes(c.err)) return kUsageError;
        if (!c.start()) return c.status;
        c.session.changeSettings([&](Settings& s) { call.apply(s, c.err); });
        // The rows, then the status text, are all the standard output holds:
        // notes (a purge period raised) go to standard error.
        c.lines.out = &c.err;
        bool found = c.session.ScanCache();
        // The states untick what a run would not move: the ticks shown are the run's.
        if (found) c.session.fillStates();
        if (json) {
            printJson(c.out, scanDocument(c, states));
            return found ? kDone : kNotDone;
        }
        for (const auto& r : c.session.fileList().rows()) {
            c.out << (r.ticked ? '1' : '0') << '\t' << escapeControls(r.text) << '\t' << r.date()
                  << '\t' << (r.neverMove ? "True" : "");
            if (states) c.out << '\t' << stateText(r.state);
            c.out << '\n';
        }
        c.printStatus();
        return found ? kDone : kNotDone;
    }
};

} // namespace

const Command& commandScan() {
    static const Scan command;
    return command;
}

} // namespace tv::cli
