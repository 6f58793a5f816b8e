// The session's side of the map archive installer: loading, the direct
// install of maps and "Process Loaded ZIP".
#include "session.h"

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
    setStatusText(lastFailed ? "Done processing ZIP files, with errors (see the Status tab)"
                             : "Done processing ZIP files");
    return true;
}

} // namespace tv
