#include "package_removal.h"

#include "formats/package_header.h"
#include "package_state.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/undo_log.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace tv {

namespace {

bool pathExists(const std::string& path) {
    return fileExists(path) || isSymlink(path);
}

// A map's own files in System beside it: its text in each language and
// its cached records.
constexpr const char* kCompanionExtensions[] = {"int", "det", "est", "frt", "itt", "kot",
                                                "smt", "tmt", "jpt", "pol", "rut", "ucl"};

bool isCompanionOf(std::string_view file, std::string_view mapStem) {
    const size_t dot = file.rfind('.');
    if (dot == std::string_view::npos || !equalsNoCase(file.substr(0, dot), mapStem)) return false;
    const std::string_view ext = file.substr(dot + 1);
    return std::any_of(std::begin(kCompanionExtensions), std::end(kCompanionExtensions),
                       [&](const char* e) { return equalsNoCase(ext, e); });
}

std::vector<std::string> systemFolders(const CacheFolders& folders) {
    std::vector<std::string> out;
    if (!folders.system.empty()) out.push_back(folders.system);
    if (!folders.gameFolder.empty() && folders.gameFolder != folders.userFolder) {
        const FolderIndex game(folders.gameFolder);
        if (auto system = game.find("System")) {
            const std::string path = joinPath(folders.gameFolder, *system);
            if (path != folders.system) out.push_back(path);
        }
    }
    return out;
}

class Planner {
public:
    Planner(const std::vector<LibraryEntry>& entries, const CacheFolders& folders)
        : m_entries(entries), m_folders(folders), m_gone(entries.size(), false) {}

    void ask(const std::string& name) {
        bool any = false;
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const LibraryEntry& e = m_entries[i];
            if (!equalsNoCase(e.name, name) && e.path != name) continue;
            any = true;
            if (e.inCache())
                refuse(name, "is a download in the cache, not installed");
            else if (e.origin == Origin::Stock)
                refuse(name, "ships with the game; Tessvane does not remove the game's own files");
            else
                take(i, "asked for");
        }
        if (!any) refuse(name, "is not among the packages the game reads");
    }

    // What the packages taken leave unused, until nothing more is.
    void takeUnused() {
        for (bool more = true; more;) {
            more = false;
            for (size_t i = 0; i < m_entries.size(); ++i) {
                const LibraryEntry& e = m_entries[i];
                if (m_gone[i] || e.inCache() || e.origin == Origin::Stock || e.serverPackage ||
                    e.editPackage || e.users.empty())
                    continue;
                const bool unused = std::all_of(e.users.begin(), e.users.end(),
                                                [&](size_t u) { return m_gone[u]; });
                if (!unused) continue;
                take(i, "only " + m_entries[e.users.front()].name + " needs it");
                more = true;
            }
        }
    }

    RemovalPlan done() { return std::move(m_plan); }

private:
    void refuse(const std::string& name, const std::string& why) {
        m_plan.refused.push_back(name + " " + why);
    }

    void take(size_t i, const std::string& why) {
        if (m_gone[i]) return;
        m_gone[i] = true;
        const LibraryEntry& e = m_entries[i];
        m_plan.items.push_back({e.path, e.name, e.guid, why, {}});
        for (const auto& c : m_entries)
            if (c.inCache() && !e.guid.empty() && c.guid == e.guid && equalsNoCase(c.name, e.name))
                m_plan.items.back().cacheCopy = c.path;
        if (e.type != FileType::Map) return;
        const std::string_view stem = packageStem(e.name);
        for (const auto& folder : systemFolders(m_folders)) {
            const FolderIndex index(folder);
            for (const std::string& file : index.names())
                if (isCompanionOf(file, stem) && index.isFile(file))
                    m_plan.items.push_back(
                        {joinPath(folder, file), file, {}, "goes with " + e.name, {}});
        }
    }

    const std::vector<LibraryEntry>& m_entries;
    const CacheFolders& m_folders;
    std::vector<bool> m_gone;
    RemovalPlan m_plan;
};

} // namespace

