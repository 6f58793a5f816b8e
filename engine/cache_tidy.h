#pragma once

#include "cache_index.h"
#include "work_sink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// What the tidy of the cache is asked to do.
struct TidyOptions {
    bool duplicates = false;    // cache files whose bytes equal the installed file of their name
    bool staleLines = false;    // index lines whose cache file is gone
    bool orphans = false;       // cache files no line names: listed
    bool deleteOrphans = false; // ... and deleted
    bool dryRun = false;        // says what it would do; writes nothing
};

// What a tidy finds, before it changes anything.
struct TidyPlan {
    struct File {
        std::string name; // in the cache folder
        int64_t size = 0;
        std::string package; // the recorded name; empty for an orphan
    };
    std::vector<File> duplicates;
    std::vector<std::string> duplicateLines;
    std::vector<std::string> staleLines;
    std::vector<File> orphans;
    bool indexFound = false;

    int64_t duplicateBytes() const;
    int64_t orphanBytes() const;
    bool empty() const { return duplicates.empty() && staleLines.empty() && orphans.empty(); }
};

// Reads the cache folder and its index; changes nothing.
TidyPlan planTidy(const CacheFolders& folders, const TidyOptions& options);

struct TidyResult {
    TidyPlan plan;
    size_t filesDeleted = 0;
    int64_t bytesFreed = 0;
    size_t linesRemoved = 0;
    std::vector<std::string> failures; // files that could not be deleted, an index not rewritten
    bool failed() const { return !failures.empty(); }
};

// Carries a plan out: the index's text is kept as cachebak.ini and the lines
// go first (a kill then leaves at most a file no line names), then the
// files. Each change is a Status line and a line of Tessvane.log; the last
// Status line says what was freed. A dry run only says what it would do.
// The plan is made afresh; with `confirmed` (the plan the user was shown)
// only what both hold is done, and what the shown plan held that is no
// longer true (a file changed or gone, a line back) is said and left alone.
TidyResult tidyCache(const CacheFolders& folders, const TidyOptions& options,
                     const std::string& programFolder, const WorkSink& sink,
                     const TidyPlan* confirmed = nullptr);

// "n files and N bytes freed; m lines removed from Cache.ini"
// ("... would be freed; ... would be removed ..." for a dry run).
std::string tidySummary(const TidyResult& result, bool dryRun = false);

} // namespace tv
