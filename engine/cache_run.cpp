#include "cache_run.h"

#include "backup.h"
#include "formats/package_imports.h"
#include "installed_packages.h"
#include "package_needs.h"
#include "package_state.h"
#include "run_log.h"
#include "undo_moves.h"

#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "store/undo_log.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <unordered_map>

namespace tv {

namespace {

// Records committed ahead of their moves: small enough that a failed batch
// costs little and a Stop is heard soon, large enough that the commits cost
// little. Each batch is sized to take about a fifth of a second at the pace
// of the last one (big files copied to another file system make it small),
// growing at most fourfold: the records of the next batch are committed
// while a batch's files move, and take no longer when the two are alike.
constexpr size_t kFirstBatchMoves = 256;
constexpr size_t kMinBatchMoves = 16;
constexpr size_t kMaxBatchMoves = 16384;
constexpr size_t kMaxBatchGrowth = 4;
constexpr auto kBatchTime = std::chrono::milliseconds(200);

// What the run does with one line of Cache.ini, worked out before any file
// is touched.
struct LinePlan {
    // Finish: a killed run copied the file to its destination (and recorded
    // it) but did not remove it from the cache.
    enum class Kind { Keep, Drop, Unsafe, Unknown, NotFound, Existing, Move, Finish };
    Kind kind = Kind::Keep;
    std::string name;
    FileType type = FileType::Unknown;
    std::string cacheFile;   // the file in the cache folder (Move, Existing)
    std::string destination; // Move, Existing
    int64_t rowid = 0;       // the committed undo record (Move)
};

// The destination folders' names, read once and kept up to date as files
// arrive, so that a name already there under another letter case is found.
class DestinationIndex {
public:
    bool taken(const std::string& folder, std::string_view name) {
        const Folder& f = in(folder);
        return f.listed->containsNoCase(name) || f.added.count(name) > 0;
    }
    // `name` is kept as a view: it outlives the index.
    void add(const std::string& folder, std::string_view name) { in(folder).added.insert(name); }

private:
    struct Folder {
        std::unique_ptr<FolderIndex> listed;
        std::unordered_set<std::string_view, FoldedHash, FoldedEqual> added;
    };
    Folder& in(const std::string& folder) {
        // Lines of one type follow each other: the last folder, without a hash.
        if (m_last && m_last->first == folder) return m_last->second;
        auto [it, added] = m_folders.try_emplace(folder);
        if (added) it->second.listed = std::make_unique<FolderIndex>(folder);
        m_last = &*it;
        return it->second;
    }
    std::unordered_map<std::string, Folder> m_folders;
    std::pair<const std::string, Folder>* m_last = nullptr;
};

} // namespace

std::string whyKept(PackageState state, const std::string& name) {
    switch (state) {
    case PackageState::Identical:
        return "identical package already installed";
    case PackageState::Installed:
        return "the same package (another copy) is already installed";
    case PackageState::OtherVersion:
        return "another version of " + name + " is installed; kept in the cache";
    default:
        return {};
    }
}

std::string stoppedRunText(const RunResult& r) {
    return "Stopped after " + std::to_string(r.movesDone) + " of " +
           std::to_string(r.movesPlanned) + "; the rest stays in the cache";
}

std::string moveLine(const std::string& cacheFile, const std::string& destination) {
    // One of these per move: made in one allocation.
    constexpr std::string_view old = "**OLD** ", arrow = "  ---->  **NEW** ";
    std::string line;
    line.reserve(old.size() + cacheFile.size() + arrow.size() + destination.size());
    line.append(old).append(cacheFile).append(arrow).append(destination);
    return line;
}

namespace {

// rebuiltIndexLine(cacheFile, name) == line, without making it.
bool isRebuiltLine(std::string_view line, std::string_view cacheFile, std::string_view name) {
    const size_t dot = cacheFile.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view key = cacheFile.substr(0, dot);
    return line.size() == key.size() + 1 + name.size() && line.substr(0, key.size()) == key &&
           line[key.size()] == '=' && line.substr(key.size() + 1) == name;
}

// One run, told as its steps: plan every line, then batch by batch commit
// the records, carry the moves out and log them; then report what stayed,
// keep the old index and write the new one.
class CacheRun {
public:
    CacheRun(const CacheFolders& folders, const std::unordered_set<std::string>& selection,
             const std::vector<ScanTableEntry>& scanTable, const RunOptions& options, UndoLog* undo,
             const std::string& programFolder, const WorkSink& sink)
        : m_folders(folders), m_cache(folders.cacheFolder), m_selection(selection),
          m_scanTable(scanTable), m_options(options), m_undo(undo), m_programFolder(programFolder),
          m_sink(sink), m_real(!options.dryRun) {
        m_record.MoveDate = options.moveDate;
    }

