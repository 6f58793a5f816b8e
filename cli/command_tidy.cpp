// tessvane-cli tidy: duplicates, stale lines and orphans of the cache.
#include "commands.h"
#include "json_output.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  tidy [--duplicates] [--stale-lines] [--orphans] [--dry-run] [--yes] [--json]\n"
    "      tidies the cache (all three without a choice): deletes cache files whose\n"
    "      bytes equal the installed file of their name, with their lines; removes\n"
    "      lines whose cache file is gone; lists cache files no line names (--yes\n"
    "      deletes them); Cache.ini is kept as cachebak.ini; --dry-run writes nothing;\n"
    "      --json: what was found and done as one JSON document\n";

// What the tidy found and what it did (or would do).
Json tidyDocument(const TidyResult& r, const TidyOptions& o) {
    const auto files = [](const std::vector<TidyPlan::File>& list, bool withPackage) {
        Json out = Json::array();
        for (const auto& f : list) {
            Json file;
            putName(file, "file", f.name);
            file["size"] = f.size;
            if (withPackage) putName(file, "package", f.package);
            out.push_back(std::move(file));
        }
        return out;
    };
    Json stale = Json::array();
    for (const auto& line : r.plan.staleLines) {
        Json l;
        putName(l, "line", line);
        stale.push_back(std::move(l));
    }
    Json failures = Json::array();
    for (const auto& f : r.failures) {
        Json l;
        putName(l, "text", f);
        failures.push_back(std::move(l));
    }
    return Json{{"dry_run", o.dryRun},
                {"duplicates", files(r.plan.duplicates, true)},
                {"stale_lines", std::move(stale)},
                {"orphans", files(r.plan.orphans, false)},
                {"orphans_deleted", o.deleteOrphans},
                {"files_deleted", r.filesDeleted},
                {"bytes_freed", r.bytesFreed},
                {"lines_removed", r.linesRemoved},
                {"failures", std::move(failures)},
                {"summary", tidySummary(r, o.dryRun)}};
}

class Tidy : public GameCommand {
public:
    Tidy() : GameCommand("tidy", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        TidyOptions o;
        bool yes = false, json = false;
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
            else if (a == "--json")
                json = true;
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
        if (!json) return c.finish(c.session.tidy({o, nullptr}));
        c.lines.out = &c.err;
        const auto tidied = c.session.tidy({o, nullptr});
        if (tidied.done()) printJson(c.out, tidyDocument(*tidied.result(), o));
        return c.finish(tidied);
    }
};

} // namespace

const Command& commandTidy() {
    static const Tidy command;
    return command;
}

} // namespace tv::cli
