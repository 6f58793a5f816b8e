// tessvane-cli undo, compact and empty-undo: the undo log's commands.
#include "commands.h"
#include "json_output.h"

#include "platform/text_io.h"
#include "platform/text_util.h"
#include "session/library.h"

#include <algorithm>

namespace tv::cli {

namespace {

constexpr const char* kUndoUsage =
    "  undo --list [--json] | undo [--yes] (--all | NEWPATH...)\n"
    "      lists the undo log (moves, files archives installed, files removed; --json:\n"
    "      as one JSON document), or moves files back into the cache, takes installed\n"
    "      files back (each only while it holds the bytes that were installed) and\n"
    "      puts removed files back\n";
constexpr const char* kCompactUsage = "  compact                compacts the undo log\n";
constexpr const char* kEmptyUndoUsage = "  empty-undo [--yes]     deletes every undo record\n";

// Where a removed file went: "removed into the cache <file>", "deleted".
std::string removedText(const Removal& r) {
    return r.cacheFile.empty() ? "deleted" : "removed into the cache " + r.cacheFile;
}

// The same as one document: the moves, the files archives installed, the
// files removed.
void printUndoJson(Context& c, const std::vector<UndoRecord>& records,
                   const std::vector<Removal>& removals) {
    Json moves = Json::array(), installed = Json::array(), removed = Json::array();
    for (const auto& r : records) {
        Json one;
        putName(one, "date", r.MoveDate);
        putName(one, "new_path", r.NewFName);
        putName(one, "cache_file", r.OldFName);
        moves.push_back(std::move(one));
    }
    for (const auto& in : c.session.installations())
        for (const auto& f : in.files) {
            Json one;
            putName(one, "date", in.date);
            putName(one, "path", f.path);
            putName(one, "archive", in.archive);
            installed.push_back(std::move(one));
        }
    for (const auto& r : removals) {
        Json one;
        putName(one, "date", r.date);
        putName(one, "path", r.path);
        if (!r.cacheFile.empty()) putName(one, "cache_file", r.cacheFile);
        one["deleted"] = r.cacheFile.empty();
        removed.push_back(std::move(one));
    }
    printJson(c.out, Json{{"moves", std::move(moves)},
                          {"installed", std::move(installed)},
                          {"removed", std::move(removed)}});
}

int undoList(Context& c, bool json) {
    std::vector<UndoRecord> records;
    std::string error;
    if (!c.session.undoRecords(records, &error)) {
        c.err << "Tessvane: the undo log cannot be read: " << escapeControls(error) << '\n';
        return kNotDone;
    }
    const std::vector<Removal> removals = PackageLibrary(c.session, c.prompter).removals();
    if (json) {
        printUndoJson(c, records, removals);
        return kDone;
    }
    // The log is a file like any other: each field escaped, the tabs kept.
    for (const auto& r : records)
        c.out << escapeControls(r.MoveDate) << '\t' << escapeControls(r.NewFName) << '\t'
              << escapeControls(r.OldFName) << '\n';
    // Files archives installed: where the cache file would be, the archive.
    for (const auto& in : c.session.installations())
        for (const auto& f : in.files)
            c.out << escapeControls(in.date) << '\t' << escapeControls(f.path) << '\t'
                  << "installed from " << escapeControls(in.archive) << '\n';
    for (const auto& r : removals)
        c.out << escapeControls(r.date) << '\t' << escapeControls(r.path) << '\t'
              << escapeControls(removedText(r)) << '\n';
    return kDone;
}

struct UndoArgs {
    bool list = false, all = false, yes = false, json = false;
    std::vector<std::string> names;