    RunResult run() {
        if (!readIndex()) return std::move(m_result);
        if (m_real) removeRunLeftovers();
        planLines();
        startLog();
        size_t end = batchEnd(0);
        commitRecords(0, end);
        for (size_t next = 0; next < m_plan.size();) {
            const auto started = std::chrono::steady_clock::now();
            const size_t done = m_result.movesDone;
            // The next batch's records are committed by a helper while this
            // batch's files move; no file moves before its record is in.
            const size_t ahead = recordAhead(end);
            carryOut(next, end);
            m_log->flush();
            resizeBatch(m_result.movesDone - done, std::chrono::steady_clock::now() - started);
            if (m_sink.progress && m_real)
                m_sink.progress(m_result.movesDone, m_result.movesPlanned);
            next = end;
            if (next >= m_plan.size()) break;
            end = ahead != next ? joinAhead(next, ahead) : batchEnd(next);
            if (ahead == next) commitRecords(next, end);
        }
        if (!m_real) return std::move(m_result);
        forgetMovesNotMade();
        reportHowItEnded();
        // Stopped, the rest stays as it is: listed it would bury the line
        // that says so.
        if (!m_result.stopped) reportNotMoved();
        // A run stopped before it changed the index leaves it as it was.
        if (!m_result.stopped || m_result.moved > 0 || m_linesDropped > 0) rewriteIndex();
        reportMapsLacking();
        writeClosingLines();
        return std::move(m_result);
    }

private:
    void status(std::string s) {
        if (m_sink.statusLine) m_sink.statusLine(std::move(s));
    }
    // The same line in the Status list and the log.
    void report(std::string s) {
        m_log->line(s);
        status(std::move(s));
    }

    bool readIndex();
    void removeRunLeftovers();
    void parseLines();
    void planLines();
    std::optional<CacheEntry> planLine(const std::string& line, LinePlan& p);
    const std::string& folderFor(FileType type);
    std::string shadowed(const std::string& name);
    bool isUnfinishedMove(const std::string& from, const std::string& to);
    void startLog();
    size_t batchEnd(size_t next) const;
    void resizeBatch(size_t moves, std::chrono::steady_clock::duration took);
    bool hasMoves(size_t next, size_t end) const;
    void commitRecords(size_t next, size_t end);
    bool recordBatch(const std::vector<int64_t>& notMade, size_t next, size_t end,
                     std::string& error);
    size_t recordAhead(size_t next);
    size_t joinAhead(size_t next, size_t end);
    bool recordMoves(size_t next, size_t end);
    void carryOut(size_t next, size_t end);
    void carryOutLine(LinePlan& p, const std::string& line);
    void moveOne(LinePlan& p, const std::string& line);
    void forgetMovesNotMade();
    bool destinationReady(const std::string& folder);
    void reportHowItEnded();
    void reportNotMoved();
    std::string whyNotMoved(
        const ScanTableEntry& e, const std::string& cacheFile,
        const std::unordered_map<std::string, std::string, FoldedHash, FoldedEqual>& taken) const;
    void rewriteIndex();
    void reportMapsLacking();
    void writeClosingLines();

