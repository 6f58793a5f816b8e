#include "undo_moves.h"

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

// The Cache.ini of each folder a record names, looked up once per folder.
class IndexFinder {
public:
    // The folder's Cache.ini (found without regard to case), or nullopt.
    const std::optional<std::string>& find(const std::string& folder) {
        auto it = m_found.find(folder);
        if (it == m_found.end()) {
            auto index = lookupInFolder(folder, "cache.ini");
            if (index && !fileExists(*index)) index.reset();
            it = m_found.emplace(folder, std::move(index)).first;
        }
        return it->second;
    }

private:
    std::unordered_map<std::string, std::optional<std::string>> m_found;
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
    bool holds(const std::string& path) const {
        const std::string folder = folderOf(path);
        if (m_remembered.count(folder)) return true;
        for (const auto& g : m_game) {
            if (folder == g) return true;
            if (folderOf(folder) == folderOf(g) && equalsNoCase(fileNameOf(folder), fileNameOf(g)))
                return true;
        }
        return false;
    }

private:
    std::unordered_set<std::string> m_remembered;
    std::vector<std::string> m_game;
};

// Why the file cannot go back to `oldPath`, or empty when it can.
std::string refusalFor(const std::string& oldPath, const std::string& newPath,
                       const std::string& cacheFolder, const std::string& cacheExt,
                       IndexFinder& indexes) {
    std::string folder = folderOf(oldPath);
    if (!isCacheFileName(fileNameOf(oldPath), cacheExt))
        return oldPath + " is not the name of a cache file";
    if (folder != withoutTrailingSeparator(cacheFolder) && !indexes.find(folder))
        return folder + " is not a cache folder";
    if (pathExists(oldPath) && !sameContent(oldPath, newPath)) return oldPath + " exists already";
    return {};
}

// Appends the lines to one Cache.ini, giving a new file its header and
// ending an unfinished last line first. A line the file holds already (left
// by an undo that was killed before its move) is not written twice.
bool appendIndexLines(const std::string& path, std::vector<std::string> lines, std::string* error) {
    if (auto existing = readFile(path)) {
        auto present = splitLines(*existing);
        std::unordered_set<std::string> have(present.begin(), present.end());
        std::erase_if(lines, [&](const std::string& l) { return have.count(l) > 0; });
        if (lines.empty()) return true;
        if (!existing->empty() && existing->back() != '\n') lines.front().insert(0, "\r\n");
    } else if (!pathExists(path)) {
        lines.insert(lines.begin(), "[Cache]");
    }
    return appendLinesCrLf(path, lines, error);
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
    for (const auto& s : stale) {
        auto it = std::find(lines->rbegin(), lines->rend(), s);
        if (it != lines->rend()) lines->erase(std::next(it).base());
    }
    return writeLinesAtomic(path, *lines, error);
}

} // namespace

