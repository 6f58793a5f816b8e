// Keeping the cache in order: tidying, purging, the never-move list.
#include "session.h"

#include "engine/cache_purge.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

namespace tv {

// ---- the purge period -----------------------------------------------------------------

bool Session::SetPurgeDays() {
    // One writer of the game's configuration at a time, and never while the
    // game runs: it writes its configuration back when it ends.
    return operate({.busy = false}, [&](const Work& work) {
        return m_housekeeping.setPurgeDays(work.folders.gameIni);
    });
}

// ---- tidying the cache ------------------------------------------------------------------

TidyPlan Session::planTidy(const TidyOptions& options) const {
    return tv::planTidy(foldersOf(m_install), options);
}

bool Session::tidyCache(const TidyOptions& options, const TidyPlan* confirmed) {
    m_lastTidy = TidyResult{};
    // A dry run needs neither the lock nor the game stopped: it writes nothing.
    return operate(options.dryRun ? readsOnly() : Needs{},
                   [&](const Work& work) { return tidyBody(work, options, confirmed); });
}

bool Session::tidyBody(const Work& work, const TidyOptions& options, const TidyPlan* confirmed) {
    setStatusText("Tidying the cache...");
    m_lastTidy = tv::tidyCache(work.folders, options, m_programFolder, workSink(), confirmed);
    if (!m_lastTidy.plan.indexFound) {
        setStatusText("Cache.INI is missing in " + work.folders.cacheFolder);
        m_prompter.message("Cache.INI is MISSING...can't proceed!", "Critical file missing!");
        return false;
    }
    if (m_lastTidy.failed()) m_lastFailed = true;
    const bool changed =
        !options.dryRun && (m_lastTidy.filesDeleted > 0 || m_lastTidy.linesRemoved > 0);
    if (changed) ScanCache();
    setStatusText(tidySummary(m_lastTidy, options.dryRun));
    return true;
}

// ---- housekeeping ---------------------------------------------------------------------

bool Session::confirmPurge() {
    m_lastFailed = false;
    int entries = m_housekeeping.entriesToPurge(m_install);
    if (entries < 0) {
        m_lastFailed = entries == kPurgeIndexUnreadable;
        return false;
    }
    if (entries == 0) {
        m_prompter.message("Cache already empty...");
        return false;
    }
    if (!m_prompter.question("Are you sure you want to DELETE all cache files?")) {
        m_prompter.message("Purge cancelled.");
        return false;
    }
    return true;
}

bool Session::purgeCache() {
    return operate({.busy = false}, [&](const Work& work) {
        PurgeResult r =
            m_housekeeping.purge(work.install, [this](const std::string& l) { addStatusLine(l); });
        if (r.failed) m_lastFailed = true;
        if (!r.purged) return false;
        setStatusText("Re-scanning files...");
        ScanCache();
        return true;
    });
}

void Session::deleteTempFiles() {
    // A running game may be writing its .tmp files (a download under way).
    operate({.busy = false}, [&](const Work& work) {
        const GameInstall& in = work.install;
        if (m_housekeeping.deleteTempFiles(in.userFolder.empty() ? in.gameFolder : in.userFolder))
            return true;
        m_lastFailed = true;
        return false;
    });
}

// ---- the never-move list --------------------------------------------------------------

void Session::applyNeverMoveList() {
    m_fileList.applyChangedNeverMove(m_neverMove.list(), m_settings);
    updateFoundText();
    rowsChanged();
}

void Session::reloadNeverMoveList() {
    m_neverMove.reload();
    applyNeverMoveList();
}

bool Session::neverMoveSave() {
    return operate({.busy = false, .gameStopped = false}, [&](const Work&) {
        std::string error;
        if (!m_neverMove.save(&error))
            return refuse("The never-move list could not be saved: " + error);
        applyNeverMoveList();
        return true;
    });
}

bool Session::confirmAddRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove) return false;
    return m_prompter.question(
        "Add " + toUpper(m_fileList.rows()[row].text) + " to the never move list?", "Add File");
}

bool Session::addRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove) return false;
    return operate({.busy = false, .gameStopped = false}, [&](const Work&) {
        std::string error;
        if (!m_neverMove.appendName(m_fileList.rows()[row].text, &error))
            return refuse("The never-move list could not be saved: " + error);
        m_fileList.markNeverMove(m_neverMove.list());
        rowsChanged();
        return true;
    });
}

} // namespace tv