RemovalPlan planRemoval(const std::vector<LibraryEntry>& entries,
                        const std::vector<std::string>& names, bool withUnused,
                        const CacheFolders& folders) {
    Planner planner(entries, folders);
    for (const auto& name : names)
        planner.ask(name);
    if (withUnused) planner.takeUnused();
    return planner.done();
}

namespace {

std::string freshId() {
    std::random_device random;
    std::array<uint8_t, 16> bytes{};
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return guidText(bytes);
}

// Whether the index writes its lines as "<id>-N=<name>".
bool numberedLines(const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        const size_t eq = l.find('=');
        return eq > 32 && eq != std::string::npos && l[32] == '-';
    });
}

class Remover {
public:
    Remover(UndoLog& undo, const CacheFolders& folders, const std::string& date, bool deleteFiles,
            const WorkSink& sink)
        : m_undo(undo), m_folders(folders), m_date(date), m_delete(deleteFiles), m_sink(sink),
          m_cacheIni(findInFolder(folders.cacheFolder, "Cache.ini")), m_cache(folders.cacheFolder) {
        const auto text = readFile(m_cacheIni);
        m_numbered = text && numberedLines(splitLines(*text));
        m_state = text ? (!text->empty() && text->back() != '\n' ? Index::Unended : Index::Ended)
                  : fileExists(m_cacheIni) ? Index::Ended
                                           : Index::Missing;
    }

    void remove(const RemovalPlan::Item& item) {
        Removal r;
        r.date = m_date;
        r.path = item.path;
        if (!m_delete) placeInCache(item, r);
        const int64_t id = m_undo.addRemoval(r);
        if (id == 0 || !m_undo.commit()) return fail(item, "the undo log " + m_undo.lastError());
        crashPoint("removal recorded");
        std::string error;
        const bool gone = r.cacheFile.empty() || r.shared
                              ? removeFile(item.path, &error)
                              : moveNoReplace(item.path, r.cacheFile, &error);
        if (!gone) {
            fail(item, error);
        } else {
            crashPoint("removal: file gone");
            ++m_result.removed;
            m_sink.status(r.cacheFile.empty() ? "Deleted " + item.path
                                              : "Removed " + item.path + " into the cache");
            if (!r.appended.empty() && !append(r.appended, error))
                fail(item, "its Cache.ini line could not be written: " + error);
        }
        if (!m_undo.beginWrite() || (gone ? !m_undo.setRemovalDone(id) : !m_undo.forgetRemoval(id)))
            fail(item, "the undo log " + m_undo.lastError());
    }

    RemovalResult result() { return std::move(m_result); }

private:
    void fail(const RemovalPlan::Item& item, const std::string& why) {
        m_result.failures.push_back(item.path + " was not removed: " + why);
        m_sink.status("**ERROR** " + m_result.failures.back());
    }

    // Where the file goes in the cache and the line naming it there.
    void placeInCache(const RemovalPlan::Item& item, Removal& r) {
        std::string id = item.guid.empty() ? freshId() : item.guid;
        const std::string ext = "." + m_folders.cacheExt;
        const auto there = m_cache.find(id + ext);
        if (there || !item.cacheCopy.empty()) {
            const std::string existing =
                there ? joinPath(m_folders.cacheFolder, *there) : item.cacheCopy;
            if (sameContent(existing, item.path)) {
                // The cache holds this very download, with its line.
                r.cacheFile = existing;
                r.shared = true;
                return;
            }
            id = freshId();
        }
        r.cacheFile = joinPath(m_folders.cacheFolder, id + ext);
        m_cache.insert(id + ext);
        r.appended = appendedText((m_numbered ? id + "-1" : id) + "=" + item.name);
    }

    // The exact text that appends `line`: a new index gets its header and
    // an unfinished last line is ended first.
    std::string appendedText(const std::string& line) {
        std::string text;
        if (m_state == Index::Missing) text += "[Cache]" + m_end;
        if (m_state == Index::Unended) text += m_end;
        m_state = Index::Ended;
        return text + line + m_end;
    }

    bool append(const std::string& text, std::string& error) {
        return appendLinesEndedBy(m_cacheIni, {text.substr(0, text.size() - m_end.size())}, m_end,
                                  &error);
    }

