#include "undo_moves.h"

#include "cache_index.h"
#include "file_types.h"

#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/undo_log.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace tv {

namespace {

// One ticked new path and what the undo does with its records.
struct GroupPlan {
    std::vector<size_t> records;      // every record with this new path
    const UndoRecord* move = nullptr; // the record whose move is taken back
    bool finish = false;              // a killed undo copied the file back already
    std::string index;                // the Cache.ini that gets the line
    std::string line;                 // identifier=name
};

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What a folder's listing says of a path.
enum class PathKind { Missing, RegularFile, Other };

// The Cache.ini of each folder a record names, and the folders' listings,
// each folder read once however many paths are asked about.
class IndexFinder {
public:
    // The folder's Cache.ini (found without regard to case), or nullopt.
    const std::optional<std::string>& find(std::string_view folder) {
        if (m_lastFound && m_lastFound->first == folder) return m_lastFound->second;
        auto it = m_found.find(std::string(folder));
        if (it == m_found.end()) {
            auto index = lookupInFolder(folder, "cache.ini");
            if (index && !fileExists(*index)) index.reset();
            it = m_found.emplace(std::string(folder), std::move(index)).first;
        }
        m_lastFound = &*it;
        return it->second;
    }

    // Whether the folder holds `path`'s name exactly, as the folder was when
    // first asked.
    bool holds(std::string_view path) {
        return listing(folderPart(path)).exact(fileNamePart(path)) != nullptr;
    }

    // What is at `path`, by its folder's listing; asked of the file system
    // only when the listing does not tell (a link, an untyped entry, a name
    // not listed).
    PathKind kindOf(const std::string& path) {
        const FolderIndex::Entry* e = listing(folderPart(path)).exact(fileNamePart(path));
        // Not listed is asked once more: a folder that may be entered but
        // not read lists nothing, and its files must not lose their records.
        if (e && e->kind != FolderIndex::Kind::Uncertain)
            return e->kind == FolderIndex::Kind::File ? PathKind::RegularFile : PathKind::Other;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return PathKind::Missing;
        return S_ISREG(st.st_mode) ? PathKind::RegularFile : PathKind::Other;
    }

private:
    // The paths asked about alternate between a game folder and the cache
    // folder: the last two listings are at hand without a look-up.
    const FolderIndex& listing(std::string_view folder) {
        for (const FolderIndex* l : m_lastListed)
            if (l && l->folder() == folder) return *l;
        m_lastListed[1] = m_lastListed[0];
        m_lastListed[0] = &m_listed.of(std::string(folder));
        return *m_lastListed[0];
    }

