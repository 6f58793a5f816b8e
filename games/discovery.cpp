#include "discovery.h"

#include "wine_registry.h"

#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>

namespace tv {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::vector<std::string> subfolders(const std::string& folder) {
    std::vector<std::string> out;
    listFolder(folder, [&](std::string_view name) {
        const std::string path = joinPath(folder, name);
        if (folderExists(path)) out.push_back(path);
    });
    std::sort(out.begin(), out.end());
    return out;
}

// Looks each name of `relative` up in turn without regard to case.
std::optional<std::string> lookupPath(const std::string& base, const std::string& relative) {
    std::string at = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        const std::string part = relative.substr(start, slash - start);
        start = slash + 1;
        if (part.empty()) continue;
        if (part == "." || part == "..") return std::nullopt; // stays inside the drive
        auto found = lookupInFolder(at, part);
        if (!found) return std::nullopt;
        at = *found;
    }
    return at;
}

std::vector<std::string> winePrefixes(const DiscoveryPlaces& places) {
    std::vector<std::string> out;
    if (!places.winePrefix.empty()) out.push_back(places.winePrefix);
    const std::string& home = places.home;
    if (home.empty()) return out;
    out.push_back(joinPath(home, ".wine"));
    // Lutris (~/Games/<name>), PlayOnLinux, Bottles (native and Flatpak).
    for (const char* parent : {"Games", ".PlayOnLinux/wineprefix",
                               ".var/app/com.usebottles.bottles/data/bottles/bottles"})
        for (const auto& p : subfolders(joinPath(home, parent)))
            out.push_back(p);
    for (const auto& p : subfolders(joinPath(places.dataHome, "bottles/bottles")))
        out.push_back(p);
    return out;
}

std::vector<std::string> steamRoots(const DiscoveryPlaces& places) {
    std::vector<std::string> out;
    const std::string& home = places.home;
    if (!places.dataHome.empty()) out.push_back(joinPath(places.dataHome, "Steam"));
    if (home.empty()) return out;
    for (const char* r :
         {".local/share/Steam", ".steam/steam", ".steam/root", ".steam/debian-installation",
          ".var/app/com.valvesoftware.Steam/.local/share/Steam",
          ".var/app/com.valvesoftware.Steam/data/Steam", "snap/steam/common/.local/share/Steam"})
        out.push_back(joinPath(home, r));
    return out;
}

// The Steam folders that exist and the libraries their libraryfolders.vdf
// lists, each once.
std::vector<std::string> steamLibraries(const DiscoveryPlaces& places) {
    std::vector<std::string> libraries;
    std::set<std::string> seen;
    auto library = [&](const std::string& path) {
        if (folderExists(path) && seen.insert(folderKey(path)).second) libraries.push_back(path);
    };
    for (const auto& root : steamRoots(places)) {
        library(root);
        const std::string vdf = joinPath(root, "steamapps/libraryfolders.vdf");
        auto size = fileSize(vdf);
        if (!size || *size > (16 << 20)) continue;
        if (auto text = readFile(vdf))
            for (const auto& p : steamLibraryPaths(*text))
                library(p);
    }
    return libraries;
}

class Finder {
public:
    Finder(const DiscoveryPlaces& places) : m_places(places) {}

    void nativeInstalls();
    void wineInstalls();
    void steamInstalls();
    void storedFolder(const std::string& folder);
    std::vector<GameInstall> take() { return std::move(m_found); }

private:
    void add(GameInstall in);
    void winePrefix(const std::string& prefix);

    const DiscoveryPlaces& m_places;
    std::vector<GameInstall> m_found;
    std::set<std::string> m_seen; // the user folders (folderKey)
};

void Finder::add(GameInstall in) {
    // A Wine drive mapped to / names the root folder: no game's.
    if (!gameFolderRefusal(in.gameFolder).empty() ||
        (!in.userFolder.empty() && !gameFolderRefusal(in.userFolder).empty()))
        return;
    if (!m_seen.insert(folderKey(in.userFolder)).second) return;
    readGameConfiguration(in);
    m_found.push_back(std::move(in));
}

