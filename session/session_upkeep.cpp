// Keeping the cache in order: tidying, purging, the never-move list.
#include "session.h"

#include "engine/cache_purge.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

namespace tv {

// ---- the purge period -----------------------------------------------------------------

Outcome<Completed> Session::SetPurgeDays() {
    // One writer of the game's configuration at a time, and never while the
    // game runs: it writes its configuration back when it ends.
    return m_runner.run<Completed>(
        {.busy = false}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<Completed> {
            if (!m_housekeeping.setPurgeDays(work.folders.gameIni)) return Completed{true};
            return Completed{};
        });
}

// ---- tidying the cache ------------------------------------------------------------------

TidyPlan Session::planTidy(const TidyOptions& options) const {
    return tv::planTidy(foldersOf(m_install), options);
}

Outcome<TidyResult> Session::tidy(const TidyRequest& request) {
    // A dry run needs neither the lock nor the game stopped: it writes nothing.
    const TidyOptions& options = request.options;
    return m_runner.run<TidyResult>(
        options.dryRun ? OperationNeeds::readsOnly() : OperationNeeds{},
        [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<TidyResult> {
            setStatusText("Tidying the cache...");
            TidyResult r = tv::tidyCache(work.folders, options, m_programFolder, workSink(),
                                         request.confirmed.get());
            if (!r.plan.indexFound) {
                setStatusText("Cache.INI is missing in " + work.folders.cacheFolder);
                return Refused{"Cache.INI is MISSING...can't proceed!", RefusalKind::NothingThere,
                               "Critical file missing!"};
            }
            if (!options.dryRun && (r.filesDeleted > 0 || r.linesRemoved > 0)) ScanCache();
            setStatusText(tidySummary(r, options.dryRun));
            return r;
        });
}

// ---- housekeeping ---------------------------------------------------------------------

std::optional<Refused> Session::confirmPurge() {
    const std::optional<Refused> no = purgeRefusal();
    if (no) tell(*no);
    return no;
}

std::optional<Refused> Session::purgeRefusal() {
    const int entries = m_housekeeping.entriesToPurge(m_install);
    // The index that cannot be read was said by the housekeeping.
    if (entries == kPurgeIndexUnreadable) return Refused{{}, RefusalKind::Unavailable};
    if (entries < 0) return Refused{{}, RefusalKind::NothingThere};
    if (entries == 0) return Refused{"Cache already empty...", RefusalKind::NothingThere};
    if (!m_prompter.question("Are you sure you want to DELETE all cache files?"))
        return Refused{"Purge cancelled.", RefusalKind::Declined};
    return std::nullopt;
}

Outcome<PurgeResult> Session::purgeCache() {
    return m_runner.run<PurgeResult>(
        {.busy = false}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<PurgeResult> {
            PurgeResult r = m_housekeeping.purge(
                work.install, [this](const std::string& l) { addStatusLine(l); });
            if (!r.purged) return r;
            setStatusText("Re-scanning files...");
            ScanCache();
            return r;
        });
}

Outcome<Completed> Session::deleteTempFiles() {
    // A running game may be writing its .tmp files (a download under way).
    return m_runner.run<Completed>(
        {.busy = false}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<Completed> {
            const GameInstall& in = work.install;
            const bool deleted = m_housekeeping.deleteTempFiles(
                in.userFolder.empty() ? in.gameFolder : in.userFolder);
            return Completed{!deleted};
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

Outcome<Completed> Session::neverMoveSave() {
    return m_runner.run<Completed>(
        {.busy = false, .gameStopped = false}, [this] { return snapshot(); },
        [&](const Work&) -> Outcome<Completed> {
            std::string error;
            if (!m_neverMove.save(&error))
                return Refused{"The never-move list could not be "
                               "saved: " +
                                   error,
                               RefusalKind::Unavailable};
            applyNeverMoveList();
            return Completed{};
        });
}

bool Session::confirmAddRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove) return false;
    return m_prompter.question(
        "Add " + toUpper(m_fileList.rows()[row].text) + " to the never move list?", "Add File");
}

Outcome<Completed> Session::addRowToNeverMove(size_t row) {
    if (row >= m_fileList.size() || m_fileList.rows()[row].neverMove)
        return Refused{{}, RefusalKind::NothingThere};
    const std::string name = m_fileList.rows()[row].text;
    return m_runner.run<Completed>(
        {.busy = false, .gameStopped = false}, [this] { return snapshot(); },
        [&](const Work&) -> Outcome<Completed> {
            std::string error;
            if (!m_neverMove.appendName(name, &error))
                return Refused{"The never-move list could not be "
                               "saved: " +
                                   error,
                               RefusalKind::Unavailable};
            m_fileList.markNeverMove(m_neverMove.list());
            rowsChanged();
            return Completed{};
        });
}

} // namespace tv
