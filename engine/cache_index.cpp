#include "cache_index.h"

#include "platform/program_folder.h"

#include "formats/ini.h"
#include "platform/dates.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "store/never_move.h"
#include "store/settings.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace tv {

const char* const kMissingExtensionText = "**ERROR** Missing file extension in cache.ini ---> ";
const char* const kErrorMark = "**ERROR**";
const char* const kUnsafeNameText = "**ERROR** Not a plain file name in cache.ini ---> ";

std::string CacheFolders::folderFor(FileType type) const {
    switch (type) {
    case FileType::Map:
        return maps;
    case FileType::Texture:
        return textures;
    case FileType::Music:
        return music;
    case FileType::Sound:
        return sounds;
    case FileType::StaticMesh:
        return staticMeshes;
    case FileType::Animation:
        return animations;
    case FileType::Localisation:
    case FileType::Demo:
    case FileType::Code:
        return system;
    case FileType::Unknown:
        return {};
    }
    return {};
}

std::string indexKeptLine(const std::string& cacheIni, const std::string& bakFile) {
    return cacheIni + " was renamed to " + fileNameOf(bakFile);
}

std::string folderSettingsPath(const std::string& programFolder) {
    return findInFolder(shippedFolder(programFolder), "Tessvane.ini");
}

CacheFolders workOutFolders(const std::string& programFolder, const GameInstall& install,
                            std::string& cacheDirLabel) {
    CacheFolders f;
    std::string ini = folderSettingsPath(programFolder);
    auto dirs = [&](const char* key) { return INIGetSettingString("Dirs", key, ini, ""); };
    // The game's configuration as it is now: the player may have changed it.
    GameInstall live = install;
    live.gameFolder = withoutTrailingSeparator(live.gameFolder);
    live.userFolder =
        withoutTrailingSeparator(live.userFolder.empty() ? live.gameFolder : live.userFolder);
    readGameConfiguration(live);
    f.gameFolder = live.gameFolder;
    f.userFolder = live.userFolder;
    const std::string& user = live.userFolder;
    if (cacheDirLabel.empty()) cacheDirLabel = live.cacheFolder;
    if (cacheDirLabel.empty()) {
        std::string cachePath = dirs("CachePath");
        std::string_view rel = cachePath;
        while (!rel.empty() && rel.front() == '/')
            rel.remove_prefix(1);
        // A plain folder name is looked up without regard to case.
        if (!rel.empty() && rel.find('/') == std::string_view::npos) {
            if (auto found = lookupInFolder(user, rel)) cacheDirLabel = *found;
        }
        if (cacheDirLabel.empty()) cacheDirLabel = user + cachePath;
    }
    f.cacheFolder = cacheDirLabel;
    f.cacheExt = live.cacheExt.empty() ? dirs("CacheExt") : live.cacheExt;
    // Folder names are looked up without regard to case, as the game's own
    // files may have come from a Windows installation.
    auto sub = [&](const std::string& name) { return findInFolder(user, name); };
    f.maps = sub(dirs("Maps"));
    f.textures = sub(dirs("Textures"));
    f.sounds = sub(dirs("Sounds"));
    f.music = sub(dirs("Music"));
    f.staticMeshes = sub(dirs("StaticMeshes"));
    f.animations = sub(dirs("Animations"));
    f.system = sub("System");
    f.gameIni = live.gameIni;
    f.userIni = live.userIni;
    f.packageFolders = packageFolders(live);
    return f;
}

size_t cacheEntryCount(const CacheFolders& folders) {
    auto cacheIni = lookupInFolder(folders.cacheFolder, "cache.ini");
    if (!cacheIni) return 0;
    auto lines = readLines(*cacheIni);
    if (!lines) return 0;
    size_t n = 0;
    for (const auto& line : *lines)
        n += parseCacheLine(line, folders.cacheExt).has_value();
    return n;
}

// "<32 characters>-<digits>=" as later versions of the game write it.
static bool hasNumberedSuffix(std::string_view line, size_t& eq) {
    if (line.size() < 35 || line[32] != '-') return false;
    size_t i = 33;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == 33 || i >= line.size() || line[i] != '=') return false;
    eq = i;
    return true;
}

