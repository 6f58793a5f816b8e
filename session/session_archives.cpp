// The session's side of the map archive installer: loading, the direct
// install of maps and "Process Loaded ZIP".
#include "session.h"
#include "session_internal.h"

#include "archives/take_back.h"
#include "formats/file_hash.h"
#include "platform/file_ops.h"
#include "platform/operation_lock.h"
#include "platform/text_io.h"
#include "store/undo_log.h"
#include "ui/prompter.h"

#include <functional>
#include <unordered_set>

namespace tv {

namespace {

// The undo log's side of an installation: each file is recorded before it
// is written (its own transaction, on the disk before a byte of the file)
// and recorded again with its size and hash once it is whole. The
// installation's row is made with its first file.
class InstallJournal : public InstallRecorder {
public:
    InstallJournal(std::string database, std::string archive, std::string date)
        : m_database(std::move(database)), m_archive(std::move(archive)), m_date(std::move(date)) {}

    bool pending(const std::string& path, std::string* error) override {
        const bool ok = write([&] {
            if (m_id == 0) m_id = m_undo.addInstallation(m_archive, m_date);
            return m_id != 0 &&
                   m_undo.setInstalledFile(m_id, {path, InstalledFile::kPending, {}}) &&
                   remember(folderOf(path));
        });
        if (!ok && error) *error = m_failure;
        return ok;
    }
    bool pendingAll(const std::vector<std::string>& paths, std::string* error) override {
        if (paths.empty()) return true;
        const bool ok = write([&] {
            if (m_id == 0) m_id = m_undo.addInstallation(m_archive, m_date);
            if (m_id == 0) return false;
            for (const auto& path : paths)
                if (!m_undo.setInstalledFile(m_id, {path, InstalledFile::kPending, {}}) ||
                    !remember(folderOf(path)))
                    return false;
            return true;
        });
        if (!ok && error) *error = m_failure;
        return ok;
    }
    // Confirmations are written a batch at a time: until then the file's
    // pending record stands for it.
    void written(const std::string& path, uint64_t size, const std::string& hash) override {
        m_confirmed.push_back({path, static_cast<int64_t>(size), hash});
        if (m_confirmed.size() >= 64) flush();
    }
    void madeFolder(const std::string& path) override {
        // Not recorded, the folder merely stays after a take-back.
        write([&] {
            if (m_id == 0) m_id = m_undo.addInstallation(m_archive, m_date);
            return m_id != 0 && m_undo.addInstalledFolder(m_id, path);
        });
    }
    void withdrawn(const std::string& path) override {
        write([&] { return m_undo.forgetInstalledFile(m_id, path); });
    }
    void flush() override {
        if (m_confirmed.empty()) return;
        write([&] {
            for (const auto& f : m_confirmed)
                if (!m_undo.setInstalledFile(m_id, f)) return false;
            return true;
        });
        m_confirmed.clear();
    }
    ~InstallJournal() override { flush(); }
    // What could not be written after a file was placed (its pending record
    // then stands for it: it can still be taken back).
    const std::vector<std::string>& failures() const { return m_failures; }

private:
    // The folder a file goes into is one files may later be taken back from.
    bool remember(const std::string& folder) {
        if (m_remembered.count(folder)) return true;
        if (!m_undo.rememberFolder(folder)) return false;
        m_remembered.insert(folder);
        return true;
    }
    bool write(const std::function<bool()>& change) {
        const bool ok = (m_undo.isOpen() || m_undo.open(m_database)) && m_undo.beginWrite() &&
                        change() && m_undo.commit();
        if (ok) return true;
        if (m_undo.inTransaction()) m_undo.rollback();
        m_failure = "The undo log " + m_database + " " + m_undo.lastError();
        if (m_id != 0) m_failures.push_back(m_failure);
        return false;
    }