    bool take(ArgReader& args, std::ostream& err) {
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--list")
                list = true;
            else if (a == "--all")
                all = true;
            else if (a == "--yes")
                yes = true;
            else if (a == "--json")
                json = true;
            else if (a.rfind("--", 0) == 0)
                args.unexpected(a);
            else
                names.push_back(wholePath(a));
        }
        if (list && (all || yes || !names.empty())) {
            err << "tessvane-cli: undo --list takes nothing else but --json\n";
            return false;
        }
        if (json && !list) {
            err << "tessvane-cli: --json goes with undo --list\n";
            return false;
        }
        return !args.failed();
    }
};

bool holds(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Files archives installed: taken back on their own, not moved back; and
// files removed from the game, put back.
struct OtherRecords {
    std::vector<std::string> installed, removed;
};
OtherRecords otherRecords(Context& c) {
    OtherRecords out;
    for (const auto& in : c.session.installations())
        for (const auto& f : in.files)
            out.installed.push_back(f.path);
    for (const auto& r : PackageLibrary(c.session, c.prompter).removals())
        if (!holds(out.removed, r.path)) out.removed.push_back(r.path);
    return out;
}

// A path named on the command line must be one the log holds: a typing
// slip must not pass for an undo that had nothing to do.
bool allRecorded(Context& c, const std::vector<std::string>& names,
                 const std::vector<UndoRecord>& records, const OtherRecords& other) {
    for (const auto& name : names) {
        if (!holds(other.installed, name) && !holds(other.removed, name) &&
            std::none_of(records.begin(), records.end(),
                         [&](const UndoRecord& r) { return r.NewFName == name; })) {
            c.err << "tessvane-cli: " << escapeControls(name)
                  << " has no undo record (tessvane-cli undo --list lists them)\n";
            return false;
        }
    }
    return true;
}

// Moves back and installed files taken back, each through its own undo.
int undoNames(Context& c, const std::vector<std::string>& names, const OtherRecords& other) {
    c.workOutFolders();
    if (const auto no = c.session.confirmUndo(names)) return exitStatusOf(*no);
    std::vector<std::string> moves, installs, removed;
    for (const auto& n : names)
        (holds(other.installed, n) ? installs
         : holds(other.removed, n) ? removed
                                   : moves)
            .push_back(n);
    // The worse of the two: a failure (3) over nothing done (1) over done.
    int status = kDone;
    if (!moves.empty()) status = std::max(status, c.finish(c.session.undo({moves})));
    if (!installs.empty())
        status = std::max(status, c.finish(c.session.undoInstalledFiles(installs)));
    if (!removed.empty())
        status = std::max(status, c.finish(PackageLibrary(c.session, c.prompter).putBack(removed)));
    return status;
}

class Undo : public GameCommand {
public:
    Undo() : GameCommand("undo", kUndoUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        UndoArgs u;
        if (!u.take(args, c.err)) return kUsageError;
        if (!c.start()) return c.status;
        if (u.list) return undoList(c, u.json);
        c.prompter.setAnswerYes(u.yes);
        std::vector<UndoRecord> records;
        c.session.undoRecords(records);
        const OtherRecords other = otherRecords(c);
        if (!allRecorded(c, u.names, records, other)) return kUsageError;
        if (u.all) {
            for (const auto& r : records)
                u.names.push_back(r.NewFName);
            u.names.insert(u.names.end(), other.installed.begin(), other.installed.end());
            u.names.insert(u.names.end(), other.removed.begin(), other.removed.end());
        }
        return undoNames(c, u.names, other);
    }
};

class Compact : public GameCommand {
public:
    Compact() : GameCommand("compact", kCompactUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool yes = false;
        if (!takeOnlyYes(args, false, yes)) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const int status = c.finish(c.session.compactUndoLog());
        c.printStatus();
        return status;
    }
};

class EmptyUndo : public GameCommand {
public:
    EmptyUndo() : GameCommand("empty-undo", kEmptyUndoUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool yes = false;
        if (!takeOnlyYes(args, true, yes)) return kUsageError;
        if (!c.start()) return c.status;
        c.prompter.setAnswerYes(yes);
        c.workOutFolders();
        if (!c.session.confirmEmptyUndoLog()) return kNotDone;
        const Outcome<Completed> emptied = c.session.emptyUndoLog();
        const int status = c.finish(emptied);
        if (emptied.done()) c.printStatus();
        return status;
    }
};

} // namespace

const Command& commandUndo() {
    static const Undo command;
    return command;
}

const Command& commandCompact() {
    static const Compact command;
    return command;
}

const Command& commandEmptyUndo() {
    static const EmptyUndo command;
    return command;
}

} // namespace tv::cli
