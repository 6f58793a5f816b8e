#pragma once

#include "engine/cache_run.h"
#include "engine/package_needs.h"
#include "engine/work_sink.h"
#include "file_placement.h"
#include "install_recorder.h"
#include "platform/notice.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tv {

class FolderIndex;
class TempFolder;

// The kinds of archive member the installer knows, by the last three
// characters of the name (any letter case).
enum class ArchiveKind { JPG, TXT, UT2, UNR, UTX, OGG, UAX, USX, UKX, INT, DEM };
std::optional<ArchiveKind> archiveKindOf(std::string_view memberName);

// Members the game reads, by their extension (a .uz2 by the package it
// holds): the packages of the type folders, code (.u) and its companions
// (.ucl, .upl) and the language files (.int, .det, .est, .frt, .itt) and
// demos in System, .ka in KarmaData, .xml in Speech, .uvx in Saves, .ifr in
// ForceFeedback.
bool isInstalledMember(std::string_view memberName);
// Where such a member goes in the destination mode; empty for any other.
std::string memberDestination(const std::string& name, const CacheFolders& folders,
                              const RunOptions& options);

// One member file name per kind; a later member of a kind replaces the
// earlier one.
class ArchiveSlots {
public:
    void ClearArchiveSlots() { m_slots = {}; }
    // Stores the member's file name in the slot of its kind; members of no
    // known kind, and members that are no files of the archive's own, are
    // passed over.
    void OnFileListed(const std::string& member);
    const std::string& operator[](ArchiveKind kind) const {
        return m_slots[static_cast<size_t>(kind)];
    }
    // A member found to be a compressed package now stands for the package.
    void rename(const std::string& from, const std::string& to) {
        for (auto& s : m_slots)
            if (s == from) s = to;
    }
    void forget(const std::string& name) { rename(name, {}); }

private:
    std::array<std::string, 11> m_slots;
};

// What a previewed archive shows.
struct ArchivePreview {
    std::string mapName;              // the map member's name
    std::string mapPath;              // its full path in the private folder, or empty
    std::string description;          // the description, field by field
    std::string picture;              // full path of the preview picture, or empty
    std::string textFile;             // the description member's name
    std::string textPath;             // its full path in the private folder, or empty
    std::vector<ArchiveMap> maps;     // the map with its tables
    std::vector<std::string> members; // every file of the archive (a .uz2 as its package)
};

// Where each installed member reports.
// Loads map archives and installs their members. Each load extracts the
// archive whole into a private temporary folder of its own (the previous
// load's folder goes), so nothing of one archive is ever previewed or
// installed for another, and an archive that cannot be read whole installs
// nothing. Nothing the player has is ever replaced: a target that holds the
// same bytes counts as installed, one that holds others is kept and reported.
class MapArchiveInstaller {
public:
    MapArchiveInstaller();
    ~MapArchiveInstaller();
    MapArchiveInstaller(const MapArchiveInstaller&) = delete;
    MapArchiveInstaller& operator=(const MapArchiveInstaller&) = delete;

    // Empty: the archive holds nothing to install (said to the user).
    enum class Load { Previewed, Installed, Refused, Unreadable, Empty };
    struct LoadResult {
        Load load = Load::Unreadable;
        std::vector<std::string> failures; // maps that could not be installed
        bool stopped = false;              // a direct install ended early when asked
    };
    // With `preview` the archive is shown and waits for ProcessZipArchive;
    // without it its maps go straight into `mapsFolder`. An archive for the
    // older game is refused with its message; one that cannot be read is
    // named with the reason.
    LoadResult LoadZipArchive(const std::string& archive, bool preview,
                              const std::string& mapsFolder, const NoticeSink& notify,
                              const WorkSink& sink, InstallRecorder* recorder = nullptr);

    struct ProcessResult {
        int installed = 0;                 // copied, or there with the same bytes
        int kept = 0;                      // a different file of that name is there
        std::vector<std::string> failures; // members that could not be copied
        std::string logError;              // Tessvane.log could not be written
        bool failed() const { return !failures.empty() || !logError.empty(); }
    };
    // Copies every member of the loaded archive that the game reads to the
    // folders the destination mode names, says each one left out and why,
    // writes Tessvane.log and the Status lines. A member left out for any
    // reason but the same file being there already is a failure.
    ProcessResult ProcessZipArchive(const CacheFolders& folders, const RunOptions& options,
                                    const std::string& programFolder, const WorkSink& sink,
                                    InstallRecorder* recorder = nullptr);

    // An archive is loaded and previewed, waiting for ProcessZipArchive.
    bool loaded() const { return m_loaded; }
    const ArchiveSlots& archiveSlots() const { return m_slots; }
    const ArchivePreview& preview() const { return m_preview; }
    const std::string& ArchiveName() const { return m_archiveName; }
    // Removes the private folders that killed installations left (every
    // load does it too). The number removed.
    static int removeAbandonedFolders();
    // The private folder of the current load (empty before the first).
    std::string extractFolder() const;
    // The free bytes of the temporary folder (the file system's, when not
    // set; tests give less to see the room check).
    std::function<std::optional<uint64_t>(const std::string& folder)> freeSpace;

private:
    struct MemberPlan {
        std::vector<std::string> install;   // in the order they go
        std::vector<std::string> documents; // for the reader: shown, never installed
        std::vector<std::string> unknown;   // what the game reads from no folder
    };
    MemberPlan planMembers() const;
    void sayLeftOut(const MemberPlan& plan, const WorkSink& sink,
                    std::vector<std::string>& failures) const;
    static void placeMember(FilePlacer& placer, const OpenBytes& bytes, const std::string& line,
                            const std::string& target, const std::string& name,
                            const WorkSink& sink, ProcessResult& result);
    // The steps of a load.
    bool startLoad(const std::string& archive, const NoticeSink& notify);
    void unpackCompressedPackages(const NoticeSink& notify);
    void forgetLoad(const NoticeSink& notify, const std::string& why);
    std::optional<Load> refusal(const std::string& archive, bool preview, const NoticeSink& notify);
    std::unordered_set<std::string> membersToUnpack(bool preview, std::string& picture) const;
    std::string unpackedPath(const FolderIndex& unpacked, const std::string& name) const;
    void showPreview(const FolderIndex& unpacked, const std::string& picture);
    void installMaps(const FolderIndex& unpacked, const std::string& mapsFolder,
                     const WorkSink& sink, LoadResult& result, InstallRecorder* recorder);

    ArchiveSlots m_slots;
    ArchivePreview m_preview;
    std::string m_archiveName;
    std::unique_ptr<TempFolder> m_temp;
    std::vector<std::string> m_members; // file names of the current load, in archive order
    // Compressed members of the current load that could not be unpacked
    // (member, why): failures of its installation, never silently left out.
    std::vector<std::pair<std::string, std::string>> m_unpackFailures;
    void reportUnpackFailures(const WorkSink& sink, std::vector<std::string>& failures) const;
    bool m_loaded = false;
};

// Whether a member is a picture the preview can show (PNG, JPEG, BMP, GIF, WebP).
bool isPreviewPicture(std::string_view memberName);

} // namespace tv