std::optional<CacheEntry> parseCacheLine(std::string_view line, std::string_view cacheExt) {
    if (line.size() <= 10) return std::nullopt;
    CacheEntry e;
    std::string ext(1, '.');
    ext += cacheExt;
    std::string_view id = line.substr(0, 32);
    size_t eq = 0;
    if (line.find("-1=") != std::string_view::npos) {
        e.key = std::string(line.substr(0, 34));
        e.name = line.size() > 35 ? std::string(line.substr(35)) : std::string();
        e.candidate1 = e.key + ext;
    } else if (hasNumberedSuffix(line, eq)) {
        e.key = std::string(line.substr(0, eq));
        e.name = std::string(line.substr(eq + 1));
        e.candidate1 = e.key + ext;
    } else {
        e.key = std::string(id);
        e.name = line.size() > 33 ? std::string(line.substr(33)) : std::string();
        e.candidate1 = std::string(id) + "-1" + ext;
    }
    e.candidate2 = std::string(id) + ext;
    e.missingExtension = e.name.find('.') == std::string::npos;
    return e;
}

namespace {

// A cache file whose date and size the scan asks for.
struct Asked {
    size_t row;
    const char* name; // NUL-ended, in the folder's index
    struct stat st;
    bool answered;
};

// Each file is asked of the folder itself (no path to walk per file). A big
// cache is asked by a few threads at once: each answer mostly waits on the
// file system.
void askFolder(int dir, std::vector<Asked>& asked) {
    constexpr size_t kPerThread = 2048;
    auto ask = [dir](Asked* from, Asked* to) {
        for (Asked* a = from; a != to; ++a)
            a->answered = ::fstatat(dir, a->name, &a->st, 0) == 0;
    };
    const size_t threads = std::clamp<size_t>(asked.size() / kPerThread, 1,
                                              std::max(1u, std::thread::hardware_concurrency()));
    const size_t share = (asked.size() + threads - 1) / threads;
    std::vector<std::thread> helpers;
    size_t from = share; // this thread takes the first share
    for (; from < asked.size() && helpers.size() + 1 < threads; from += share) {
        Asked* begin = asked.data() + from;
        Asked* end = asked.data() + std::min(asked.size(), from + share);
        try {
            helpers.emplace_back(ask, begin, end);
        } catch (const std::system_error&) {
            break; // no thread to be had: the rest is asked here
        }
    }
    ask(asked.data(), asked.data() + std::min(asked.size(), share));
    if (from < asked.size()) ask(asked.data() + from, asked.data() + asked.size());
    for (auto& t : helpers)
        t.join();
}

} // namespace

bool readCacheIndex(const std::vector<std::string>& lines, const CacheFolders& folders,
                    std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table) {
    const size_t first = rows.size();
    const bool missing = parseCacheIndex(lines, folders, rows, table);
    findCacheFiles(folders, FolderIndex(folders.cacheFolder), rows, table, first);
    return missing;
}

bool parseCacheIndex(const std::vector<std::string>& lines, const CacheFolders& folders,
                     std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table) {
    bool missing = false;
    rows.reserve(rows.size() + lines.size());
    table.reserve(table.size() + lines.size());
    for (const auto& line : lines) {
        auto e = parseCacheLine(line, folders.cacheExt);
        if (!e) continue;
        FileRow& row = rows.emplace_back();
        if (!isPlainFileName(e->name)) {
            row.text = kUnsafeNameText + e->name;
        } else if (e->missingExtension) {
            row.text = kMissingExtensionText + e->name;
            missing = true;
        } else {
            row.text = e->name;
        }
        ScanTableEntry& entry = table.emplace_back();
        entry.candidate = std::move(e->candidate1);
        entry.name = std::move(e->name);
        entry.candidate2 = std::move(e->candidate2);
    }
    return missing;
}

void findCacheFiles(const CacheFolders& folders, const FolderIndex& cache,
                    std::vector<FileRow>& rows, std::vector<ScanTableEntry>& table,
                    size_t firstRow) {
    const size_t count = rows.size() - firstRow;
    const size_t firstEntry = table.size() - count;
    std::vector<Asked> asked;
    asked.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const ScanTableEntry& entry = table[firstEntry + i];
        const FolderIndex::Entry* file = cache.entry(entry.candidate);
        if (!file) file = cache.entry(entry.candidate2);
        // The index's names are whole strings: the view ends in a NUL.
        if (file) asked.push_back({i, file->name.data(), {}, false});
    }
    const int dir = ::open(folders.cacheFolder.empty() ? "." : folders.cacheFolder.c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    askFolder(dir, asked);
    ::close(dir);
    for (Asked& a : asked) {
        if (!a.answered) continue;
        FileRow& row = rows[firstRow + a.row];
        ScanTableEntry& entry = table[firstEntry + a.row];
        entry.file = a.name;
        entry.size = S_ISREG(a.st.st_mode) ? static_cast<int64_t>(a.st.st_size) : -1;
        row.modified = static_cast<int64_t>(a.st.st_mtime);
    }
}

