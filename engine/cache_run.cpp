#include "cache_run.h"

#include "backup.h"
#include "run_log.h"

#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "store/undo_log.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <unistd.h>

namespace tv {

namespace {

// Records committed ahead of their moves: small enough that a failed batch
// costs little, large enough that the commits cost little.
constexpr size_t kBatchMoves = 256;

// What the run does with one line of Cache.ini, worked out before any file
// is touched.
struct LinePlan {
    // Finish: a killed run copied the file to its destination (and recorded
    // it) but did not remove it from the cache.
    enum class Kind { Keep, Drop, Unsafe, Unknown, NotFound, Existing, Move, Finish };
    Kind kind = Kind::Keep;
    std::string name;
    std::string cacheFile;   // the file in the cache folder (Move, Existing)
    std::string destination; // Move, Existing
    int64_t rowid = 0;       // the committed undo record (Move)
};

// The destination folders' names, read once and kept up to date as files
// arrive, so that a name already there under another letter case is found.
class DestinationIndex {
public:
    bool taken(const std::string& destination) {
        return m_folders.of(folderOf(destination)).find(fileNameOf(destination)).has_value();
    }
    void add(const std::string& destination) {
        m_folders.of(folderOf(destination)).insert(fileNameOf(destination));
    }

private:
    FolderIndexCache m_folders;
};

} // namespace

std::string moveLine(const std::string& cacheFile, const std::string& destination) {
    return "**OLD** " + cacheFile + "  ---->  **NEW** " + destination;
}

std::string destinationFolderFor(FileType type, const CacheFolders& folders,
                                 const RunOptions& options) {
    if (type == FileType::Unknown) return {};
    switch (options.mode) {
    case RunOptions::Mode::Norm:
        return folders.folderFor(type);
    case RunOptions::Mode::Dir:
        return options.moveDir;
    case RunOptions::Mode::Dir2:
        // The subfolder may exist under another letter case.
        return findInFolder(options.moveDir2, typeSubfolder(type));
    }
    return {};
}

std::string destinationFor(FileType type, const std::string& name, const CacheFolders& folders,
                           const RunOptions& options) {
    std::string folder = destinationFolderFor(type, folders, options);
    if (folder.empty()) return {};
    auto destination = joinPlain(folder, name);
    // Directly inside its folder, whatever the name holds.
    if (!destination || folderOf(*destination) != folderOf(joinPath(folder, "x"))) return {};
    return *destination;
}

RunResult RunCache(const CacheFolders& folders, const std::unordered_set<std::string>& selection,
                   const std::vector<ScanTableEntry>& scanTable, const RunOptions& options,
                   UndoLog* undo, const std::string& programFolder, const RunSink& sink) {
    RunResult result;
    const std::string& cache = folders.cacheFolder;
    auto cacheIni = lookupInFolder(cache, "cache.ini");
    if (!cacheIni || !fileExists(*cacheIni)) return result;
    auto lines = readLines(*cacheIni);
    if (!lines) {
        result.indexError = "Cache.ini could not be read: " + *cacheIni;
        return result;
    }
    result.cacheIniFound = true;
    const bool real = !options.dryRun;
    if (real && (!undo || !undo->inTransaction())) {
        result.undoError = "the undo log is not open for writing";
        return result;
    }
    auto status = [&](const std::string& s) {
        if (sink.statusLine) sink.statusLine(s);
    };
    auto yield = [&] {
        if (sink.yield) sink.yield();
    };

    // What a killed run may have left: half-copied files in the destination
    // folders and temporary files of rewritten ones.
    if (real) {
        removeLeftovers(cache);
        removeBackupLeftovers(cache);
        removeLeftovers(programFolder);
        std::unordered_set<std::string> seen;
        for (FileType t : {FileType::Map, FileType::Texture, FileType::Music, FileType::Sound,
                           FileType::StaticMesh, FileType::Animation, FileType::Code}) {
            std::string folder = destinationFolderFor(t, folders, options);
            if (seen.insert(folder).second) removeLeftovers(folder);
        }
    }

    // Every line's outcome, decided before anything is touched.
    std::vector<LinePlan> plan(lines->size());
    {
        std::unordered_set<std::string> recorded; // old + "\n" + new of every record
        if (real) {
            std::vector<UndoRecord> records;
            undo->allRecords(records);
            for (const auto& r : records)
                recorded.insert(r.OldFName + '\n' + r.NewFName);
        }
        FolderIndex cacheFiles(cache);
        std::unordered_set<std::string> taken; // cache files an earlier line moves
        DestinationIndex destinations;
        for (size_t i = 0; i < lines->size(); ++i) {
            const std::string& line = (*lines)[i];
            LinePlan& p = plan[i];
            auto entry = parseCacheLine(line, folders.cacheExt);
            if (entry && !isPlainFileName(entry->name)) {
                p.kind = LinePlan::Kind::Unsafe;
                p.name = entry->name;
                continue;
            }
            if (!entry || !selection.count(entry->name)) {
                p.kind = line.find("[Cache]") == std::string::npos ? LinePlan::Kind::Keep
                                                                   : LinePlan::Kind::Drop;
                continue;
            }
            p.name = entry->name;
            FileType type = fileTypeOf(entry->name);
            if (type == FileType::Unknown) {
                p.kind = LinePlan::Kind::Unknown;
                continue;
            }
            std::optional<std::string> file;
            for (const auto* c : {&entry->candidate1, &entry->candidate2}) {
                file = cacheFiles.find(*c);
                if (file && !taken.count(*file) && fileExists(joinPath(cache, *file))) break;
                file.reset();
            }
            if (!file) {
                p.kind = LinePlan::Kind::NotFound;
                p.cacheFile = entry->candidate1;
                continue;
            }
            p.cacheFile = *file;
            p.destination = destinationFor(type, entry->name, folders, options);
            if (p.destination.empty()) {
                p.kind = LinePlan::Kind::Unsafe;
            } else if (destinations.taken(p.destination)) {
                std::string from = joinPath(cache, *file);
                p.kind =
                    recorded.count(from + '\n' + p.destination) && sameContent(from, p.destination)
                        ? LinePlan::Kind::Finish
                        : LinePlan::Kind::Existing;
                if (p.kind == LinePlan::Kind::Finish) taken.insert(*file);
            } else {
                p.kind = LinePlan::Kind::Move;
                taken.insert(*file);
                destinations.add(p.destination);
            }
        }
    }

    RunLog log(runLogPath(programFolder), real);
    if (real && !log.created()) result.failures.push_back(log.error());
    log.line("{{ Using " + cache + " as the CACHE directory }}");
    log.line("");
    crashPoint("run log started");

    std::vector<std::string> kept;
    kept.reserve(lines->size());
    std::vector<int64_t> notMade; // records whose move did not happen
    std::unordered_set<std::string> rememberedFolders;
    bool stopped = false; // the undo log failed: no further move
    for (const auto& p : plan)
        result.movesPlanned += p.kind == LinePlan::Kind::Move;
    size_t next = 0;
    while (next < plan.size()) {
        // The batch: lines up to the one that holds its last move.
        size_t end = next;
        size_t moves = 0;
        while (end < plan.size() && moves < kBatchMoves) {
            if (plan[end].kind == LinePlan::Kind::Move) ++moves;
            ++end;
        }
        // Asked to stop: no record is committed for the moves not made.
        if (real && moves > 0 && !result.stopped && sink.stopRequested && sink.stopRequested())
            result.stopped = true;
        if (real && !stopped && !result.stopped && (moves > 0 || !notMade.empty())) {
            // One transaction: forget the moves that were not made, record the
            // ones about to be made.
            bool ok = undo->inTransaction() || undo->beginWrite();
            for (int64_t id : notMade)
                ok = ok && undo->removeRow(id);
            for (size_t i = next; ok && i < end; ++i) {
                LinePlan& p = plan[i];
                if (p.kind != LinePlan::Kind::Move) continue;
                // The undo takes files back only from folders a run moved into.
                const std::string folder = folderOf(p.destination);
                if (!rememberedFolders.count(folder)) {
                    ok = undo->rememberFolder(folder);
                    if (ok) rememberedFolders.insert(folder);
                }
                if (!ok) break;
                p.rowid =
                    undo->insert({options.moveDate, joinPath(cache, p.cacheFile), p.destination});
                ok = p.rowid != 0;
            }
            ok = ok && undo->commit();
            crashPoint("undo records committed");
            if (ok) {
                notMade.clear();
            } else {
                result.undoError = undo->lastError();
                if (undo->inTransaction()) undo->rollback();
                stopped = true;
            }
        }
        for (size_t i = next; i < end; ++i) {
            LinePlan& p = plan[i];
            const std::string& line = (*lines)[i];
            switch (p.kind) {
            case LinePlan::Kind::Keep:
                kept.push_back(line);
                break;
            case LinePlan::Kind::Drop:
                break;
            case LinePlan::Kind::Unsafe:
                status(p.name + " is not a plain file name and cannot be moved");
                log.line(p.name + "  is not a plain file name and cannot be moved");
                kept.push_back(line);
                break;
            case LinePlan::Kind::Unknown:
                status(p.name + " does NOT have a known file extension and cannot be moved");
                log.line(p.name + "  does NOT have a known file extension and cannot be moved");
                kept.push_back(line);
                break;
            case LinePlan::Kind::NotFound:
                status(p.cacheFile + " NOT FOUND in the Cache Directory");
                log.line(p.cacheFile + " NOT FOUND in the Cache Directory");
                break;
            case LinePlan::Kind::Existing:
                // The player's file stays; the package stays in the cache.
                result.existing.push_back(p.destination);
                kept.push_back(line);
                break;
            case LinePlan::Kind::Finish: {
                std::string error;
                if (real && !removeFile(joinPath(cache, p.cacheFile), &error)) {
                    result.failures.push_back(error);
                    kept.push_back(line);
                    break;
                }
                status(moveLine(p.cacheFile, p.destination));
                log.line(moveLine(p.cacheFile, p.destination));
                ++result.moved;
                break;
            }
            case LinePlan::Kind::Move: {
                if (!real) {
                    status(moveLine(p.cacheFile, p.destination));
                    break;
                }
                if (stopped || result.stopped) {
                    kept.push_back(line);
                    break;
                }
                ++result.movesDone;
                std::string error;
                int code = 0;
                if (moveNoReplace(joinPath(cache, p.cacheFile), p.destination, &error, &code)) {
                    crashPoint("file moved");
                    status(moveLine(p.cacheFile, p.destination));
                    log.line(moveLine(p.cacheFile, p.destination));
                    crashPoint("move logged");
                    ++result.moved;
                    break;
                }
                // The file stays in the cache, so its line stays in the index.
                notMade.push_back(p.rowid);
                kept.push_back(line);
                if (code == EEXIST) {
                    result.existing.push_back(p.destination);
                } else {
                    std::string text =
                        "**ERROR** " + error + " (" + p.name + " stays in the cache)";
                    status(text);
                    log.line(text);
                    result.failures.push_back(error);
                }
                break;
            }
            }
            yield();
        }
        next = end;
        if (sink.progress && real) sink.progress(result.movesDone, result.movesPlanned);
    }
    if (real && !stopped && !notMade.empty()) {
        bool ok = undo->inTransaction() || undo->beginWrite();
        for (int64_t id : notMade)
            ok = ok && undo->removeRow(id);
        if (!(ok && undo->commit())) {
            // Harmless: the undo drops a record whose file is still in the cache.
            if (undo->inTransaction()) undo->rollback();
        }
    }
    if (real && undo && undo->inTransaction()) undo->commit();
    if (!real) return result;
    if (!result.undoError.empty()) {
        std::string text = "**ERROR** The undo log cannot be written (" + result.undoError +
                           "); the files not yet moved stay in the cache";
        status(text);
        log.line(text);
    }
    if (result.stopped) {
        std::string text = "Stopped after " + std::to_string(result.movesDone) + " of " +
                           std::to_string(result.movesPlanned);
        status(text);
        log.line(text);
    }

    // What is still in the cache folder, under either of its names.
    FolderIndex after(cache);
    for (const auto& e : scanTable) {
        auto file = after.find(e.candidate);
        if (!file) file = after.find(e.candidate2);
        if (!file) continue;
        std::string text = *file + " {" + e.name + "} was not moved.";
        log.line(text);
        status(text);
    }

    // The old index is kept as cachebak.ini and the new one replaces
    // Cache.ini in one step, so the cache always has an index.
    crashPoint("before the new index");
    std::string bakError;
    auto old = readFile(*cacheIni);
    bool bakWritten = old && writeFileAtomic(findInFolder(cache, "cachebak.ini"), *old, &bakError);
    if (!old) bakError = "Cannot read " + *cacheIni;
    crashPoint("cachebak.ini written");
    std::vector<std::string> fresh;
    fresh.reserve(kept.size() + 1);
    fresh.push_back("[Cache]");
    fresh.insert(fresh.end(), kept.begin(), kept.end());
    result.indexWritten = writeLinesAtomic(*cacheIni, fresh, &result.indexError);
    crashPoint("new index written");

    if (log.created()) status(runLogPath(programFolder) + " was created.");
    if (bakWritten) {
        status(cache + "/CACHE.INI was renamed to CACHEBAK.INI");
        log.line(cache + "/CACHE.INI was renamed to CACHEBAK.INI");
    } else {
        status("**ERROR** CACHEBAK.INI could not be written: " + bakError);
        log.line("**ERROR** CACHEBAK.INI could not be written: " + bakError);
    }
    if (result.indexWritten) {
        log.line("A new CACHE.INI was created in " + cache);
    } else {
        log.line("**ERROR** A new CACHE.INI could not be written: " + result.indexError);
    }
    log.line("");
    log.line("NOTE - files not being moved is due to either the file");
    log.line("       not being selected or they already exist.");
    log.line("");
    if (!log.finish() && log.created()) result.failures.push_back(log.error());

    if (result.indexWritten)
        status("A new CACHE.INI was created in " + cache);
    else
        status("**ERROR** A new CACHE.INI could not be written: " + result.indexError);
    status("");
    status("** NOTE ** - files not being moved is due to either the file not being selected or "
           "they already exist.");
    status("");
    status(std::string(102, '~'));
    status("");
    return result;
}

} // namespace tv
