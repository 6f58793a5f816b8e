#include "map_archive.h"

#include "file_placement.h"

#include <unordered_set>

#include "engine/run_log.h"
#include "formats/uz2.h"
#include "formats/zip_archive.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/temp_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cerrno>

namespace tv {

namespace {

// The private folders of the loads: "tessvane-zip-XXXXXX" in the temporary folder.
constexpr const char* kTempStem = "tessvane-zip";

constexpr const char* kKindNames[] = {"JPG", "TXT", "UT2", "UNR", "UTX", "OGG",
                                      "UAX", "USX", "UKX", "INT", "DEM"};

// The kinds that are installed, in the order they are, with the kind of
// package each is.
constexpr std::pair<ArchiveKind, FileType> kInstalled[] = {
    {ArchiveKind::UT2, FileType::Map},          {ArchiveKind::UTX, FileType::Texture},
    {ArchiveKind::OGG, FileType::Music},        {ArchiveKind::UAX, FileType::Sound},
    {ArchiveKind::USX, FileType::StaticMesh},   {ArchiveKind::UKX, FileType::Animation},
    {ArchiveKind::INT, FileType::Localisation}, {ArchiveKind::DEM, FileType::Demo},
};

std::string notInstalledLine(const std::string& name, const std::string& why) {
    std::string line = "**ERROR** ";
    line += name;
    line += " could not be installed: ";
    line += why;
    return line;
}

} // namespace

std::optional<ArchiveKind> archiveKindOf(std::string_view memberName) {
    // A compressed package is of the kind of the package it holds.
    if (endsWithNoCase(memberName, ".uz2")) memberName.remove_suffix(4);
    if (memberName.size() < 3) return std::nullopt;
    std::string kind = toUpper(memberName.substr(memberName.size() - 3));
    for (size_t i = 0; i < std::size(kKindNames); ++i)
        if (kind == kKindNames[i]) return static_cast<ArchiveKind>(i);
    return std::nullopt;
}

void ArchiveSlots::OnFileListed(const std::string& member) {
    auto name = memberFileName(member);
    if (!name) return;
    if (auto kind = archiveKindOf(*name)) m_slots[static_cast<size_t>(*kind)] = *name;
}

MapArchiveInstaller::MapArchiveInstaller() = default;
MapArchiveInstaller::~MapArchiveInstaller() = default;

int MapArchiveInstaller::removeAbandonedFolders() {
    return TempFolder::removeAbandoned(kTempStem);
}

std::string MapArchiveInstaller::extractFolder() const {
    return m_temp ? m_temp->path() : std::string();
}

MapArchiveInstaller::LoadResult
MapArchiveInstaller::LoadZipArchive(const std::string& archive, bool preview,
                                    const std::string& mapsFolder, const NoticeSink& notify,
                                    const WorkSink& sink, InstallRecorder* recorder) {
    LoadResult result;
    if (!startLoad(archive, notify)) return result;
    ZipArchive zip;
    zip.ArchiveName = archive;
    zip.ExtractFolder = m_temp->path();
    zip.IncludeMask = "*";
    zip.FileListed = [this](const std::string& member) {
        m_slots.OnFileListed(member);
        if (auto name = memberFileName(member)) m_members.push_back(*name);
    };
    if (!zip.ListContents()) {
        forgetLoad(notify, "The archive " + archive + " cannot be read: " + zip.lastError());
        return result;
    }
    if (auto refused = refusal(archive, preview, notify)) {
        result.load = *refused;
        return result;
    }

    std::string picture;
    const auto wanted = membersToUnpack(preview, picture);
    zip.Wanted = [&](const std::string& name) { return wanted.count(name) > 0; };
    zip.FreeSpace = freeSpace;
    zip.Sync = false; // the private folder goes after a crash anyway
    if (!zip.Extract()) {
        forgetLoad(notify, zip.stoppedByBound()
                               ? zip.lastError()
                               : "The archive " + archive + " cannot be read: " + zip.lastError());
        return result;
    }
    unpackCompressedPackages(notify);
    const FolderIndex unpacked(m_temp->path());
    if (preview) {
        showPreview(unpacked, picture);
        result.load = Load::Previewed;
        return result;
    }
    result.load = Load::Installed;
    installMaps(unpacked, mapsFolder, sink, result, recorder);
    reportUnpackFailures(sink, result.failures);
    return result;
}

void MapArchiveInstaller::reportUnpackFailures(const WorkSink& sink,
                                               std::vector<std::string>& failures) const {
    for (const auto& [member, why] : m_unpackFailures) {
        sink.status(notInstalledLine(member, why));
        failures.push_back(why);
    }
}

// Members that are compressed packages (.uz2) become the packages they hold,
// in the private folder; one that cannot be unpacked is said and left out.
void MapArchiveInstaller::unpackCompressedPackages(const NoticeSink& notify) {
    const FolderIndex unpacked(m_temp->path());
    std::vector<std::string> members;
    for (auto& member : m_members) {
        const std::string package = uz2PackageName(member);
        auto found = package.empty() ? std::nullopt : unpacked.find(member);
        if (!found) { // no compressed package, or one not wanted
            members.push_back(std::move(member));
            continue;
        }
        const std::string from = joinPath(m_temp->path(), *found);
        std::string error;
        if (unpackUz2File(from, joinPath(m_temp->path(), package), &error)) {
            m_slots.rename(member, package);
            members.push_back(package);
        } else {
            tell(notify, {member + " could not be unpacked: " + error});
            m_unpackFailures.emplace_back(member, "it could not be unpacked: " + error);
            m_slots.forget(member);
        }
        ::unlink(from.c_str());
    }
    m_members = std::move(members);
}

// A new private folder for every load; the previous one goes with all it
// held, and so do those that killed installations left.
bool MapArchiveInstaller::startLoad(const std::string& archive, const NoticeSink& notify) {
    m_slots.ClearArchiveSlots();
    m_preview = {};
    m_members.clear();
    m_unpackFailures.clear();
    m_loaded = false;
    m_archiveName = archive;
    m_temp.reset();
    TempFolder::removeAbandoned(kTempStem);
    m_temp = std::make_unique<TempFolder>(kTempStem);
    if (m_temp->valid()) return true;
    tell(notify, {m_temp->error()});
    m_temp.reset();
    return false;
}

void MapArchiveInstaller::forgetLoad(const NoticeSink& notify, const std::string& why) {
    if (!why.empty()) tell(notify, {why});
    m_slots.ClearArchiveSlots();
    m_members.clear();
    m_temp.reset();
}

// Refused (a UT map) or Empty (nothing to install), said before anything is
// unpacked; nullopt when the load goes on.
std::optional<MapArchiveInstaller::Load>
MapArchiveInstaller::refusal(const std::string& archive, bool preview, const NoticeSink& notify) {
    if (!m_slots[ArchiveKind::UNR].empty()) {
        tell(notify, {"This is a UT map, not UT2.  Files will not be extracted."});
        m_slots.ClearArchiveSlots();
        m_members.clear();
        return Load::Refused;
    }
    bool installable = false;
    for (const auto& [kind, type] : kInstalled)
        installable =
            installable || (!m_slots[kind].empty() && (preview || kind == ArchiveKind::UT2));
    if (installable) return std::nullopt;
    forgetLoad(notify, archive + " holds no files to install.");
    return Load::Empty;
}

// Only what can be installed or previewed is unpacked: the members of the
// installed kinds (with preview), or the maps (without), and the
// description and first picture.
std::unordered_set<std::string> MapArchiveInstaller::membersToUnpack(bool preview,
                                                                     std::string& picture) const {
    std::unordered_set<std::string> wanted;
    if (!preview) {
        for (const auto& member : m_members)
            if (archiveKindOf(member) == ArchiveKind::UT2) wanted.insert(member);
        return wanted;
    }
    for (const auto& [kind, type] : kInstalled)
        if (!m_slots[kind].empty()) wanted.insert(m_slots[kind]);
    if (!m_slots[ArchiveKind::TXT].empty()) wanted.insert(m_slots[ArchiveKind::TXT]);
    for (const auto& member : m_members) {
        if (!isPreviewPicture(member)) continue;
        picture = member;
        wanted.insert(member);
        break;
    }
    return wanted;
}

std::string MapArchiveInstaller::unpackedPath(const FolderIndex& unpacked,
                                              const std::string& name) const {
    auto found = unpacked.find(name);
    return joinPath(m_temp->path(), found ? *found : name);
}

void MapArchiveInstaller::showPreview(const FolderIndex& unpacked, const std::string& picture) {
    // The first picture of the archive, in any format the preview reads.
    if (!picture.empty()) m_preview.picture = unpackedPath(unpacked, picture);
    const std::string& text = m_slots[ArchiveKind::TXT];
    m_preview.textFile = text;
    if (!text.empty()) {
        std::string path = unpackedPath(unpacked, text);
        // A description that cannot be read leaves the description empty.
        if (auto content = readFile(path)) {
            // Shown as written: a comma is part of the text, not a field's end.
            m_preview.description = std::move(*content);
            m_preview.textPath = path;
        }
    }
    m_preview.mapName = m_slots[ArchiveKind::UT2];
    if (!m_preview.mapName.empty())
        m_preview.maps.push_back(
            {m_preview.mapName, readPackageImports(unpackedPath(unpacked, m_preview.mapName))});
    m_preview.members = m_members;
    m_loaded = true;
}

// Straight into the Maps folder: every map of the archive, nothing else.
void MapArchiveInstaller::installMaps(const FolderIndex& unpacked, const std::string& mapsFolder,
                                      const WorkSink& sink, LoadResult& result,
                                      InstallRecorder* recorder) {
    auto status = [&](const std::string& s) {
        if (sink.statusLine) sink.statusLine(s);
    };
    FilePlacer placer(sink, recorder);
    std::vector<std::string> targets;
    for (const auto& name : m_members)
        if (archiveKindOf(name) == ArchiveKind::UT2) targets.push_back(joinPath(mapsFolder, name));
    const size_t maps = targets.size();
    placer.expect(std::move(targets));
    size_t done = 0;
    for (const auto& name : m_members) {
        if (archiveKindOf(name) != ArchiveKind::UT2) continue;
        // Asked to stop: the maps installed so far stay, the rest are not copied.
        if (sink.stopAsked()) {
            result.stopped = true;
            status("Stopped after " + std::to_string(done) + " of " + std::to_string(maps));
            break;
        }
        if (++done % 64 == 0) sink.reportProgress(done, maps);
        std::string target = joinPath(mapsFolder, name);
        const Placement placed = placer.place(fileBytesOf(unpackedPath(unpacked, name)), target);
        switch (placed.outcome) {
        case Placed::Copied:
        case Placed::Same:
            status(
                moveLine(std::string(name).append(" (").append(m_archiveName).append(")"), target));
            break;
        case Placed::Kept:
            status(placed.path + " exists already and was not replaced");
            break;
        case Placed::Failed:
            status(notInstalledLine(name, placed.why));
            result.failures.push_back(placed.why);
            break;
        }
    }
}

bool isPreviewPicture(std::string_view memberName) {
    for (const char* ext : {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".webp"})
        if (endsWithNoCase(memberName, ext)) return true;
    return false;
}

MapArchiveInstaller::ProcessResult
MapArchiveInstaller::ProcessZipArchive(const CacheFolders& folders, const RunOptions& options,
                                       const std::string& programFolder, const WorkSink& sink,
                                       InstallRecorder* recorder) {
    ProcessResult result;
    auto status = [&](const std::string& s) {
        if (sink.statusLine) sink.statusLine(s);
    };
    RunLog log(runLogPath(programFolder));
    if (!log.created()) result.logError = log.error();
    log.line("Processing ZIP file " + m_archiveName);
    log.line("");
    // What the placer says (a folder made) goes into the log as well.
    const WorkSink logged = log.logging(sink);
    FilePlacer placer(logged, recorder);
    for (const auto& [kind, type] : kInstalled) {
        const std::string& name = m_slots[kind];
        if (name.empty() || !m_temp) continue;
        std::string source = findInFolder(m_temp->path(), name);
        std::string target = destinationFor(type, name, folders, options);
        if (target.empty()) continue; // no plain file name: never installed
        const Placement placed = placer.place(fileBytesOf(source), target);
        switch (placed.outcome) {
        case Placed::Copied:
        case Placed::Same:
            logged.status(moveLine(source, target));
            ++result.installed;
            break;
        case Placed::Kept:
            logged.status(placed.path + " exists already and was not replaced");
            ++result.kept;
            break;
        case Placed::Failed:
            logged.status(notInstalledLine(name, placed.why));
            result.failures.push_back(placed.why);
            break;
        }
    }
    reportUnpackFailures(logged, result.failures);
    if (log.created()) status(runLogPath(programFolder) + " was created.");
    log.line("");
    log.line("NOTE - files not being extracted is due to them existing already.");
    log.line("");
    if (!log.finish() && result.logError.empty()) result.logError = log.error();
    if (!result.logError.empty()) status("**ERROR** " + result.logError);
    status("");
    status("** NOTE - files not being extracted is due to them existing already.");
    status("");
    status(std::string(102, '~'));
    status("");
    return result;
}

} // namespace tv