void Finder::nativeInstalls() {
    for (Game g : {Game::UT2003, Game::UT2004}) {
        const std::string lower = toLower(gameName(g));
        std::string gameFolder;
        for (const auto& root : m_places.nativeRoots) {
            auto found = lookupInFolder(root, lower);
            if (found && hasLinuxBinary(*found, g)) {
                gameFolder = *found;
                break;
            }
        }
        const std::string user = nativeUserFolder(g, m_places.home);
        const bool hasUser = !m_places.home.empty() && folderExists(user);
        if (!hasUser && gameFolder.empty()) continue;
        GameInstall in;
        in.game = g;
        in.kind = InstallKind::Native;
        // Without a game folder found, the player's folder is all there is.
        in.gameFolder = gameFolder.empty() ? user : gameFolder;
        in.userFolder = user;
        add(std::move(in));
    }
}

void Finder::winePrefix(const std::string& prefix) {
    const std::string driveC = findInFolder(prefix, "drive_c");
    if (!folderExists(driveC)) return;
    WineRegistry reg;
    // Only the games' own keys are kept, however many others the file holds.
    reg.load(joinPath(prefix, "system.reg"), [](std::string_view key) {
        for (const char* view : {"Software\\", "Software\\Wow6432Node\\"})
            for (const char* game : {"UT2003", "UT2004"})
                if (equalsNoCase(key,
                                 std::string(view) + "Unreal Technology\\Installed Apps\\" + game))
                    return true;
        return false;
    });
    bool keyed = false;
    for (Game g : {Game::UT2003, Game::UT2004}) {
        const std::string app = std::string("\\Unreal Technology\\Installed Apps\\") + gameName(g);
        for (const char* view : {"Software", "Software\\Wow6432Node"}) {
            auto folder = reg.value(view + app, "Folder");
            if (!folder) continue;
            const std::string path = windowsPathInPrefix(prefix, *folder);
            if (path.empty() || !folderExists(path)) continue;
            GameInstall in;
            in.game = gameInFolder(path).value_or(g);
            in.kind = InstallKind::Wine;
            in.gameFolder = in.userFolder = path;
            add(std::move(in));
            keyed = true;
        }
    }
    if (keyed) return;
    // No key (a copied folder, an installer that wrote none): the usual places.
    for (const char* relative :
         {"UT2004", "UT2003", "Program Files/UT2004", "Program Files/UT2003",
          "Program Files (x86)/UT2004", "Program Files (x86)/UT2003",
          "Program Files/Unreal Tournament 2004", "Program Files (x86)/Unreal Tournament 2004",
          "Program Files/Unreal Tournament 2003", "Program Files (x86)/Unreal Tournament 2003",
          "Games/UT2004", "Games/UT2003", "GOG Games/Unreal Tournament 2004"}) {
        auto path = lookupPath(driveC, relative);
        if (!path) continue;
        auto game = gameInFolder(*path);
        if (!game) continue;
        GameInstall in;
        in.game = *game;
        in.kind = InstallKind::Wine;
        in.gameFolder = in.userFolder = *path;
        add(std::move(in));
    }
}

void Finder::wineInstalls() {
    for (const auto& prefix : winePrefixes(m_places))
        winePrefix(prefix);
}

void Finder::steamInstalls() {
    for (const auto& lib : steamLibraries(m_places)) {
        auto path = lookupPath(lib, "steamapps/common/Unreal Tournament 2004");
        if (!path || !gameInFolder(*path)) continue;
        GameInstall in;
        in.game = Game::UT2004;
        in.kind = InstallKind::Steam;
        in.gameFolder = in.userFolder = *path;
        add(std::move(in));
    }
}

void Finder::storedFolder(const std::string& folder) {
    if (folder.empty() || !folderExists(folder)) return;
    // Already found under its own kind, the stored folder adds nothing.
    const std::string c = folderKey(folder);
    for (const auto& in : m_found)
        if (folderKey(in.gameFolder) == c || folderKey(in.userFolder) == c) return;
    add(installFromFolder(folder, m_places.home));
}

} // namespace

