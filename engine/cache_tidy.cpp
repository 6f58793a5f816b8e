#include "cache_tidy.h"

#include "installed_packages.h"

#include "formats/package_header.h"
#include "run_log.h"

#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <unordered_set>

namespace tv {

int64_t TidyPlan::duplicateBytes() const {
    int64_t n = 0;
    for (const auto& f : duplicates)
        n += f.size;
    return n;
}

int64_t TidyPlan::orphanBytes() const {
    int64_t n = 0;
    for (const auto& f : orphans)
        n += f.size;
    return n;
}

namespace {

void planOrphans(const CacheFolders& folders, const FolderIndex& cache,
                 const std::unordered_set<std::string>& named, TidyPlan& plan) {
    const std::string ext = "." + folders.cacheExt;
    std::vector<std::string> names;
    listFolder(folders.cacheFolder, [&](std::string_view n) {
        if (endsWithNoCase(n, ext) && !named.count(toLower(n))) names.emplace_back(n);
    });
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        if (!cache.isFile(n)) continue;
        plan.orphans.push_back({n, fileSize(joinPath(folders.cacheFolder, n)).value_or(0), {}});
    }
}

} // namespace

TidyPlan planTidy(const CacheFolders& folders, const TidyOptions& options) {
    TidyPlan plan;
    auto cacheIni = lookupInFolder(folders.cacheFolder, "cache.ini");
    std::optional<std::vector<std::string>> lines;
    if (cacheIni) lines = readLines(*cacheIni);
    plan.indexFound = lines.has_value();
    if (!lines) return plan;
    const FolderIndex cache(folders.cacheFolder);
    std::optional<InstalledPackages> installedPackages; // read at the first need
    std::unordered_set<std::string> named;              // cache files some line names, lower case
    for (const auto& line : *lines) {
        auto e = parseCacheLine(line, folders.cacheExt);
        if (!e) continue;
        named.insert(toLower(e->candidate1));
        named.insert(toLower(e->candidate2));
        auto file = cache.find(e->candidate1);
        if (!file) file = cache.find(e->candidate2);
        if (!file) {
            if (options.staleLines) plan.staleLines.push_back(line);
            continue;
        }
        if (!options.duplicates || !isPlainFileName(e->name)) continue;
        const std::string path = joinPath(folders.cacheFolder, *file);
        if (!installedPackages) installedPackages.emplace(folders);
        const std::string installed = installedPackages->find(e->name);
        // An installed link (or a second name of the cache file) is no copy:
        // deleting the cache file would take the game's only bytes.
        if (installed.empty() || oneFile(path, installed) || !sameContent(path, installed))
            continue;
        // A map that needs the package gets the file the game loads for its
        // name, which may be another (an earlier Paths= folder): the cache
        // copy goes only when that one is identical too.
        const std::string loaded =
            installedPackages->findPackage(std::string(packageStem(e->name)));
        if (loaded != installed && (loaded.empty() || !sameContent(path, loaded))) continue;
        plan.duplicates.push_back({*file, fileSize(path).value_or(0), e->name});
        plan.duplicateLines.push_back(line);
    }
    if (options.orphans) planOrphans(folders, cache, named, plan);
    return plan;
}

namespace {

class Tidy {
public:
    Tidy(const CacheFolders& folders, const TidyOptions& options, const std::string& program,
         const WorkSink& sink)
        : m_folders(folders), m_options(options), m_sink(sink),
          m_log(runLogPath(program), !options.dryRun) {}

    TidyResult run(const TidyPlan* confirmed) {
        // What a killed rewrite left goes first.
        if (!m_options.dryRun) removeLeftovers(m_folders.cacheFolder);
        m_result.plan = planTidy(m_folders, m_options);
        const TidyPlan& plan = m_result.plan;
        if (!plan.indexFound) return std::move(m_result);
        m_log.line("Tidying the cache " + m_folders.cacheFolder);
        if (confirmed) keepOnlyConfirmed(*confirmed);
        if (!plan.duplicateLines.empty() || !plan.staleLines.empty()) removeLines();
        for (const auto& f : plan.duplicates)
            deleteFile(f, "identical to the installed " + f.package);
        for (const auto& f : plan.orphans) {
            if (m_options.deleteOrphans)
                deleteFile(f, "no line of Cache.ini names it");
            else
                say(f.name + " (" + std::to_string(f.size) +
                    " bytes): no line of Cache.ini names it");
        }
        // The summary says itself whether anything was done.
        m_sink.status(tidySummary(m_result, m_options.dryRun));
        m_log.line(tidySummary(m_result, m_options.dryRun));
        m_log.line("");
        return std::move(m_result);
    }

private:
    // The fresh plan cut down to what the shown one held; what the shown one
    // held and the fresh one does not is said.
    void keepOnlyConfirmed(const TidyPlan& shown) {
        TidyPlan& plan = m_result.plan;
        auto key = [](const TidyPlan::File& f) { return f.name + '\n' + std::to_string(f.size); };
        std::unordered_set<std::string> wanted, now;
        for (const auto& f : shown.duplicates)
            wanted.insert(key(f));
        TidyPlan kept = plan;
        kept.duplicates.clear();
        kept.duplicateLines.clear();
        for (size_t i = 0; i < plan.duplicates.size(); ++i) {
            now.insert(key(plan.duplicates[i]));
            if (!wanted.count(key(plan.duplicates[i]))) continue;
            kept.duplicates.push_back(plan.duplicates[i]);
            kept.duplicateLines.push_back(plan.duplicateLines[i]);
        }
        for (const auto& f : shown.duplicates)
            if (!now.count(key(f))) say(f.name + " changed since the tidy was planned: left alone");
        const std::unordered_set<std::string> shownLines(shown.staleLines.begin(),
                                                         shown.staleLines.end());
        kept.staleLines.clear();
        for (const auto& line : plan.staleLines)
            if (shownLines.count(line)) kept.staleLines.push_back(line);
        wanted.clear();
        for (const auto& f : shown.orphans)
            wanted.insert(key(f));
        kept.orphans.clear();
        for (const auto& f : plan.orphans)
            if (wanted.count(key(f))) kept.orphans.push_back(f);
        plan = std::move(kept);
    }

