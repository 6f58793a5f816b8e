// Keeping the cache in order: tidying, purging, the never-move list.
#include "session.h"

#include "engine/cache_purge.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

namespace tv {

// ---- the purge period -----------------------------------------------------------------

bool Session::SetPurgeDays() {
    // One writer of the game's configuration at a time.
    return operate({false, true, false, true},
                   [&] { return m_housekeeping.setPurgeDays(m_folders.gameIni); });
}

// ---- tidying the cache ------------------------------------------------------------------

TidyPlan Session::planTidy(const TidyOptions& options) const {
    std::string label = m_settings.cacheDir; // worked out here, not kept
    return tv::planTidy(workOutFolders(m_programFolder, m_install, label), options);
}

bool Session::tidyCache(const TidyOptions& options, const TidyPlan* confirmed) {
    m_lastTidy = TidyResult{};
    // A dry run needs neither the lock nor the game stopped: it writes nothing.
    return operate(options.dryRun ? readsOnly() : Needs{},
                   [&] { return tidyBody(options, confirmed); });
}

bool Session::tidyBody(const TidyOptions& options, const TidyPlan* confirmed) {
    setStatusText("Tidying the cache...");
    m_lastTidy = tv::tidyCache(m_folders, options, m_programFolder, workSink(), confirmed);
    if (!m_lastTidy.plan.indexFound) {
        setStatusText("Cache.INI is missing in " + m_folders.cacheFolder);
        m_prompter.message("Cache.INI is MISSING...can't proceed!", "Critical file missing!");
        return false;
    }
    if (m_lastTidy.failed()) m_lastFailed = true;
    const bool changed =
        !options.dryRun && (m_lastTidy.filesDeleted > 0 || m_lastTidy.linesRemoved > 0);
    if (changed) ScanCache();
    setStatusText(tidySummary(m_lastTidy));
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
    return operate({false, true, true, false}, [&] {
        PurgeResult r =
            m_housekeeping.purge(m_install, [this](const std::string& l) { addStatusLine(l); });
        if (r.failed) m_lastFailed = true;
        if (!r.purged) return false;
        setStatusText("Re-scanning files...");
        ScanCache();
        return true;
    });
}

void Session::deleteTempFiles() {
    // A running game may be writing its .tmp files (a download under way).
    operate({false, true, true, false}, [&] {
        if (m_housekeeping.deleteTempFiles(m_install.userFolder.empty() ? m_install.gameFolder
                                                                        : m_install.userFolder))
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
    return operate({false, true, false, false}, [&] {
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
    return operate({false, true, false, false}, [&] {
        std::string error;
        if (!m_neverMove.appendName(m_fileList.rows()[row].text, &error))
            return refuse("The never-move list could not be saved: " + error);
        m_fileList.markNeverMove(m_neverMove.list());
        rowsChanged();
        return true;
    });
}

} // namespace tv