    std::unordered_map<std::string, std::optional<std::string>> m_found;
    const std::pair<const std::string, std::optional<std::string>>* m_lastFound = nullptr;
    FolderIndexCache m_listed;
    const FolderIndex* m_lastListed[2] = {};
};

// The folders a run moves into: the game's type folders (in any letter
// case) and those the undo log remembers.
class MoveFolders {
public:
    MoveFolders(const std::vector<std::string>& game, const std::vector<std::string>& remembered)
        : m_remembered(remembered.begin(), remembered.end()) {
        for (const auto& g : game)
            if (!g.empty()) m_game.push_back(withoutTrailingSeparator(g));
    }
    bool holds(std::string_view path) {
        const std::string_view folder = folderPart(path);
        // The paths of one undo are mostly in a few folders.
        if (m_last && *m_last == folder) return true;
        for (const auto& g : m_game)
            if (folder == g || (folderPart(folder) == folderPart(g) &&
                                equalsNoCase(fileNamePart(folder), fileNamePart(g))))
                return true;
        auto it = m_remembered.find(std::string(folder));
        if (it == m_remembered.end()) return false;
        m_last = &*it;
        return true;
    }

private:
    std::unordered_set<std::string> m_remembered;
    std::vector<std::string> m_game;
    const std::string* m_last = nullptr; // the last remembered folder that held a path
};

// Why the file cannot go back to `oldPath`, or empty when it can; `there`
// tells whether a file is at `oldPath` already (the same bytes: a killed
// undo copied it back).
std::string refusalFor(const std::string& oldPath, const std::string& newPath,
                       std::string_view cacheFolder, const std::string& cacheExt,
                       IndexFinder& indexes, bool& there) {
    const std::string_view folder = folderPart(oldPath);
    if (!isCacheFileName(fileNamePart(oldPath), cacheExt))
        return oldPath + " is not the name of a cache file";
    if (folder != cacheFolder && !indexes.find(folder))
        return std::string(folder) + " is not a cache folder";
    there = indexes.holds(oldPath);
    if (there && !sameContent(oldPath, newPath)) return oldPath + " exists already";
    return {};
}

// Appends the lines to one Cache.ini, giving a new file its header and
// ending an unfinished last line first. A line the file holds already (left
// by an undo that was killed before its move) is not written twice.
bool appendIndexLines(const std::string& path, std::vector<std::string> lines, std::string* error) {
    // A native game's index has LF line ends, and keeps them.
    const std::string_view end = lineEndOf(path);
    if (auto existing = readFile(path)) {
        auto present = splitLines(*existing);
        std::unordered_set<std::string> have(present.begin(), present.end());
        std::erase_if(lines, [&](const std::string& l) { return have.count(l) > 0; });
        if (lines.empty()) return true;
        if (!existing->empty() && existing->back() != '\n') lines.front().insert(0, end);
    } else if (!pathExists(path)) {
        lines.insert(lines.begin(), "[Cache]");
    }
    return appendLinesEndedBy(path, lines, end, error);
}

// Takes lines appended for files that did not go back out of Cache.ini again
// (the last occurrence of each).
bool removeIndexLines(const std::string& path, const std::vector<std::string>& stale,
                      std::string* error) {
    auto lines = readLines(path);
    if (!lines) {
        if (error) *error = "Cannot read " + path;
        return false;
    }
    // One pass from the end, however many lines go.
    std::unordered_map<std::string, size_t> toGo;
    for (const auto& s : stale)
        ++toGo[s];
    std::vector<bool> gone(lines->size(), false);
    for (size_t i = lines->size(); i-- > 0 && !toGo.empty();) {
        auto it = toGo.find((*lines)[i]);
        if (it == toGo.end()) continue;
        gone[i] = true;
        if (--it->second == 0) toGo.erase(it);
    }
    std::vector<std::string> kept;
    kept.reserve(lines->size());
    for (size_t i = 0; i < lines->size(); ++i)
        if (!gone[i]) kept.push_back(std::move((*lines)[i]));
    return writeLinesAtomic(path, kept, error);
}

} // namespace

std::string rebuiltIndexLine(std::string_view cacheFileName, std::string_view name) {
    std::string line(cacheFileName.substr(0, cacheFileName.rfind('.')));
    line += '=';
    line += name;
    return line;
}

bool isCacheFileName(std::string_view name, const std::string& cacheExt) {
    if (name.size() < 34) return false;
    // ASCII letters and digits only: std::isalnum would take the letters of
    // the user's locale (the window sets it) too.
    for (size_t i = 0; i < 32; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    size_t i = 32;
    if (name[i] == '-') {
        size_t digits = ++i;
        while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])))
            ++i;
        if (i == digits) return false;
    }
    return i < name.size() && name[i] == '.' && !cacheExt.empty() &&
           equalsNoCase(std::string_view(name).substr(i + 1), cacheExt);
}

namespace {

// How often an undo tells how far it is, in files.
constexpr size_t kProgressEvery = 64;

// One undo, told as its steps: read the records, plan each ticked path,
// delete the records (uncommitted), append the Cache.ini lines, move the
// files back, commit, and take out the lines of files that stayed.
class UndoRun {
public:
    UndoRun(UndoLog& undo, const std::string& cacheFolder, const std::string& cacheExt,
            const WorkSink& sink)
        : m_undo(undo), m_cacheFolder(withoutTrailingSeparator(cacheFolder)), m_cacheExt(cacheExt),
          m_sink(sink) {}

    UndoResult run(const std::vector<std::string>& newNames,
                   const std::vector<std::string>& gameFolders) {
        if (!readRecords(gameFolders)) return std::move(m_result);
        planGroups(newNames);
        // Asked to stop before anything was touched: nothing is.
        if (m_sink.stopAsked()) {
            m_result.stopped = true;
            m_sink.status("Stopped after 0 of " + std::to_string(m_result.planned));
            return std::move(m_result);
        }
        if (!removeRecords()) return std::move(m_result);
        appendLines();
        crashPoint("index lines appended");
        moveFilesBack();
        commitRemoval();
        crashPoint("undo records deleted");
        takeOutStaleLines();
        return std::move(m_result);
    }

private:
    void refuse(const std::string& text) {
        m_result.failures.push_back(text);
        m_sink.status("Not undone: " + text);
    }
    bool failWithLogError() {
        m_result.undoError = m_undo.lastError();
        return false;
    }

