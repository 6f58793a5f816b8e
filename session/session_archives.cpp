// The session's side of the map archive installer: loading, the direct
// install of maps and "Process Loaded ZIP".
#include "session.h"

#include "formats/file_hash.h"
#include "platform/file_ops.h"
#include "platform/operation_lock.h"
#include "platform/text_io.h"
#include "ui/prompter.h"

namespace tv {

MapArchiveInstaller::Load Session::loadZipArchive(const std::string& name, bool several) {
    lastFailed = false;
    // The log and the Status list name the archive wherever it was chosen from.
    const std::string path = wholePath(name);
    const bool preview = !several && !settings.unzipNoPreview;
    if (running) return MapArchiveInstaller::Load::Unreadable;
    folders = workOutFolders(programFolder, install, settings.cacheDir);
    const WorkSink sink = workSink();
    if (preview) {
        auto load = archives.LoadZipArchive(path, true, folders.maps, m_prompter, sink).load;
        lastFailed = load == MapArchiveInstaller::Load::Unreadable;
        return load;
    }
    // The maps go straight into the game: one operation at a time.
    Working working(*this);
    OperationLock lock(programFolder);
    if (!lock.held()) {
        refuse(lock.error());
        return MapArchiveInstaller::Load::Unreadable;
    }
    if (refuseWhileGameRuns()) return MapArchiveInstaller::Load::Unreadable;
    auto result = archives.LoadZipArchive(path, false, folders.maps, m_prompter, sink);
    if (result.load == MapArchiveInstaller::Load::Unreadable || !result.failures.empty())
        lastFailed = true;
    recordInstallation(path, result.copied);
    return result.load;
}

bool Session::processLoadedZip() {
    // Nothing loaded (or the last load failed): nothing to install, no log.
    if (running || !archives.loaded()) return false;
    Working working(*this);
    lastFailed = false;
    OperationLock lock(programFolder);
    if (!lock.held()) return refuse(lock.error());
    if (refuseWhileGameRuns()) return false;
    setStatusText("Processing files...");
    dropTrailingSeparators();
    const RunOptions options = archiveOptions();
    if (!prepareDestinationFolders(options.mode, "Nothing was installed.")) return false;
    folders = workOutFolders(programFolder, install, settings.cacheDir);
    auto result = archives.ProcessZipArchive(folders, options, programFolder, workSink());
    if (result.failed()) lastFailed = true;
    recordInstallation(archives.ArchiveName(), result.copied);
    setStatusText(lastFailed ? "Done processing ZIP files, with errors (see the Status tab)"
                             : "Done processing ZIP files");
    return true;
}

std::optional<UmodPackage> Session::loadUmodArchive(const std::string& name) {
    lastFailed = false;
    std::string error;
    auto package = loadUmod(wholePath(name), &error);
    if (!package) {
        lastFailed = true;
        m_prompter.message(wholePath(name) + " cannot be installed: " + error);
    }
    return package;
}

bool Session::installUmodArchive(const UmodPackage& package) {
    if (running) return false;
    Working working(*this);
    lastFailed = false;
    lastUmod = UmodInstallResult{};
    OperationLock lock(programFolder);
    if (!lock.held()) return refuse(lock.error());
    if (refuseWhileGameRuns()) return false;
    setStatusText("Processing files...");
    folders = workOutFolders(programFolder, install, settings.cacheDir);
    lastUmod = installUmod(package, folders.userFolder, programFolder, workSink());
    if (lastUmod.failed()) lastFailed = true;
    recordInstallation(package.path, lastUmod.copied);
    setStatusText(lastFailed ? "Done processing ZIP files, with errors (see the Status tab)"
                             : "Done processing ZIP files");
    return true;
}

void Session::recordInstallation(const std::string& archive,
                                 const std::vector<std::string>& copied) {
    if (copied.empty()) return;
    Installation in;
    in.archive = archive;
    in.date = shortDate(clock());
    for (const auto& path : copied)
        in.files.push_back({path, fileSize(path).value_or(0), fileHash(path).value_or("")});
    UndoLog undo;
    const bool ok = undo.open(undoDatabase()) && undo.beginWrite() &&
                    undo.recordInstallation(in) != 0 && undo.commit();
    if (ok) return;
    if (undo.inTransaction()) undo.rollback();
    // The files are in place; only taking them back later is lost.
    markFailure("**ERROR** The installation of " + archive +
                " could not be recorded in the undo log: " + undo.lastError());
}

std::vector<Installation> Session::installations() const {
    std::vector<Installation> out;
    UndoLog undo;
    if (undo.open(undoDatabase())) undo.installations(out);
    return out;
}

bool Session::undoInstalledFiles(const std::vector<std::string>& paths) {
    lastFailed = false;
    if (paths.empty() || running) return false;
    Working working(*this);
    OperationLock lock(programFolder);
    if (!lock.held()) return refuse(lock.error());
    if (refuseWhileGameRuns()) return false;
    UndoLog undo;
    if (!openUndoForWriting(undo, "Nothing was taken back.")) return false;
    std::vector<Installation> all;
    undo.installations(all);
    setStatusText("Taking installed files back...");
    for (const auto& path : paths) {
        for (const auto& in : all) {
            auto f = std::find_if(in.files.begin(), in.files.end(),
                                  [&](const InstalledFile& x) { return x.path == path; });
            if (f == in.files.end()) continue;
            const std::string from = " (installed from " + fileNameOf(in.archive) + ")";
            if (!fileExists(path)) {
                addStatusLine(path + from + " is gone already");
            } else if (fileSize(path).value_or(-1) != f->size || fileHash(path) != f->hash) {
                markFailure("Not undone: " + path + from +
                            " was changed since it was installed; it stays");
            } else if (std::string error; !removeFile(path, &error)) {
                markFailure("Not undone: " + error);
                break; // its record stays: it can be taken back later
            } else {
                addStatusLine("Removed " + path + from);
            }
            if (!undo.forgetInstalledFile(in.id, path)) {
                markFailure("**ERROR** The undo log " + undoDatabase() + " " + undo.lastError());
                break;
            }
        }
    }
    if (!undo.commit())
        markFailure("**ERROR** The undo log " + undoDatabase() + " " + undo.lastError());
    setStatusText(lastFailed ? "Done, with errors (see the Status tab)"
                             : "Installed files taken back");
    return true;
}

} // namespace tv