    std::string m_database, m_archive, m_date;
    UndoLog m_undo;
    int64_t m_id = 0;
    std::string m_failure;
    std::vector<std::string> m_failures;
    std::vector<InstalledFile> m_confirmed; // written, not yet confirmed in the log
    std::unordered_set<std::string> m_remembered;
};

} // namespace

Outcome<ZipLoaded> Session::loadZipArchive(const std::string& name, bool several) {
    // The log and the Status list name the archive wherever it was chosen from.
    const std::string path = wholePath(name);
    const bool preview = !several && !m_settings.unzipNoPreview;
    if (m_runner.busy()) return Refused{{}, RefusalKind::Busy};
    const WorkSink sink = workSink();
    if (preview)
        return ZipLoaded{
            m_archives
                .LoadZipArchive(path, true, foldersOf(m_install).maps, noticesTo(m_prompter), sink)
                .load,
            {}};
    // The maps go straight into the game: an operation like any other.
    return m_runner.run<ZipLoaded>(
        OperationNeeds{}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<ZipLoaded> {
            removeInstallLeftovers(work);
            InstallJournal journal(undoDatabase(), path, shortDate(work.today));
            auto result = m_archives.LoadZipArchive(path, false, work.folders.maps,
                                                    noticesTo(m_prompter), sink, &journal);
            ZipLoaded loaded{result.load, std::move(result.failures)};
            reportJournal(journal.failures(), loaded.failures);
            return loaded;
        });
}

Outcome<MapArchiveInstaller::ProcessResult> Session::processLoadedZip() {
    // Nothing loaded (or the last load failed): nothing to install, no log.
    if (!m_archives.loaded()) return Refused{{}, RefusalKind::NothingThere};
    return m_runner.run<MapArchiveInstaller::ProcessResult>(
        OperationNeeds{}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<MapArchiveInstaller::ProcessResult> {
            setStatusText("Processing files...");
            const RunOptions options = archiveOptions(work.settings);
            if (auto no = prepareDestinationFolders(options, workSink(), "Nothing was installed."))
                return *no;
            removeInstallLeftovers(work);
            InstallJournal journal(undoDatabase(), m_archives.ArchiveName(), shortDate(work.today));
            auto result = m_archives.ProcessZipArchive(work.folders, options, m_programFolder,
                                                       workSink(), &journal);
            reportJournal(journal.failures(), result.failures);
            setStatusText(result.failed()
                              ? "Done processing ZIP files, with errors (see the Status tab)"
                              : "Done processing ZIP files");
            return result;
        });
}

std::optional<UmodPackage> Session::loadUmodArchive(const std::string& name) {
    std::string error;
    auto package = loadUmod(wholePath(name), &error);
    if (!package) m_prompter.message(wholePath(name) + " cannot be installed: " + error);
    return package;
}

Outcome<UmodInstallResult> Session::installUmodArchive(const UmodPackage& package) {
    return m_runner.run<UmodInstallResult>(
        OperationNeeds{}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<UmodInstallResult> {
            setStatusText("Processing files...");
            removeInstallLeftovers(work);
            InstallJournal journal(undoDatabase(), package.path, shortDate(work.today));
            UmodInstallResult r =
                installUmod(package, work.folders.userFolder, m_programFolder, workSink(), journal);
            reportJournal(journal.failures(), r.failures);
            if (r.stopped)
                setStatusText("Stopped after " + std::to_string(r.done) + " of " +
                              std::to_string(r.total) + " files");
            else
                setStatusText(r.failed()
                                  ? "Done processing ZIP files, with errors (see the Status tab)"
                                  : "Done processing ZIP files");
            return r;
        });
}

void Session::removeInstallLeftovers(const Work& work) {
    // What a killed installation left half-written; the operation lock is
    // held, so no other Tessvane is writing there.
    const CacheFolders& f = work.folders;
    for (const std::string& folder :
         {f.maps, f.textures, f.sounds, f.music, f.staticMeshes, f.animations, f.system,
          work.settings.moveDirText, work.settings.moveDir2Text})
        if (!folder.empty()) removeLeftovers(folder);
}

void Session::reportJournal(const std::vector<std::string>& failures,
                            std::vector<std::string>& into) {
    for (const auto& failure : failures) {
        addStatusLine("**ERROR** " + failure);
        into.push_back(failure);
    }
}

std::vector<Installation> Session::installations() const {
    std::vector<Installation> all;
    UndoLog undo;
    if (undo.open(undoDatabase())) undo.installations(all);
    // Those of this game: a file in its folders, or in a folder the move
    // options name now (another game's installations are that game's).
    std::vector<std::string> folders = {m_install.gameFolder, m_install.userFolder,
                                        m_settings.moveDirText, m_settings.moveDir2Text};
    auto ours = [&](const Installation& in) {
        for (const auto& file : in.files)
            for (const auto& folder : folders) {
                const std::string base = withoutTrailingSeparator(folder);
                if (!base.empty() && base != "/" && file.path.size() > base.size() &&
                    file.path.compare(0, base.size(), base) == 0 && file.path[base.size()] == '/')
                    return true;
            }
        return false;
    };
    std::vector<Installation> out;
    for (auto& in : all)
        if (ours(in)) out.push_back(std::move(in));
    return out;
}

Outcome<TakeBackResult> Session::undoInstalledFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return Refused{{}, RefusalKind::NothingThere};
    return m_runner.run<TakeBackResult>(
        OperationNeeds{}, [this] { return snapshot(); },
        [&](const Work& work) -> Outcome<TakeBackResult> {
            UndoLog undo;
            if (auto no = openUndoForWriting(undo, undoDatabase(), "Nothing was taken back."))
                return *no;
            // Where files may be taken back from: below the game's own type
            // folders, the folders installations and runs wrote into and
            // those the move options name now.
            const CacheFolders& f = work.folders;
            std::vector<std::string> folders = {
                f.maps,         f.textures,   f.sounds, f.music,
                f.staticMeshes, f.animations, f.system, work.settings.moveDirText};
            std::vector<std::string> remembered;
            undo.movedIntoFolders(remembered);
            folders.insert(folders.end(), remembered.begin(), remembered.end());
            const TakeBackPlaces places(
                {work.install.gameFolder, f.userFolder, work.settings.moveDir2Text}, folders);
            setStatusText("Taking installed files back...");
            TakeBackResult r = takeBackInstalled(undo, undoDatabase(), paths, places, workSink());
            if (!undo.commit()) {
                addStatusLine("**ERROR** The undo log " + undoDatabase() + " " + undo.lastError());
                r.someFailed = true;
            }
            setStatusText(r.failed() ? "Done, with errors (see the Status tab)"
                                     : "Installed files taken back");
            return r;
        });
}

std::vector<std::string> Session::archiveNeeds(const std::vector<ArchiveMap>& maps,
                                               const std::vector<std::string>& members) const {
    if (maps.empty()) return {};
    // The game and its cache as they are now: nothing may have scanned yet.
    const CacheFolders folders = foldersOf(m_install);
    const std::vector<ScanTableEntry> cache = readCacheEntries(folders);
    return archiveNeedsLines(maps, members, PackageResolver(folders, cache));
}

} // namespace tv