ListedCacheIndex readListedCacheIndex(const std::string& cacheFolder,
                                      const std::function<void(std::vector<std::string>&)>& parse,
                                      const std::function<void()>& discard) {
    ListedCacheIndex found;
    FolderListingAhead ahead(cacheFolder);
    std::string readFrom;
    std::optional<std::vector<std::string>> lines;
    for (const char* name : {"cache.ini", "Cache.ini"}) {
        readFrom = joinPath(cacheFolder, name);
        if (fileExists(readFrom) && (lines = readLines(readFrom))) break;
    }
    if (lines) parse(*lines);
    found.folder = ahead.take();
    const FolderIndex::Entry* index = found.folder->entry("cache.ini");
    if (index) found.path = joinPath(cacheFolder, index->name);
    if (!index || !fileExists(found.path)) {
        if (lines) discard();
        found.path.clear();
        return found;
    }
    if (lines && readFrom == found.path) {
        found.read = true;
        return found;
    }
    if (lines) discard();
    lines = readLines(found.path);
    found.read = lines.has_value();
    if (lines) parse(*lines);
    return found;
}

std::string FileRow::date() const {
    return modified < 0 ? std::string() : generalDate(modified);
}

void tickBySelection(std::vector<FileRow>& rows, const Settings& s) {
    if (s.selectAll) {
        for (auto& r : rows)
            r.ticked = true;
        return;
    }
    const bool on[] = {s.U, s.UAX, s.UMX, s.UT2, s.UTX, s.USX, s.UKX};
    for (size_t b = 0; b < std::size(kTypeBoxOrder); ++b) {
        if (!on[b]) continue;
        for (auto& r : rows)
            if (typeBoxTicks(kTypeBoxOrder[b], r.text)) r.ticked = true;
    }
}

void markNeverMove(std::vector<FileRow>& rows, const NeverMoveList& list) {
    for (auto& r : rows) {
        if (list.matches(r.text)) {
            r.neverMove = true;
            r.ticked = false;
        }
    }
}

void applySelectionRules(std::vector<FileRow>& rows, const NeverMoveList& list,
                         const Settings& settings) {
    tickBySelection(rows, settings);
    markNeverMove(rows, list);
    uncheckDuplicates(rows);
    uncheckErrorEntries(rows);
}

void applyChangedNeverMoveList(std::vector<FileRow>& rows, const NeverMoveList& list,
                               const Settings& settings) {
    // The ticks a fresh scan would give, for the rows the list lets go.
    std::vector<FileRow> scanned = rows;
    for (auto& r : scanned) {
        r.ticked = false;
        r.neverMove = false;
    }
    applySelectionRules(scanned, list, settings);
    for (size_t i = 0; i < rows.size(); ++i) {
        FileRow& r = rows[i];
        if (scanned[i].neverMove) {
            r.neverMove = true;
            r.ticked = false;
        } else if (r.neverMove) {
            r.neverMove = false;
            r.ticked = scanned[i].ticked;
        }
        // Every other row keeps the tick the user left.
    }
}

void uncheckDuplicates(std::vector<FileRow>& rows) {
    std::unordered_map<std::string_view, int> seen;
    seen.reserve(rows.size());
    for (const auto& r : rows)
        ++seen[r.text];
    std::unordered_set<std::string> duplicated; // upper-cased
    for (const auto& [text, n] : seen)
        if (n > 1) duplicated.insert(toUpper(text));
    if (duplicated.empty()) return;
    for (auto& r : rows)
        if (r.ticked && duplicated.count(toUpper(r.text))) r.ticked = false;
}

void uncheckErrorEntries(std::vector<FileRow>& rows) {
    for (auto& r : rows)
        if (r.text.find(kErrorMark) != std::string::npos) r.ticked = false;
}

size_t countTicked(const std::vector<FileRow>& rows) {
    size_t n = 0;
    for (const auto& r : rows)
        n += r.ticked;
    return n;
}

std::string foundText(size_t n) {
    return "Found " + std::to_string(n) + (n > 1 ? " files to process" : " file to process");
}

std::vector<ScanTableEntry> readCacheEntries(const CacheFolders& folders) {
    std::vector<FileRow> rows;
    std::vector<ScanTableEntry> table;
    const auto index = readListedCacheIndex(
        folders.cacheFolder,
        [&](std::vector<std::string>& lines) { parseCacheIndex(lines, folders, rows, table); },
        [&] {
            rows.clear();
            table.clear();
        });
    if (index.folder && index.read) findCacheFiles(folders, *index.folder, rows, table, 0);
    return table;
}

} // namespace tv