    UndoLog& m_undo;
    const CacheFolders& m_folders;
    const std::string m_date;
    const bool m_delete;
    const WorkSink& m_sink;
    const std::string m_cacheIni;
    const std::string m_end{lineEndOf(m_cacheIni)};
    FolderIndex m_cache;
    bool m_numbered = false;
    enum class Index { Missing, Unended, Ended } m_state = Index::Ended;
    RemovalResult m_result;
};

} // namespace

RemovalResult carryOutRemoval(UndoLog& undo, const RemovalPlan& plan, const CacheFolders& folders,
                              const std::string& date, bool deleteFiles, const WorkSink& sink) {
    Remover remover(undo, folders, date, deleteFiles, sink);
    RemovalResult stopped;
    size_t done = 0;
    for (const auto& item : plan.items) {
        if (sink.stopAsked()) {
            stopped.stopped = true;
            break;
        }
        remover.remove(item);
        sink.reportProgress(++done, plan.items.size());
    }
    RemovalResult r = remover.result();
    r.stopped = stopped.stopped;
    return r;
}

namespace {

// Takes the text a removal appended out of Cache.ini: cut off exactly where
// it still ends the file, else the last line equal to its line.
bool takeOutLine(const std::string& cacheIni, const std::string& appended, std::string& error) {
    auto text = readFile(cacheIni);
    if (!text) {
        error = "Cache.ini cannot be read";
        return !fileExists(cacheIni);
    }
    if (text->size() >= appended.size() &&
        text->compare(text->size() - appended.size(), appended.size(), appended) == 0)
        return writeFileAtomic(cacheIni, text->substr(0, text->size() - appended.size()), &error);
    const std::vector<std::string> parts = splitLines(appended);
    if (parts.empty()) return true;
    std::vector<std::string> lines = splitLines(*text);
    for (size_t i = lines.size(); i-- > 0;)
        if (lines[i] == parts.back()) {
            lines.erase(lines.begin() + static_cast<ptrdiff_t>(i));
            return writeLinesAtomic(cacheIni, lines, &error);
        }
    return true;
}

} // namespace

PutBackResult putBackRemoved(UndoLog& undo, const std::vector<std::string>& paths,
                             const CacheFolders& folders, const WorkSink& sink) {
    PutBackResult result;
    std::vector<Removal> all;
    if (!undo.removals(all)) {
        result.failures.push_back("the undo log " + undo.lastError());
        return result;
    }
    const std::unordered_set<std::string> wanted(paths.begin(), paths.end());
    const std::string cacheIni = findInFolder(folders.cacheFolder, "Cache.ini");
    for (auto r = all.rbegin(); r != all.rend(); ++r) {
        if (!wanted.count(r->path)) continue;
        auto fail = [&](const std::string& why) {
            result.failures.push_back(r->path + " was not put back: " + why);
            sink.status("**ERROR** " + result.failures.back());
        };
        std::string error;
        const bool there = pathExists(r->path);
        if (r->cacheFile.empty()) {
            sink.status(r->path + " was deleted when it was removed; it cannot come back");
        } else if (there && (!r->done || !fileExists(r->cacheFile) ||
                             (!r->shared && sameContent(r->path, r->cacheFile)))) {
            // Killed before the file went (or while a copy across disks was
            // in both places): the file is where it was.
            if (!r->shared && fileExists(r->cacheFile) && sameContent(r->path, r->cacheFile))
                removeFile(r->cacheFile);
        } else if (there) {
            fail("a file is at its place again");
            continue;
        } else if (!fileExists(r->cacheFile)) {
            fail(r->cacheFile + " is no longer in the cache");
        } else if (r->shared ? !copyReplace(r->cacheFile, r->path, &error)
                             : !moveNoReplace(r->cacheFile, r->path, &error)) {
            fail(error);
            continue;
        } else {
            ++result.putBack;
            sink.status("Put back " + r->path);
        }
        if (!r->appended.empty() && !takeOutLine(cacheIni, r->appended, error))
            fail("its line stays in Cache.ini: " + error);
        if (!undo.forgetRemoval(r->id)) fail("the undo log " + undo.lastError());
    }
    return result;
}

} // namespace tv