bool isCacheFileName(const std::string& name, const std::string& cacheExt) {
    if (name.size() < 34) return false;
    for (size_t i = 0; i < 32; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
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

UndoResult undoMoves(UndoLog& undo, const std::vector<std::string>& newNames,
                     const std::string& cacheFolder, const std::string& cacheExt,
                     const std::vector<std::string>& gameFolders,
                     const std::function<void(const std::string&)>& statusLine) {
    UndoResult result;
    auto refuse = [&](const std::string& text) {
        result.failures.push_back(text);
        if (statusLine) statusLine("Not undone: " + text);
    };
    std::vector<UndoRecord> all;
    if (!undo.allRecords(all)) {
        result.undoError = undo.lastError();
        return result;
    }
    std::vector<std::string> remembered;
    if (!undo.movedIntoFolders(remembered)) {
        result.undoError = undo.lastError();
        return result;
    }
    MoveFolders moveFolders(gameFolders, remembered);
    std::unordered_map<std::string, std::vector<size_t>> byNewName;
    for (size_t i = 0; i < all.size(); ++i)
        byNewName[all[i].NewFName].push_back(i);

    // What to do with each ticked path, worked out before anything is touched.
    std::vector<GroupPlan> plans;
    std::vector<std::string> gone; // ticked paths whose file is no longer there
    std::unordered_set<std::string> seen;
    std::unordered_set<std::string> targets; // old paths an earlier group takes
    IndexFinder indexes;
    for (const auto& name : newNames) {
        if (!seen.insert(name).second) continue;
        auto found = byNewName.find(name);
        if (found == byNewName.end()) continue;
        GroupPlan plan;
        plan.records = found->second;
        if (!pathExists(name)) {
            // Gone, or never moved by a run that was killed: nothing to take
            // back, but the user hears that the record went without a file.
            ++result.dropped;
            gone.push_back(name);
            plans.push_back(std::move(plan));
            continue;
        }
        if (!isRegularFile(name) || !isPlainFileName(fileNameOf(name))) {
            refuse(name + " is not a regular file"); // its records stay
            continue;
        }
        if (!moveFolders.holds(name)) {
            refuse(name + " is not in a folder Tessvane moves into");
            continue;
        }
        if (fileTypeOf(fileNameOf(name)) == FileType::Unknown) {
            refuse(name + " is not a file Tessvane moves");
            continue;
        }
        std::string reason;
        for (size_t i : plan.records) {
            const UndoRecord& r = all[i];
            std::string why = refusalFor(r.OldFName, name, cacheFolder, cacheExt, indexes);
            if (why.empty() && targets.count(r.OldFName)) why = r.OldFName + " exists already";
            if (!why.empty()) {
                reason = why;
                continue;
            }
            plan.move = &r;
            // Both copies whole: only the one outside the cache is left to go.
            plan.finish = pathExists(r.OldFName);
            std::string key = fileNameOf(r.OldFName);
            key.erase(key.rfind('.'));
            plan.line = key + "=" + fileNameOf(name);
            const std::string folder = folderOf(r.OldFName);
            plan.index = indexes.find(folder).value_or(joinPath(folder, "cache.ini"));
            break;
        }
        if (!plan.move) {
            refuse(reason); // its records stay
            continue;
        }
        targets.insert(plan.move->OldFName);
        plans.push_back(std::move(plan));
    }

    // The records go first, inside the transaction: a log that cannot be
    // written stops the undo before any file is touched. Nothing is final
    // until the commit at the end.
    for (const auto& plan : plans) {
        for (size_t i : plan.records) {
            if (undo.removeRow(all[i].rowid)) continue;
            result.undoError = undo.lastError();
            undo.rollback();
            return result;
        }
    }
    auto keepRecords = [&](const GroupPlan& plan) {
        for (size_t i : plan.records)
            if (!undo.insert(all[i]) && result.undoError.empty())
                result.undoError = undo.lastError();
    };

    // Then the lines, one append to each Cache.ini.
    std::map<std::string, std::vector<GroupPlan*>> byIndex;
    for (auto& plan : plans)
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
    crashPoint("index lines appended");

    // Then the files.
    std::map<std::string, std::vector<std::string>> stale;
    for (auto& plan : plans) {
        if (!plan.move) continue;
        std::string error;
        if (plan.finish ? removeFile(plan.move->NewFName, &error)
                        : moveNoReplace(plan.move->NewFName, plan.move->OldFName, &error)) {
            ++result.undone;
            if (statusLine)
                statusLine(plan.move->NewFName + " was moved back to " + plan.move->OldFName);
            crashPoint("file moved back");
            continue;
        }
        refuse(error);
        keepRecords(plan);
        stale[plan.index].push_back(plan.line);
    }

    // Last, the records are gone for good.
    if (!undo.commit()) {
        // The files are back and their lines are in Cache.ini; the records
        // left behind name files that are gone, and the next undo drops them.
        result.undoError = undo.lastError();
        undo.rollback();
    } else if (statusLine) {
        for (const auto& name : gone)
            statusLine(name + " is no longer there; its record was removed");
    }
    crashPoint("undo records deleted");
    for (const auto& [index, lines] : stale) {
        std::string error;
        if (!removeIndexLines(index, lines, &error)) refuse(error);
    }
    return result;
}

} // namespace tv