DiscoveryPlaces DiscoveryPlaces::fromEnvironment() {
    DiscoveryPlaces p;
    p.home = env("HOME");
    p.dataHome = env("XDG_DATA_HOME");
    if (p.dataHome.empty() && !p.home.empty()) p.dataHome = joinPath(p.home, ".local/share");
    p.winePrefix = env("WINEPREFIX");
    // The machine's own folders, below TESSVANE_SYSTEM_ROOT when that is set:
    // tests show discovery a machine of their own, not the one they run on.
    const std::string system = env("TESSVANE_SYSTEM_ROOT");
    for (const char* folder : {"/usr/local/games", "/usr/games", "/opt", "/usr/share/games"})
        p.nativeRoots.push_back(system + folder);
    if (!p.home.empty()) {
        p.nativeRoots.push_back(joinPath(p.home, "Games"));
        p.nativeRoots.push_back(p.home);
    }
    if (!p.dataHome.empty()) p.nativeRoots.push_back(joinPath(p.dataHome, "OldUnreal"));
    return p;
}

std::vector<GameInstall> discoverInstalls(const DiscoveryPlaces& places,
                                          const std::string& stored) {
    Finder f(places);
    f.nativeInstalls();
    f.wineInstalls();
    f.steamInstalls();
    f.storedFolder(stored);
    return f.take();
}

std::vector<SearchedPlace> searchedPlaces(const DiscoveryPlaces& places) {
    std::vector<SearchedPlace> out;
    std::set<std::pair<PlaceKind, std::string>> seen; // ~/.local/share/Steam is named twice
    auto place = [&](PlaceKind kind, const std::string& folder) {
        if (seen.emplace(kind, folderKey(folder)).second) out.push_back({kind, folder});
    };
    for (const auto& root : places.nativeRoots)
        place(PlaceKind::GameFolders, root);
    if (!places.home.empty())
        for (Game g : {Game::UT2003, Game::UT2004})
            place(PlaceKind::PlayerFolder, nativeUserFolder(g, places.home));
    for (const auto& prefix : winePrefixes(places))
        place(PlaceKind::WinePrefix, prefix);
    // Every Steam folder tried, then the further libraries they list.
    for (const auto& root : steamRoots(places))
        place(PlaceKind::SteamLibrary, root);
    for (const auto& lib : steamLibraries(places))
        place(PlaceKind::SteamLibrary, lib);
    return out;
}

std::vector<std::string> steamLibraryPaths(const std::string& text) {
    // A flat walk over the quoted strings: "path" is followed by its value;
    // in the older form a number is followed by a library's path.
    std::vector<std::string> strings;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find('"', at);
        if (open == std::string::npos) break;
        std::string s;
        size_t i = open + 1;
        for (; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) ++i;
            s += text[i];
        }
        strings.push_back(std::move(s));
        at = i + 1;
    }
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < strings.size(); ++i) {
        const std::string& k = strings[i];
        const std::string& v = strings[i + 1];
        const bool numbered = !k.empty() && k.find_first_not_of("0123456789") == std::string::npos;
        if ((equalsNoCase(k, "path") || numbered) && !v.empty() && v.front() == '/') {
            out.push_back(v);
            ++i;
        }
    }
    return out;
}

std::string windowsPathInPrefix(const std::string& prefix, const std::string& windowsPath) {
    std::string p = windowsPath;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p.size() < 2 || p[1] != ':' || !std::isalpha(static_cast<unsigned char>(p[0]))) return {};
    const std::string drive = std::string(1, lower8(p[0])) + ":";
    std::string root = joinPath(joinPath(prefix, "dosdevices"), drive);
    if (!folderExists(root)) {
        if (drive != "c:") return {};
        root = findInFolder(prefix, "drive_c");
    }
    root = realPath(root);
    std::string rest = p.substr(2);
    if (auto found = lookupPath(root, rest)) return realPath(*found);
    // Not there (yet): the path as it would be.
    return {};
}

} // namespace tv