    void say(const std::string& line) {
        m_sink.status((m_options.dryRun ? "Would: " : "") + line);
        m_log.line(line);
    }

    // The old index as cachebak.ini, then the index without the lines.
    void removeLines() {
        const std::string index = findInFolder(m_folders.cacheFolder, "cache.ini");
        std::unordered_set<std::string> drop(m_result.plan.duplicateLines.begin(),
                                             m_result.plan.duplicateLines.end());
        drop.insert(m_result.plan.staleLines.begin(), m_result.plan.staleLines.end());
        auto sayRemoved = [&] {
            for (const auto& line : m_result.plan.staleLines)
                say("Removed the line " + line + ": its cache file is gone");
        };
        if (m_options.dryRun) {
            sayRemoved();
            m_result.linesRemoved = drop.size();
            return;
        }
        auto text = readFile(index);
        auto lines = readLines(index);
        std::string error;
        if (!text || !lines ||
            !writeFileAtomic(findInFolder(m_folders.cacheFolder, "cachebak.ini"), *text, &error)) {
            fail("Cache.ini was not changed: cachebak.ini could not be written " + error);
            return;
        }
        crashPoint("tidy: cachebak.ini written");
        std::vector<std::string> kept;
        for (auto& l : *lines)
            if (!drop.count(l)) kept.push_back(std::move(l));
        if (!writeLinesAtomic(index, kept, &error)) {
            fail("Cache.ini could not be rewritten: " + error);
            return;
        }
        crashPoint("tidy: index rewritten");
        sayRemoved();
        m_result.linesRemoved = lines->size() - kept.size();
        m_linesGone = true;
    }

    void deleteFile(const TidyPlan::File& f, const std::string& why) {
        // A duplicate keeps its file while its line could not go.
        if (!f.package.empty() && !m_linesGone && !m_options.dryRun) return;
        if (!m_options.dryRun) {
            std::string error;
            if (!removeFile(joinPath(m_folders.cacheFolder, f.name), &error)) {
                fail(error);
                return;
            }
            crashPoint("tidy: file deleted");
        }
        ++m_result.filesDeleted;
        m_result.bytesFreed += f.size;
        say("Deleted " + f.name + (f.package.empty() ? "" : " {" + f.package + "}") + " (" +
            std::to_string(f.size) + " bytes): " + why);
    }

    void fail(const std::string& why) {
        m_result.failures.push_back(why);
        m_sink.status("**ERROR** " + why);
        m_log.line("**ERROR** " + why);
    }

    const CacheFolders& m_folders;
    const TidyOptions& m_options;
    const WorkSink& m_sink;
    RunLog m_log;
    TidyResult m_result;
    bool m_linesGone = false;
};

} // namespace

TidyResult tidyCache(const CacheFolders& folders, const TidyOptions& options,
                     const std::string& programFolder, const WorkSink& sink,
                     const TidyPlan* confirmed) {
    return Tidy(folders, options, programFolder, sink).run(confirmed);
}

std::string tidySummary(const TidyResult& r, bool dryRun) {
    const char* freed = dryRun ? " bytes would be freed; " : " bytes freed; ";
    const char* removed = dryRun ? " would be removed from Cache.ini" : " removed from Cache.ini";
    return std::to_string(r.filesDeleted) + (r.filesDeleted == 1 ? " file and " : " files and ") +
           std::to_string(r.bytesFreed) + freed + std::to_string(r.linesRemoved) +
           (r.linesRemoved == 1 ? " line" : " lines") + removed;
}

} // namespace tv
