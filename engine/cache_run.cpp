#include "cache_run.h"

#include "app/core/undo_log.h"
#include "platform/dates.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"

#include <cstdio>

namespace tv {

namespace {

// The run log, written line by line as the run goes.
class RunLog {
public:
    explicit RunLog(const std::string& path, bool enabled) {
        if (enabled) m_file = std::fopen(path.c_str(), "wb");
    }
    ~RunLog() {
        if (m_file) std::fclose(m_file);
    }
    void line(const std::string& text) {
        if (!m_file) return;
        std::fwrite(text.data(), 1, text.size(), m_file);
        std::fwrite("\r\n", 1, 2, m_file);
    }

private:
    FILE* m_file = nullptr;
};

} // namespace

std::string runLogPath(const std::string& programFolder) {
    return findInFolder(programFolder, "Tessvane.log");
}

std::string moveLine(const std::string& cacheFile, const std::string& destination) {
    return "**OLD** " + cacheFile + "  ---->  **NEW** " + destination;
}

std::string destinationFor(FileType type, const std::string& name, const CacheFolders& folders,
                           const RunOptions& options) {
    if (type == FileType::Unknown) return {};
    switch (options.mode) {
    case RunOptions::Mode::Norm:
        return joinPath(folders.folderFor(type), name);
    case RunOptions::Mode::Dir:
        return joinPath(options.moveDir, name);
    case RunOptions::Mode::Dir2:
        return joinPath(joinPath(options.moveDir2, typeSubfolder(type)), name);
    }
    return {};
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
    auto status = [&](const std::string& s) {
        if (sink.statusLine) sink.statusLine(s);
    };
    RunLog log(runLogPath(programFolder), real);
    log.line("{{ Using " + cache + " as the CACHE directory }}");
    log.line("");

    const std::string today = shortDate(now());
    bool undoOpen = real && undo && undo->isOpen() && undo->begin();
    if (real && undo && !undoOpen) result.undoError = undo->lastError();
    FolderIndex cacheFiles(cache);
    // The folder as it was read; a file that an earlier line of this run
    // moved away is no longer there.
    auto stillThere = [&](const std::string& name) {
        auto f = cacheFiles.find(name);
        return f && fileExists(joinPath(cache, *f));
    };
    std::vector<std::string> kept;
    kept.reserve(lines->size());
    for (const auto& line : *lines) {
        auto entry = parseCacheLine(line, folders.cacheExt);
        bool selected = entry && selection.count(entry->name) > 0;
        if (!selected) {
            if (line.find("[Cache]") == std::string::npos) kept.push_back(line);
            if (sink.yield) sink.yield();
            continue;
        }
        FileType type = fileTypeOf(entry->name);
        if (type == FileType::Unknown) {
            status(entry->name + " does NOT have a known file extension and cannot be moved");
            log.line(entry->name + "  does NOT have a known file extension and cannot be moved");
            kept.push_back(line);
        } else if (auto file = stillThere(entry->candidate1) ? cacheFiles.find(entry->candidate1)
                                                             : cacheFiles.find(entry->candidate2);
                   file && fileExists(joinPath(cache, *file))) {
            std::string destination = destinationFor(type, entry->name, folders, options);
            std::string from = joinPath(cache, *file);
            std::string error;
            if (!real) {
                status(moveLine(*file, destination));
            } else if (moveNoReplace(from, destination, &error)) {
                status(moveLine(*file, destination));
                log.line(moveLine(*file, destination));
                ++result.moved;
                if (undoOpen && !undo->insert({today, from, destination}) &&
                    result.undoError.empty())
                    result.undoError = undo->lastError();
            } else {
                // The file stays in the cache, so its line stays in the index.
                result.refused.push_back(error);
                kept.push_back(line);
            }
        } else {
            status(entry->candidate1 + " NOT FOUND in the Cache Directory");
            log.line(entry->candidate1 + " NOT FOUND in the Cache Directory");
        }
        if (sink.yield) sink.yield();
    }
    if (undoOpen && !undo->commit()) {
        result.undoError = undo->lastError();
        undo->rollback();
    }
    if (!real) return result;

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
    status(runLogPath(programFolder) + " was created.");
    status(cache + "/CACHE.INI was renamed to CACHEBAK.INI");
    log.line(cache + "/CACHE.INI was renamed to CACHEBAK.INI");
    log.line("A new CACHE.INI was created in " + cache);
    log.line("");
    log.line("NOTE - files not being moved is due to either the file");
    log.line("       not being selected or they already exist.");
    log.line("");

    {
        // The old index is kept as cachebak.ini and the new one replaces
        // Cache.ini in one step, so the cache always has an index.
        auto old = readFile(*cacheIni);
        std::string error;
        if (!old || !writeFileAtomic(findInFolder(cache, "cachebak.ini"), *old, &error))
            status("CACHEBAK.INI could not be written: " + error);
        std::vector<std::string> fresh;
        fresh.reserve(kept.size() + 1);
        fresh.push_back("[Cache]");
        fresh.insert(fresh.end(), kept.begin(), kept.end());
        if (!writeLinesAtomic(*cacheIni, fresh, &error)) result.indexError = error;
    }
    status("A new CACHE.INI was created in " + cache);
    status("");
    status("** NOTE ** - files not being moved is due to either the file not being selected or "
           "they already exist.");
    status("");
    status(std::string(102, '~'));
    status("");
    return result;
}

} // namespace tv
