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

// Where the game reads each kind of member from, in the order they are
// installed: the package kinds first, then code with its companions and the
// language files (System) and the game's other folders. The type of each
// package kind picks its folder as a run does.
struct MemberPlace {
    const char* extension;
    const char* folder;
    FileType type; // Unknown: a folder of its own, not a package type's
};
constexpr MemberPlace kPlaces[] = {
    {"ut2", "Maps", FileType::Map},
    {"utx", "Textures", FileType::Texture},
    {"ogg", "Music", FileType::Music},
    {"uax", "Sounds", FileType::Sound},
    {"usx", "StaticMeshes", FileType::StaticMesh},
    {"ukx", "Animations", FileType::Animation},
    {"int", "System", FileType::Localisation},
    {"dem", "System", FileType::Demo},
    {"u", "System", FileType::Code},
    {"ucl", "System", FileType::Code},
    {"upl", "System", FileType::Code},
    {"det", "System", FileType::Localisation},
    {"est", "System", FileType::Localisation},
    {"frt", "System", FileType::Localisation},
    {"itt", "System", FileType::Localisation},
    {"ka", "KarmaData", FileType::Unknown},
    {"xml", "Speech", FileType::Unknown},
    {"uvx", "Saves", FileType::Unknown},
    {"ifr", "ForceFeedback", FileType::Unknown},
};

std::string_view extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

const MemberPlace* placeOf(std::string_view member) {
    // A compressed package goes where the package it holds goes.
    if (endsWithNoCase(member, ".uz2")) member.remove_suffix(4);
    const std::string_view ext = extensionOf(member);
    for (const auto& place : kPlaces)
        if (equalsNoCase(ext, place.extension)) return &place;
    return nullptr;
}

// What an archive holds for the reader, not for the game.
bool isDocument(std::string_view member) {
    const std::string_view ext = extensionOf(member);
    for (const char* doc : {"txt", "htm", "html", "doc", "rtf", "pdf", "md", "nfo", "diz", "url"})
        if (equalsNoCase(ext, doc)) return true;
    return isPreviewPicture(member);
}

std::string notInstalledLine(const std::string& name, const std::string& why) {
    std::string line = "**ERROR** ";
    line += name;
    line += " could not be installed: ";
    line += why;
    return line;
}

} // namespace

bool isInstalledMember(std::string_view memberName) {
    return placeOf(memberName) != nullptr;
}

std::string memberDestination(const std::string& name, const CacheFolders& folders,
                              const RunOptions& options) {
    const MemberPlace* place = placeOf(name);
    if (!place) return {};
    if (place->type != FileType::Unknown)
        return destinationFor(place->type, name, folders, options);
    std::string folder;
    switch (options.mode) {
    case RunOptions::Mode::Norm:
        folder = findInFolder(folders.userFolder, place->folder);
        break;
    case RunOptions::Mode::Dir:
        folder = options.moveDir;
        break;
    case RunOptions::Mode::Dir2:
        folder = findInFolder(options.moveDir2, place->folder);
        break;
    }
    return folder.empty() ? std::string() : fileDirectlyIn(folder, name);
}

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
    for (const auto& member : m_members)
        installable = installable || (preview ? isInstalledMember(member)
                                              : archiveKindOf(member) == ArchiveKind::UT2);
    if (installable) return std::nullopt;
    forgetLoad(notify, archive + " holds no files to install.");
    return Load::Empty;
}

// Only what can be installed or previewed is unpacked: every member the
// game reads (with preview), or the maps (without), and the description and
// first picture.
std::unordered_set<std::string> MapArchiveInstaller::membersToUnpack(bool preview,
                                                                     std::string& picture) const {
    std::unordered_set<std::string> wanted;
    if (!preview) {
        for (const auto& member : m_members)
            if (archiveKindOf(member) == ArchiveKind::UT2) wanted.insert(member);
        return wanted;
    }
    for (const auto& member : m_members)
        if (isInstalledMember(member)) wanted.insert(member);
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
    if (!m_preview.mapName.empty()) {
        const std::string map = unpackedPath(unpacked, m_preview.mapName);
        m_preview.mapPath = map;
        m_preview.maps.push_back({m_preview.mapName, readPackageImports(map), mapSong(map)});
    }
    m_preview.members = m_members;
    m_loaded = true;
}