    const CacheFolders& m_folders;
    const std::string& m_cache;
    const std::unordered_set<std::string>& m_selection;
    const std::vector<ScanTableEntry>& m_scanTable;
    const RunOptions& m_options;
    UndoLog* m_undo;
    const std::string& m_programFolder;
    const WorkSink& m_sink;
    const bool m_real;
    std::optional<RunLog> m_log;                  // made when the run starts
    std::unique_ptr<FolderIndex> m_cacheFiles;    // the cache folder as the run found it
    std::optional<InstalledPackages> m_installed; // read at the first need
    UndoRecord m_record;                          // the next record, its buffers reused
    RunResult m_result;

    std::string m_cacheIni;
    std::vector<std::string> m_lines;
    std::vector<LinePlan> m_plan;
    std::vector<std::array<std::string, 2>> m_candidates; // cache file names of lines to move
    // Old + "\n" + new of every record, read when a destination is first taken.
    std::optional<std::unordered_set<std::string>> m_recorded;
    std::vector<std::string> m_kept; // the lines of the new index
    std::vector<int64_t> m_notMade;  // records whose move did not happen
    // The batch whose records a helper commits (recordAhead), the records of
    // moves not made it takes out, and why it failed.
    std::future<bool> m_ahead;
    std::vector<int64_t> m_aheadNotMade;
    std::string m_aheadError;
    static constexpr size_t kTypes = static_cast<size_t>(FileType::Unknown) + 1;
    std::array<std::optional<std::string>, kTypes> m_typeFolders; // a move's destination folder
    std::array<bool, kTypes> m_typeFolderRemembered{};            // in the undo log
    std::array<bool, kTypes> m_typeFolderReady{};                 // there (or made)
    // Destination folders known to exist (made on first need when missing).
    std::unordered_set<std::string> m_readyFolders;
    size_t m_batchMoves = kFirstBatchMoves;
    bool m_undoFailed = false; // no further move
    bool m_bakWritten = false;
    bool m_indexRewritten = false;
    size_t m_linesDropped = 0; // lines of files not found, left out of the new index
    std::string m_bakFile, m_bakError;
    std::vector<const LinePlan*> m_movedMaps;
};

bool CacheRun::readIndex() {
    // The cache folder is read once, for Cache.ini, the leftovers and the
    // plan; the lines are parsed while it is listed.
    ListedCacheIndex index = readListedCacheIndex(
        m_cache,
        [this](std::vector<std::string>& lines) {
            m_lines = std::move(lines);
            parseLines();
        },
        [this] {
            m_lines.clear();
            m_plan.clear();
            m_candidates.clear();
        });
    if (index.path.empty()) return false;
    m_cacheFiles = std::move(index.folder);
    m_cacheIni = std::move(index.path);
    if (!index.read) {
        m_result.indexError = "Cache.ini could not be read: " + m_cacheIni;
        return false;
    }
    m_result.cacheIniFound = true;
    if (m_real && (!m_undo || !m_undo->inTransaction())) {
        m_result.undoError = "the undo log is not open for writing";
        return false;
    }
    return true;
}

// What a killed run may have left: half-copied files in the destination
// folders and temporary files of rewritten ones.
void CacheRun::removeRunLeftovers() {
    removeLeftovers(*m_cacheFiles);
    removeBackupLeftovers(*m_cacheFiles);
    removeLeftovers(m_programFolder);
    std::unordered_set<std::string> seen;
    for (FileType t : {FileType::Map, FileType::Texture, FileType::Music, FileType::Sound,
                       FileType::StaticMesh, FileType::Animation, FileType::Code}) {
        std::string folder = destinationFolderFor(t, m_folders, m_options);
        if (seen.insert(folder).second) removeLeftovers(folder);
    }
}

// What each line says and whether it is one the run moves.
void CacheRun::parseLines() {
    m_plan.resize(m_lines.size());
    m_candidates.resize(m_lines.size());
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (auto e = planLine(m_lines[i], m_plan[i]))
            m_candidates[i] = {std::move(e->candidate1), std::move(e->candidate2)};
}

// Every line's outcome, decided before anything is touched.
void CacheRun::planLines() {
    // The leftovers removed are still listed: no line names one.
    const FolderIndex& cacheFiles = *m_cacheFiles;
    // Cache files an earlier line moves, by their entry of the listing.
    std::unordered_set<const FolderIndex::Entry*> taken;
    taken.reserve(m_lines.size());
    DestinationIndex destinations;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        LinePlan& p = m_plan[i];
        if (p.kind != LinePlan::Kind::Move) continue;
        const auto& candidates = m_candidates[i];
        // The cache file: the first of the line's two names that is a file
        // no earlier line takes.
        const FolderIndex::Entry* file = nullptr;
        for (const std::string& c : candidates) {
            const FolderIndex::Entry* e = cacheFiles.entry(c);
            if (e && !taken.count(e) && cacheFiles.isFile(*e)) {
                file = e;
                break;
            }
        }
        if (!file) {
            p.kind = LinePlan::Kind::NotFound;
            p.cacheFile = candidates[0];
            continue;
        }
        p.cacheFile = file->name;
        const std::string& folder = folderFor(p.type);
        if (!folder.empty()) p.destination = joinPath(folder, p.name); // a plain name
        if (folder.empty()) {
            p.kind = LinePlan::Kind::Unsafe;
        } else if (destinations.taken(folder, p.name)) {
            if (isUnfinishedMove(joinPath(m_cache, p.cacheFile), p.destination)) {
                p.kind = LinePlan::Kind::Finish;
                taken.insert(file);
            } else {
                p.kind = LinePlan::Kind::Existing;
            }
        } else if (std::string there = shadowed(p.name); !there.empty()) {
            // The game reads a package of that name from another of its
            // folders: a copy here would shadow it.
            p.kind = LinePlan::Kind::Existing;
            p.destination = std::move(there);
        } else {
            taken.insert(file);
            destinations.add(folder, p.name);
            m_result.movesPlanned += 1;
        }
    }
}

// The package of this name that the game reads from one of its folders,
// when the run moves into the game's folders; empty when there is none.
std::string CacheRun::shadowed(const std::string& name) {
    if (m_options.mode != RunOptions::Mode::Norm) return {};
    if (!m_installed) m_installed.emplace(m_folders);
    return m_installed->find(name);
}

// The destination folder of a type, worked out once per run.
const std::string& CacheRun::folderFor(FileType type) {
    auto& folder = m_typeFolders[static_cast<size_t>(type)];
    if (!folder) folder = destinationFolderFor(type, m_folders, m_options);
    return *folder;
}

// What a line is when its file is not looked at: kept, dropped, refused, or
// a move still to be worked out (Move, with the line's entry; its name is
// moved into `p`).
std::optional<CacheEntry> CacheRun::planLine(const std::string& line, LinePlan& p) {
    auto entry = parseCacheLine(line, m_folders.cacheExt);
    if (entry && !isPlainFileName(entry->name)) {
        p.kind = LinePlan::Kind::Unsafe;
        p.name = std::move(entry->name);
        return std::nullopt;
    }
    if (!entry || !m_selection.count(entry->name)) {
        p.kind =
            line.find("[Cache]") == std::string::npos ? LinePlan::Kind::Keep : LinePlan::Kind::Drop;
        return std::nullopt;
    }
    p.name = std::move(entry->name);
    p.type = fileTypeOf(p.name);
    p.kind = p.type == FileType::Unknown ? LinePlan::Kind::Unknown : LinePlan::Kind::Move;
    return entry;
}

// A killed run copied this file to its destination (with its record) but
// did not remove it from the cache.
bool CacheRun::isUnfinishedMove(const std::string& from, const std::string& to) {
    if (!m_real) return false;
    if (!m_recorded) {
        m_recorded.emplace();
        std::vector<UndoRecord> records;
        m_undo->allRecords(records);
        for (const auto& r : records)
            m_recorded->insert(r.OldFName + '\n' + r.NewFName);
    }
    return m_recorded->count(from + '\n' + to) && sameContent(from, to);
}

void CacheRun::startLog() {
    m_log.emplace(runLogPath(m_programFolder), m_real);
    if (m_real && !m_log->created()) m_result.failures.push_back(m_log->error());
    m_log->line("{{ Using " + m_cache + " as the CACHE directory }}");
    m_log->line("");
    m_log->flush();
    crashPoint("run log started");
}

// The batch: lines up to the one that holds its last move.
size_t CacheRun::batchEnd(size_t next) const {
    size_t moves = 0;
    while (next < m_plan.size() && moves < m_batchMoves) {
        if (m_plan[next].kind == LinePlan::Kind::Move) ++moves;
        ++next;
    }
    return next;
}

void CacheRun::resizeBatch(size_t moves, std::chrono::steady_clock::duration took) {
    if (moves == 0) return;
    const auto us =
        std::max<int64_t>(1, std::chrono::duration_cast<std::chrono::microseconds>(took).count());
    const auto atPace =
        static_cast<size_t>(static_cast<double>(moves) *
                            static_cast<double>(std::chrono::microseconds(kBatchTime).count()) /
                            static_cast<double>(us));
    m_batchMoves = std::clamp(atPace, kMinBatchMoves,
                              std::min(kMaxBatchMoves, m_batchMoves * kMaxBatchGrowth));
}

// One transaction: forget the moves that were not made, record the ones
// about to be made. Asked to stop, no record is committed for the moves
// not made.
bool CacheRun::hasMoves(size_t next, size_t end) const {
    return std::any_of(m_plan.begin() + static_cast<std::ptrdiff_t>(next),
                       m_plan.begin() + static_cast<std::ptrdiff_t>(end),
                       [](const LinePlan& p) { return p.kind == LinePlan::Kind::Move; });
}

void CacheRun::commitRecords(size_t next, size_t end) {
    if (!m_real || m_undoFailed || m_result.stopped) return;
    const bool moves = hasMoves(next, end);
    if (moves && m_sink.stopAsked()) {
        m_result.stopped = true;
        return;
    }
    if (!moves && m_notMade.empty()) return;
    if (recordBatch(m_notMade, next, end, m_result.undoError))
        m_notMade.clear();
    else
        m_undoFailed = true;
}

// One transaction: forget the moves that were not made, record the ones
// about to be made. On failure nothing of it is kept and `error` says why.
bool CacheRun::recordBatch(const std::vector<int64_t>& notMade, size_t next, size_t end,
                           std::string& error) {
    bool ok = m_undo->inTransaction() || m_undo->beginWrite();
    for (int64_t id : notMade)
        ok = ok && m_undo->removeRow(id);
    ok = ok && recordMoves(next, end) && m_undo->commit();
    crashPoint("undo records committed");
    if (ok) return true;
    error = m_undo->lastError();
    if (m_undo->inTransaction()) m_undo->rollback();
    return false;
}

// Starts committing the records of the batch after `next` on a helper
// thread; the batch's end, or `next` when nothing was started (the batch is
// then recorded as it comes). The helper touches only that batch's plans
// and the undo log, which this thread leaves alone meanwhile.
size_t CacheRun::recordAhead(size_t next) {
    if (!m_real || m_undoFailed || m_result.stopped || next >= m_plan.size()) return next;
    const size_t end = batchEnd(next);
    if (!hasMoves(next, end)) return next;
    m_aheadNotMade = std::move(m_notMade);
    m_notMade.clear();
    try {
        m_ahead = std::async(std::launch::async, [this, next, end] {
            return recordBatch(m_aheadNotMade, next, end, m_aheadError);
        });
    } catch (const std::system_error&) {
        m_notMade = std::move(m_aheadNotMade); // no thread to be had: recorded as it comes
        return next;
    }
    return end;
}

// The helper's batch, once its records are in: a Stop asked meanwhile still
// holds its moves back, and its records go again at the end.
size_t CacheRun::joinAhead(size_t next, size_t end) {
    if (!m_ahead.get()) {
        m_result.undoError = m_aheadError;
        m_undoFailed = true;
        return end;
    }
    m_aheadNotMade.clear();
    if (m_sink.stopAsked()) {
        m_result.stopped = true;
        for (size_t i = next; i < end; ++i)
            if (m_plan[i].kind == LinePlan::Kind::Move) m_notMade.push_back(m_plan[i].rowid);
    }
    return end;
}

bool CacheRun::recordMoves(size_t next, size_t end) {
    for (size_t i = next; i < end; ++i) {
        LinePlan& p = m_plan[i];
        if (p.kind != LinePlan::Kind::Move) continue;
        // The undo takes files back only from folders a run moved into.
        if (bool& remembered = m_typeFolderRemembered[static_cast<size_t>(p.type)]; !remembered) {
            if (!m_undo->rememberFolder(folderOf(p.destination))) return false;
            remembered = true;
        }
        m_record.OldFName = joinPath(m_cache, p.cacheFile);
        m_record.NewFName = p.destination;
        p.rowid = m_undo->insert(m_record);
        if (p.rowid == 0) return false;
        // The undo writes "<cache file's name>=<name>" back; any other line
        // is kept as it was.
        if (!isRebuiltLine(m_lines[i], p.cacheFile, p.name) &&
            !m_undo->rememberLine(p.rowid, m_lines[i]))
            return false;
    }
    return true;
}

void CacheRun::carryOut(size_t next, size_t end) {
    for (size_t i = next; i < end; ++i) {
        // Stopped: every line from here on stays as it was, without a word.
        if (m_result.stopped && m_real) {
            if (m_plan[i].kind != LinePlan::Kind::Drop) m_kept.push_back(m_lines[i]);
            continue;
        }
        carryOutLine(m_plan[i], m_lines[i]);
    }
}

void CacheRun::carryOutLine(LinePlan& p, const std::string& line) {
    switch (p.kind) {
    case LinePlan::Kind::Keep:
        m_kept.push_back(line);
        return;
    case LinePlan::Kind::Drop:
        return;
    case LinePlan::Kind::Unsafe:
        status(p.name + " is not a plain file name and cannot be moved");
        m_log->line(p.name + "  is not a plain file name and cannot be moved");
        m_kept.push_back(line);
        return;
    case LinePlan::Kind::Unknown:
        status(p.name + " does NOT have a known file extension and cannot be moved");
        m_log->line(p.name + "  does NOT have a known file extension and cannot be moved");
        m_kept.push_back(line);
        return;
    case LinePlan::Kind::NotFound:
        report(p.cacheFile + " NOT FOUND in the Cache Directory");
        ++m_linesDropped;
        return;
    case LinePlan::Kind::Existing:
        // The player's file stays; the package stays in the cache.
        m_result.existing.push_back(p.destination);
        m_kept.push_back(line);
        return;
    case LinePlan::Kind::Finish: {
        std::string error;
        if (m_real && !removeFile(joinPath(m_cache, p.cacheFile), &error)) {
            m_result.failures.push_back(error);
            m_kept.push_back(line);
            return;
        }
        report(moveLine(p.cacheFile, p.destination));
        ++m_result.moved;
        m_result.movedFiles.push_back({p.type, p.destination});
        if (p.type == FileType::Map) m_movedMaps.push_back(&p);
        return;
    }
    case LinePlan::Kind::Move:
        moveOne(p, line);
        return;
    }
}

void CacheRun::moveOne(LinePlan& p, const std::string& line) {
    if (!m_real) {
        status(moveLine(p.cacheFile, p.destination));
        return;
    }
    if (m_undoFailed || m_result.stopped) {
        m_kept.push_back(line);
        return;
    }
    ++m_result.movesDone;
    std::string error;
    int code = 0;
    // A fresh player folder has no Maps, Textures, ... until something goes there.
    if (bool& ready = m_typeFolderReady[static_cast<size_t>(p.type)]; !ready)
        ready = destinationReady(folderOf(p.destination));
    // A link in the cache is no download: moved, it would put a link to
    // some other file into the game.
    if (isSymlink(joinPath(m_cache, p.cacheFile))) {
        m_notMade.push_back(p.rowid);
        m_kept.push_back(line);
        error = joinPath(m_cache, p.cacheFile) + " is a link, not a downloaded file";
        report("**ERROR** " + error + " (" + p.name + " stays in the cache)");
        m_result.failures.push_back(error);
        return;
    }
    if (moveNoReplace(joinPath(m_cache, p.cacheFile), p.destination, &error, &code)) {
        crashPoint("file moved");
        report(moveLine(p.cacheFile, p.destination));
        ++m_result.moved;
        m_result.movedFiles.push_back({p.type, p.destination});
        if (p.type == FileType::Map) m_movedMaps.push_back(&p);
        return;
    }
    // The file stays in the cache, so its line stays in the index.
    m_notMade.push_back(p.rowid);
    m_kept.push_back(line);
    if (code == EEXIST) {
        m_result.existing.push_back(p.destination);
        return;
    }
    report("**ERROR** " + error + " (" + p.name + " stays in the cache)");
    m_result.failures.push_back(error);
}

// Makes a missing destination folder, said in the Status list and the log.
// When it cannot be made the move itself fails and says why.
bool CacheRun::destinationReady(const std::string& folder) {
    if (m_readyFolders.count(folder)) return true;
    if (!folderExists(folder)) {
        if (!makeFolder(folder)) return false;
        report("Created folder " + folder);
    }
    m_readyFolders.insert(folder);
    return true;
}

// Records of moves that were not made go; harmless when that fails, as the
// undo drops a record whose file is still in the cache.
void CacheRun::forgetMovesNotMade() {
    if (!m_undoFailed && !m_notMade.empty()) {
        bool ok = m_undo->inTransaction() || m_undo->beginWrite();
        for (int64_t id : m_notMade)
            ok = ok && m_undo->removeRow(id);
        if (!(ok && m_undo->commit()) && m_undo->inTransaction()) m_undo->rollback();
    }
    if (m_undo && m_undo->inTransaction()) m_undo->commit();
}

void CacheRun::reportHowItEnded() {
    if (!m_result.undoError.empty())
        report("**ERROR** The undo log cannot be written (" + m_result.undoError +
               "); the files not yet moved stay in the cache");
    crashPoint("moves logged");
}

// What is still in the cache folder, under either of its names.
void CacheRun::reportNotMoved() {
    if (m_scanTable.empty()) return;
    const FolderIndex after(m_cache);
    // Packages kept because their name is taken: what is there tells why.
    std::unordered_map<std::string, std::string, FoldedHash, FoldedEqual> taken;
    for (const auto& destination : m_result.existing)
        taken.emplace(fileNameOf(destination), destination);
    for (const auto& e : m_scanTable) {
        auto file = after.find(e.candidate);
        if (!file) file = after.find(e.candidate2);
        if (!file) continue;
        report(*file + " {" + e.name + "} was not moved.");
        const std::string why = whyNotMoved(e, *file, taken);
        if (!why.empty()) report(why);
    }
}

// A package the game has under its name (any letter case), whether the
// run was asked to move it or it was left unticked: what that file is.
std::string CacheRun::whyNotMoved(
    const ScanTableEntry& e, const std::string& cacheFile,
    const std::unordered_map<std::string, std::string, FoldedHash, FoldedEqual>& taken) const {
    const FileType type = fileTypeOf(e.name);
    std::string there;
    if (auto t = taken.find(e.name); t != taken.end())
        there = t->second;
    else if (!m_selection.count(e.name))
        there = destinationFor(type, e.name, m_folders, m_options);
    if (there.empty()) return {};
    const auto found = lookupInFolder(folderOf(there), fileNameOf(there));
    if (!found) return {};
    return whyKept(packageState(joinPath(m_cache, cacheFile), *found, type), e.name);
}

// The old index is kept as cachebak.ini and the new one replaces Cache.ini
// in one step, so the cache always has an index.
void CacheRun::rewriteIndex() {
    crashPoint("before the new index");
    m_bakFile = findInFolder(m_cache, "cachebak.ini");
    // The old index itself becomes cachebak.ini (made durable with the new
    // index); copied where the file system has no hard links.
    m_bakWritten = isRegularFile(m_cacheIni) && linkReplacing(m_cacheIni, m_bakFile);
    if (!m_bakWritten) {
        auto old = readFile(m_cacheIni);
        m_bakWritten = old && writeFileAtomic(m_bakFile, *old, &m_bakError);
        if (!old) m_bakError = "Cannot read " + m_cacheIni;
    }
    crashPoint("cachebak.ini written");
    m_kept.insert(m_kept.begin(), "[Cache]");
    m_result.indexWritten = writeLinesAtomic(m_cacheIni, m_kept, &m_result.indexError);
    m_indexRewritten = true;
    crashPoint("new index written");
}

// A map moved without a package it needs does not load: said per map,
// against the game as the run left it.
void CacheRun::reportMapsLacking() {
    if (m_movedMaps.empty()) return;
    const std::vector<ScanTableEntry> cache = readCacheEntries(m_folders);
    const PackageResolver resolver(m_folders, cache);
    for (const LinePlan* map : m_movedMaps) {
        const PackageImports imports = readPackageImports(map->destination);
        std::vector<NeededPackage> lacking = resolver.lacking(imports.needs);
        if (const std::string song = mapSong(map->destination); !song.empty())
            if (auto music = resolver.resolveMusic(song);
                music.where != NeededPackage::Where::Installed)
                lacking.push_back(std::move(music));
        if (lacking.empty()) continue;
        std::string names;
        for (const auto& p : lacking)
            names += (names.empty() ? "" : ", ") + shownName(p);
        report(map->name + " needs " + names +
               (lacking.size() == 1 ? ", which is not installed" : ", which are not installed"));
    }
}

void CacheRun::writeClosingLines() {
    if (m_log->created()) status(runLogPath(m_programFolder) + " was created.");
    if (m_indexRewritten) {
        if (m_bakWritten)
            report(indexKeptLine(m_cacheIni, m_bakFile));
        else
            report("**ERROR** " + fileNameOf(m_bakFile) + " could not be written: " + m_bakError);
        const std::string index =
            m_result.indexWritten
                ? "A new CACHE.INI was created in " + m_cache
                : "**ERROR** A new CACHE.INI could not be written: " + m_result.indexError;
        report(index);
    }
    // How it ended is the run's last word, in the log and the Status list.
    const std::vector<std::string> ending =
        m_result.stopped
            ? std::vector<std::string>{stoppedRunText(m_result)}
            : std::vector<std::string>{"NOTE - files not being moved is due to either the file",
                                       "       not being selected or they already exist."};
    m_log->line("");
    for (const auto& l : ending)
        m_log->line(l);
    m_log->line("");
    if (!m_log->finish() && m_log->created()) m_result.failures.push_back(m_log->error());

    status("");
    status(m_result.stopped ? ending[0]
                            : "** NOTE ** - files not being moved is due to either the file not "
                              "being selected or they already exist.");
    status("");
    status(std::string(102, '~'));
    status("");
}

} // namespace

RunResult RunCache(const CacheFolders& folders, const std::unordered_set<std::string>& selection,
                   const std::vector<ScanTableEntry>& scanTable, const RunOptions& options,
                   UndoLog* undo, const std::string& programFolder, const WorkSink& sink) {
    return CacheRun(folders, selection, scanTable, options, undo, programFolder, sink).run();
}

} // namespace tv