    bool readRecords(const std::vector<std::string>& gameFolders);
    void planGroups(const std::vector<std::string>& newNames);
    std::optional<GroupPlan> planGroup(const std::string& name, const std::vector<size_t>& records);
    bool chooseRecord(GroupPlan& plan, const std::string& name);
    std::string lineFor(const UndoRecord& r, std::string_view name) const;
    bool removeRecords();
    void keepRecords(const GroupPlan& plan);
    void appendLines();
    void moveFilesBack();
    bool moveBack(GroupPlan& plan);
    void commitRemoval();
    void takeOutStaleLines();

    UndoLog& m_undo;
    const std::string m_cacheFolder; // without a trailing separator
    const std::string& m_cacheExt;
    const WorkSink& m_sink;
    UndoResult m_result;

    std::vector<UndoRecord> m_all;
    std::unordered_map<int64_t, std::string> m_lines; // lines kept with records
    std::optional<MoveFolders> m_moveFolders;
    std::unordered_map<std::string_view, std::vector<size_t>> m_byNewName; // names in m_all
    std::vector<GroupPlan> m_plans;
    std::vector<std::string> m_gone;                // ticked paths whose file is no longer there
    std::unordered_set<std::string_view> m_targets; // old paths (in m_all) an earlier group takes
    IndexFinder m_indexes;
    std::map<std::string, std::vector<std::string>> m_stale; // lines of files that stayed
};

bool UndoRun::readRecords(const std::vector<std::string>& gameFolders) {
    std::vector<std::string> remembered;
    if (!m_undo.allRecords(m_all) || !m_undo.movedIntoFolders(remembered) ||
        !m_undo.movedLines(m_lines))
        return failWithLogError();
    m_moveFolders.emplace(gameFolders, remembered);
    m_byNewName.reserve(m_all.size());
    for (size_t i = 0; i < m_all.size(); ++i)
        m_byNewName[m_all[i].NewFName].push_back(i);
    return true;
}

// The line the run kept with the record, when it is one line that names
// this cache file and this package; else the line made from the record.
std::string UndoRun::lineFor(const UndoRecord& r, std::string_view name) const {
    const std::string_view file = fileNamePart(r.OldFName);
    auto kept = m_lines.find(r.rowid);
    if (kept != m_lines.end() && kept->second.find_first_of("\r\n") == std::string::npos) {
        auto e = parseCacheLine(kept->second, m_cacheExt);
        if (e && e->name == name &&
            (equalsNoCase(e->candidate1, file) || equalsNoCase(e->candidate2, file)))
            return kept->second;
    }
    return rebuiltIndexLine(file, name);
}

// What to do with each ticked path, worked out before anything is touched.
void UndoRun::planGroups(const std::vector<std::string>& newNames) {
    m_plans.reserve(newNames.size());
    for (const auto& name : newNames) {
        auto found = m_byNewName.find(name);
        if (found == m_byNewName.end()) continue;
        auto plan = planGroup(name, found->second);
        // A path ticked twice is planned once.
        m_byNewName.erase(found);
        if (plan) m_plans.push_back(std::move(*plan));
    }
    for (const auto& plan : m_plans)
        m_result.planned += plan.move != nullptr;
}

// One ticked path's records; nullopt when they stay (refused).
std::optional<GroupPlan> UndoRun::planGroup(const std::string& name,
                                            const std::vector<size_t>& records) {
    GroupPlan plan;
    plan.records = records;
    const PathKind kind = m_indexes.kindOf(name);
    if (kind == PathKind::Missing) {
        // Gone, or never moved by a run that was killed: nothing to take
        // back, but the user hears that the record went without a file.
        ++m_result.dropped;
        m_gone.push_back(name);
        return plan;
    }
    if (kind != PathKind::RegularFile || !isPlainFileName(fileNamePart(name))) {
        refuse(name + " is not a regular file");
        return std::nullopt;
    }
    if (!m_moveFolders->holds(name)) {
        refuse(name + " is not in a folder Tessvane moves into");
        return std::nullopt;
    }
    if (fileTypeOf(fileNamePart(name)) == FileType::Unknown) {
        refuse(name + " is not a file Tessvane moves");
        return std::nullopt;
    }
    if (!chooseRecord(plan, name)) return std::nullopt;
    m_targets.insert(plan.move->OldFName);
    return plan;
}

// The first record whose old path the file can go back to.
bool UndoRun::chooseRecord(GroupPlan& plan, const std::string& name) {
    std::string reason;
    for (size_t i : plan.records) {
        const UndoRecord& r = m_all[i];
        bool there = false;
        std::string why = refusalFor(r.OldFName, name, m_cacheFolder, m_cacheExt, m_indexes, there);
        if (why.empty() && m_targets.count(r.OldFName)) why = r.OldFName + " exists already";
        if (!why.empty()) {
            reason = why;
            continue;
        }
        plan.move = &r;
        // Both copies whole: only the one outside the cache is left to go.
        plan.finish = there;
        plan.line = lineFor(r, fileNamePart(name));
        const std::string_view folder = folderPart(r.OldFName);
        const auto& index = m_indexes.find(folder);
        plan.index = index ? *index : joinPath(folder, "cache.ini");
        return true;
    }
    refuse(reason); // its records stay
    return false;
}

// The records go first, inside the transaction: a log that cannot be
// written stops the undo before any file is touched. Nothing is final until
// the commit at the end.
bool UndoRun::removeRecords() {
    std::vector<int64_t> rows;
    for (const auto& plan : m_plans)
        for (size_t i : plan.records)
            rows.push_back(m_all[i].rowid);
    if (m_undo.removeRows(std::move(rows))) return true;
    failWithLogError();
    m_undo.rollback();
    return false;
}

// A group whose file stays: its records are written back.
void UndoRun::keepRecords(const GroupPlan& plan) {
    for (size_t i : plan.records) {
        const int64_t id = m_undo.insert(m_all[i]);
        // The line kept with the record went with it: it comes back too.
        const auto line = m_lines.find(m_all[i].rowid);
        const bool ok = id != 0 && (line == m_lines.end() || m_undo.rememberLine(id, line->second));
        if (!ok && m_result.undoError.empty()) m_result.undoError = m_undo.lastError();
    }
}

// The lines, one append to each Cache.ini.
void UndoRun::appendLines() {
    std::map<std::string, std::vector<GroupPlan*>> byIndex;
    for (auto& plan : m_plans)
        if (plan.move) byIndex[plan.index].push_back(&plan);
    for (auto& [index, group] : byIndex) {
        std::vector<std::string> lines;
        for (const auto* plan : group)
            lines.push_back(plan->line);
        std::string error;
        if (appendIndexLines(index, lines, &error)) continue;
        for (auto* plan : group) {
            refuse(plan->move->NewFName + ": " + error);
            keepRecords(*plan);
            plan->move = nullptr;
        }
    }
}

// The files, each back under its cache name. Asked to stop, the files not
// yet back keep their records, and their lines come out again.
void UndoRun::moveFilesBack() {
    for (auto& plan : m_plans) {
        if (!plan.move) continue;
        if (!m_result.stopped && m_sink.stopAsked()) m_result.stopped = true;
        if (m_result.stopped) {
            keepRecords(plan);
            m_stale[plan.index].push_back(plan.line);
            continue;
        }
        ++m_result.done;
        if (!moveBack(plan)) {
            keepRecords(plan);
            m_stale[plan.index].push_back(plan.line);
        }
        if (m_result.done % kProgressEvery == 0)
            m_sink.reportProgress(m_result.done, m_result.planned);
    }
    m_sink.reportProgress(m_result.done, m_result.planned);
}

bool UndoRun::moveBack(GroupPlan& plan) {
    std::string error;
    if (plan.finish ? removeFile(plan.move->NewFName, &error)
                    : moveNoReplace(plan.move->NewFName, plan.move->OldFName, &error)) {
        ++m_result.undone;
        m_sink.status(plan.move->NewFName + " was moved back to " + plan.move->OldFName);
        crashPoint("file moved back");
        return true;
    }
    refuse(error);
    return false;
}

// Last, the records are gone for good.
void UndoRun::commitRemoval() {
    if (!m_undo.commit()) {
        // The files are back and their lines are in Cache.ini; the records
        // left behind name files that are gone, and the next undo drops them.
        failWithLogError();
        m_undo.rollback();
        return;
    }
    for (const auto& name : m_gone)
        m_sink.status(name + " is no longer there; its record was removed");
    if (m_result.stopped)
        m_sink.status("Stopped after " + std::to_string(m_result.done) + " of " +
                      std::to_string(m_result.planned));
}

void UndoRun::takeOutStaleLines() {
    for (const auto& [index, lines] : m_stale) {
        std::string error;
        if (!removeIndexLines(index, lines, &error)) refuse(error);
    }
}

} // namespace

UndoResult undoMoves(UndoLog& undo, const std::vector<std::string>& newNames,
                     const std::string& cacheFolder, const std::string& cacheExt,
                     const std::vector<std::string>& gameFolders, const WorkSink& sink) {
    return UndoRun(undo, cacheFolder, cacheExt, sink).run(newNames, gameFolders);
}

} // namespace tv
