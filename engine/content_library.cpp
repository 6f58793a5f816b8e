#include "content_library.h"

#include "formats/ini.h"
#include "formats/map_facts.h"
#include "formats/package_header.h"
#include "formats/zip_archive.h"
#include "installed_packages.h"
#include "package_state.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "stock_packages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_set>

namespace tv {

namespace {

constexpr struct {
    Origin origin;
    const char* name;
} kOrigins[] = {{Origin::Stock, "stock"},
                {Origin::Moved, "moved"},
                {Origin::Installed, "installed"},
                {Origin::Found, "found"},
                {Origin::Cache, "cache"}};

constexpr struct {
    FileType type;
    const char* name;
} kTypes[] = {{FileType::Map, "map"},
              {FileType::Texture, "texture"},
              {FileType::Music, "music"},
              {FileType::Sound, "sound"},
              {FileType::StaticMesh, "staticmesh"},
              {FileType::Animation, "animation"},
              {FileType::Localisation, "localisation"},
              {FileType::Demo, "demo"},
              {FileType::Code, "code"}};

// Whether `path` lies below `folder` (its own folder or deeper).
bool below(const std::string& path, const std::string& folder) {
    const std::string base = withoutTrailingSeparator(folder);
    return !base.empty() && path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           path[base.size()] == '/';
}

// A native install's game folder the player cannot write to holds only
// what the game shipped with.
bool shippedFolder(const GameInstall& install) {
    return install.kind == InstallKind::Native && !install.gameFolder.empty() &&
           install.gameFolder != install.userFolder &&
           ::access(install.gameFolder.c_str(), W_OK) != 0;
}

void addFile(std::vector<LibraryEntry>& out, const std::string& folder, const std::string& name) {
    struct stat st {};
    LibraryEntry e;
    e.path = joinPath(folder, name);
    if (::stat(e.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    e.name = name;
    e.type = fileTypeOf(name);
    e.size = st.st_size;
    e.modified = st.st_mtime;
    out.push_back(std::move(e));
}

// The game's and the player's Music folders: the game reads music there,
// not through Paths=.
std::vector<std::string> musicFolders(const CacheFolders& folders) {
    std::vector<std::string> out;
    if (!folders.music.empty()) out.push_back(folders.music);
    if (!folders.gameFolder.empty() && folders.gameFolder != folders.userFolder) {
        const FolderIndex game(folders.gameFolder);
        if (auto music = game.find("Music")) {
            std::string path = joinPath(folders.gameFolder, *music);
            if (std::find(out.begin(), out.end(), path) == out.end()) out.push_back(path);
        }
    }
    return out;
}

void giveOrigins(std::vector<LibraryEntry>& entries, const LibrarySources& s) {
    std::unordered_map<std::string_view, const UndoRecord*> moved;
    for (const auto& r : s.moves)
        moved[r.NewFName] = &r;
    std::unordered_map<std::string_view, const Installation*> installed;
    for (const auto& in : s.installations)
        for (const auto& f : in.files)
            installed[f.path] = &in;
    const bool shipped = shippedFolder(s.install);
    for (auto& e : entries) {
        if (e.origin == Origin::Cache) continue;
        if (auto m = moved.find(e.path); m != moved.end()) {
            e.origin = Origin::Moved;
            e.originDate = m->second->MoveDate;
        } else if (auto i = installed.find(e.path); i != installed.end()) {
            e.origin = Origin::Installed;
            e.originDate = i->second->date;
            e.archive = i->second->archive;
        } else if (shipped ? below(e.path, s.install.gameFolder)
                           : isStockName(s.install.game, e.name)) {
            e.origin = Origin::Stock;
        }
    }
}

} // namespace

const char* originName(Origin origin) {
    for (const auto& o : kOrigins)
        if (o.origin == origin) return o.name;
    return "";
}

std::optional<Origin> originFromName(std::string_view name) {
    for (const auto& o : kOrigins)
        if (equalsNoCase(name, o.name)) return o.origin;
    return std::nullopt;
}

const char* typeName(FileType type) {
    for (const auto& t : kTypes)
        if (t.type == type) return t.name;
    return "";
}

std::optional<FileType> typeFromName(std::string_view name) {
    for (const auto& t : kTypes)
        if (equalsNoCase(name, t.name)) return t.type;
    return std::nullopt;
}

std::string LibraryEntry::originText() const {
    switch (origin) {
    case Origin::Stock:
        return "stock";
    case Origin::Moved:
        return "moved from the cache on " + originDate;
    case Origin::Installed:
        return "installed from " + fileNameOf(archive) + " on " + originDate;
    case Origin::Found:
        return "found";
    case Origin::Cache:
        return "in the cache";
    }
    return {};
}

std::string LibraryEntry::besideText() const {
    if (beside == Beside::Nothing) return {};
    if (inCache())
        return beside == Beside::Same ? "installed already" : "another version is installed";
    return beside == Beside::Same ? "the cache holds the same one"
                                  : "the cache holds another version";
}

std::vector<LibraryEntry> listLibrary(const LibrarySources& s) {
    std::vector<LibraryEntry> out;
    std::unordered_set<std::string> listed; // each file once
    const InstalledPackages installed(s.folders);
    for (const auto& place : installed.folders()) {
        const FolderIndex& index = *place.index;
        for (const std::string& name : index.names()) {
            if (!wildcardMatch(place.pattern, name)) continue;
            const std::string path = joinPath(index.folder(), name);
            if (listed.insert(path).second) addFile(out, index.folder(), name);
        }
    }
    for (const auto& folder : musicFolders(s.folders)) {
        const FolderIndex index(folder);
        for (const std::string& name : index.names())
            if (fileTypeOf(name) == FileType::Music && listed.insert(joinPath(folder, name)).second)
                addFile(out, folder, name);
    }
    giveOrigins(out, s);
    for (const auto& c : readCacheEntries(s.folders)) {
        if (c.file.empty() || !isPlainFileName(c.name)) continue;
        const size_t before = out.size();
        addFile(out, s.folders.cacheFolder, c.file);
        if (out.size() == before) continue;
        out.back().name = c.name;
        out.back().type = fileTypeOf(c.name);
        out.back().origin = Origin::Cache;
    }
    return out;
}

namespace {

void readOne(LibraryEntry& e) {
    e.read = true;
    if (!isPackageType(e.type)) return;
    const PackageRead r = readPackage(e.path, e.size, true);
    if (r.file.kind != PackageFile::Kind::Package ||
        r.imports.kind != PackageImports::Kind::Package) {
        e.damaged = r.file.kind != PackageFile::Kind::Unreadable;
        return;
    }
    if (r.file.header.hasGuid) e.guid = guidText(r.file.header.guid);
    e.needs = r.imports.needs;
    if (e.type != FileType::Map) return;
    const MapRead map = readMapFile(e.path);
    e.song = map.facts.song;
    e.title = map.facts.title;
}

// Each package beside the one of its name on the other side of the cache.
void workOutBeside(std::vector<LibraryEntry>& entries) {
    std::unordered_map<std::string, std::vector<LibraryEntry*>> byName;
    for (auto& e : entries)
        if (!e.guid.empty()) byName[toLower(e.name)].push_back(&e);
    for (auto& [name, all] : byName)
        for (LibraryEntry* a : all)
            for (const LibraryEntry* b : all)
                if (a->inCache() != b->inCache())
                    a->beside = a->guid == b->guid ? LibraryEntry::Beside::Same
                                                   : LibraryEntry::Beside::Other;
}

} // namespace

void readLibraryFacts(std::vector<LibraryEntry>& entries, const LibrarySources& sources,
                      const std::function<bool()>& stop) {
    for (auto& e : entries) {
        if (stop && stop()) break;
        readOne(e);
        if (e.origin != Origin::Stock || e.guid.empty()) continue;
        // A package of a stock name that is not the one first seen there
        // replaced the game's own.
        auto seen = sources.stockSeen.find(toLower(e.name));
        if (seen != sources.stockSeen.end() && seen->second != e.guid) e.origin = Origin::Found;
    }
    workOutBeside(entries);
    workOutUsers(entries, sources.folders);
}

void workOutUsers(std::vector<LibraryEntry>& entries, const CacheFolders& folders) {
    std::unordered_map<std::string, std::vector<LibraryEntry*>> byStem, music;
    for (auto& e : entries) {
        e.users.clear();
        e.serverPackage = e.editPackage = false;
        if (e.type == FileType::Music)
            music[toLower(packageStem(e.name))].push_back(&e);
        else if (isPackageType(e.type))
            byStem[toLower(packageStem(e.name))].push_back(&e);
    }
    auto use = [&](std::vector<LibraryEntry*>& used, size_t user) {
        for (LibraryEntry* u : used)
            if (u != &entries[user] &&
                std::find(u->users.begin(), u->users.end(), user) == u->users.end())
                u->users.push_back(user);
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        for (const auto& need : entries[i].needs)
            if (auto it = byStem.find(toLower(need)); it != byStem.end()) use(it->second, i);
        if (!entries[i].song.empty())
            if (auto it = music.find(toLower(entries[i].song)); it != music.end())
                use(it->second, i);
    }
    const std::vector<std::string> ini =
        readLines(folders.gameIni).value_or(std::vector<std::string>{});
    auto mark = [&](const char* section, const char* key, bool LibraryEntry::*flag) {
        for (const auto& value : iniValues(ini, section, key))
            if (auto it = byStem.find(toLower(trim(value))); it != byStem.end())
                for (LibraryEntry* e : it->second)
                    e->*flag = true;
    };
    mark("Engine.GameEngine", "ServerPackages", &LibraryEntry::serverPackage);
    mark("Editor.EditorEngine", "EditPackages", &LibraryEntry::editPackage);
}

std::vector<std::string> usedBy(const std::vector<LibraryEntry>& entries, const LibraryEntry& e) {
    std::vector<std::string> out;
    for (size_t u : e.users)
        out.push_back(entries[u].inCache() ? entries[u].name + " (cache)" : entries[u].name);
    return out;
}

std::unordered_map<std::string, std::string> stockGuids(const std::vector<LibraryEntry>& entries) {
    std::unordered_map<std::string, std::string> out;
    for (const auto& e : entries)
        if (e.origin == Origin::Stock && !e.guid.empty()) out.emplace(toLower(e.name), e.guid);
    return out;
}

} // namespace tv