// Straight into the Maps folder: every map of the archive, nothing else;
// what else it holds is said.
void MapArchiveInstaller::installMaps(const FolderIndex& unpacked, const std::string& mapsFolder,
                                      const WorkSink& sink, LoadResult& result,
                                      InstallRecorder* recorder) {
    FilePlacer placer(sink, recorder);
    MemberPlan plan = planMembers();
    std::vector<std::string> maps, targets;
    for (auto& name : plan.install) {
        if (archiveKindOf(name) == ArchiveKind::UT2) {
            targets.push_back(joinPath(mapsFolder, name));
            maps.push_back(std::move(name));
        } else {
            plan.unknown.push_back(std::move(name));
        }
    }
    placer.expect(std::move(targets));
    ProcessResult placed;
    size_t done = 0;
    for (const auto& name : maps) {
        // Asked to stop: the maps installed so far stay, the rest are not copied.
        if (sink.stopAsked()) {
            result.stopped = true;
            sink.status("Stopped after " + std::to_string(done) + " of " +
                        std::to_string(maps.size()));
            break;
        }
        if (++done % 64 == 0) sink.reportProgress(done, maps.size());
        const std::string target = joinPath(mapsFolder, name);
        placeMember(
            placer, fileBytesOf(unpackedPath(unpacked, name)),
            moveLine(std::string(name).append(" (").append(m_archiveName).append(")"), target),
            target, name, sink, placed);
    }
    result.failures = std::move(placed.failures);
    if (result.stopped) return;
    for (const auto& member : plan.documents)
        sink.status(member + " was not installed: it is for the reader, not for the game");
    for (const auto& member : plan.unknown) {
        const std::string why = placeOf(member) ? "only maps are installed without a preview"
                                                : "the game reads no file of its kind";
        sink.status(notInstalledLine(member, why));
        result.failures.push_back(member + ": " + why);
    }
}

bool isPreviewPicture(std::string_view memberName) {
    for (const char* ext : {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".webp"})
        if (endsWithNoCase(memberName, ext)) return true;
    return false;
}

// The members to install in the order they go (by kind, then as the archive
// lists them), each name once; the others, with why they stay out.
MapArchiveInstaller::MemberPlan MapArchiveInstaller::planMembers() const {
    MemberPlan plan;
    std::vector<std::pair<size_t, std::string>> ranked;
    std::unordered_set<std::string> seen;
    for (const auto& member : m_members) {
        if (!seen.insert(toLower(member)).second) continue;
        if (const MemberPlace* place = placeOf(member))
            ranked.emplace_back(static_cast<size_t>(place - kPlaces), member);
        else if (isDocument(member))
            plan.documents.push_back(member);
        else
            plan.unknown.push_back(member);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [rank, member] : ranked)
        plan.install.push_back(std::move(member));
    return plan;
}

// What stays out of an installation, each said: what the archive holds for
// the reader, and (a failure) what the game would not read.
void MapArchiveInstaller::sayLeftOut(const MemberPlan& plan, const WorkSink& sink,
                                     std::vector<std::string>& failures) const {
    for (const auto& member : plan.documents)
        sink.status(member + " was not installed: it is for the reader, not for the game");
    for (const auto& member : plan.unknown) {
        const std::string why = "the game reads no file of its kind";
        sink.status(notInstalledLine(member, why));
        failures.push_back(member + ": " + why);
    }
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
    const MemberPlan plan = m_temp ? planMembers() : MemberPlan{};
    for (const auto& name : plan.install) {
        const std::string source = findInFolder(m_temp->path(), name);
        const std::string target = memberDestination(name, folders, options);
        if (target.empty()) continue; // no plain file name: never installed
        placeMember(placer, fileBytesOf(source), moveLine(source, target), target, name, logged,
                    result);
    }
    sayLeftOut(plan, logged, result.failures);
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

// One member put into the game and said: its move line when it was
// copied; when the same file is there already, that; when another file of
// its name is there, that it was kept (a member left out).
void MapArchiveInstaller::placeMember(FilePlacer& placer, const OpenBytes& bytes,
                                      const std::string& line, const std::string& target,
                                      const std::string& name, const WorkSink& sink,
                                      ProcessResult& result) {
    const Placement placed = placer.place(bytes, target);
    switch (placed.outcome) {
    case Placed::Copied:
        sink.status(line);
        ++result.installed;
        break;
    case Placed::Same:
        sink.status(placed.path + " is there already with the same bytes");
        ++result.installed;
        break;
    case Placed::Kept:
        sink.status(placed.path + " exists already and was not replaced");
        result.failures.push_back(name + ": another file of its name is there");
        ++result.kept;
        break;
    case Placed::Failed:
        sink.status(notInstalledLine(name, placed.why));
        result.failures.push_back(placed.why);
        break;
    }
}

} // namespace tv
