#include "cli.h"
#include "demo_map.h"

#include "engine/package_state.h"
#include "formats/cls_registry.h"
#include "formats/package_header.h"
#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tv {

namespace {

// A stable 32-character identifier for a demo package, like the game's own.
std::string identifierFor(const std::string& name) {
    uint64_t h1 = 1469598103934665603ULL, h2 = 1099511628211ULL;
    for (unsigned char c : name) {
        h1 = (h1 ^ c) * 1099511628211ULL;
        h2 = (h2 + c) * 6364136223846793005ULL + 1442695040888963407ULL;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016llX%016llX", static_cast<unsigned long long>(h1),
                  static_cast<unsigned long long>(h2));
    return buf;
}

bool writeText(const std::string& path, const std::string& text, std::string& error) {
    if (!writeFileAtomic(path, text, &error)) return false;
    return true;
}

} // namespace

namespace {

// The game's folders and its two configuration files.
bool makeGameFolder(const fs::path& game, std::string& error) {
    std::error_code ec;
    for (const char* sub :
         {"System", "Maps", "Textures", "Sounds", "Music", "StaticMeshes", "Animations", "Cache"}) {
        fs::create_directories(game / sub, ec);
        if (ec) {
            error = "Cannot create " + (game / sub).string() + ": " + ec.message();
            return false;
        }
    }
    return writeText((game / "System" / "UT2003.ini").string(),
                     "[URL]\r\nProtocol=unreal\r\nMap=Entry.ut2\r\n\r\n[Core.System]\r\n"
                     "PurgeCacheDays=30\r\nCachePath=../Cache\r\nCacheExt=.uxx\r\n",
                     error) &&
           writeText((game / "System" / "User.ini").string(),
                     "[DefaultPlayer]\r\nName=DemoPlayer\r\nTeam=255\r\n", error);
}

// The program folder: the shipped files the program checks for at start
// and a never-move list.
bool makeProgramFolder(const fs::path& program, std::string& error) {
    std::error_code ec;
    fs::create_directories(program, ec);
    if (ec) {
        error = "Cannot create " + program.string() + ": " + ec.message();
        return false;
    }
    std::string shipped = shippedFolder(executableFolder());
    for (const char* name :
         {"Tessvane.ini", "search.gif", "tessvane.mdb", "Tessvane Help.html", "e.wav"}) {
        fs::copy_file(findInFolder(shipped, name), program / name,
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "Cannot copy " + std::string(name) + " from " + shipped + ": " + ec.message();
            return false;
        }
    }
    return writeText((program / "TessvaneDontMove.ini").string(), "UTPure*\r\n", error);
}

// A package file as the game writes one: the header with its GUID (from the
// cache identifier), then some text. Files that are no packages (music,
// localisation, demos) are text only.
std::string demoPackage(const std::string& name, const std::string& id) {
    // The maps say what real ones say of themselves.
    static const std::pair<const char*, DemoMap> kMaps[] = {
        {"DM-Antalus.ut2", {"Antalus", "Demo Mapper", "xGame.xDeathMatch", "Level1", 2, 6}},
        {"CTF-Face3.ut2", {"Facing Worlds", "Demo Mapper", "xGame.xCTFGame", "KR-Face", 6, 12}},
        {"ONS-Torlan.ut2", {"Torlan", "Demo Mapper", "Onslaught.ONSOnslaughtGame", "Theme", 8, 16}},
    };
    for (const auto& [file, map] : kMaps)
        if (name == file) return demoMapPackage(map, id);
    std::string text = "Demo package " + name + "\r\n";
    // A name without its extension is a map the repair will name.
    const bool package = isPackageType(fileTypeOf(name)) || name.find('.') == std::string::npos;
    if (!package) return text;
    std::string h(kPackageHeaderBytes, '\0');
    auto put = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i)
            h[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(0, kPackageTag);
    put(4, 119); // UT2003's file version
    for (size_t at = 12; at < 36; at += 8)
        put(at + 4, static_cast<uint32_t>(kPackageHeaderBytes));
    for (size_t i = 0; i < 16 && 2 * i + 1 < id.size(); ++i)
        h[36 + i] = static_cast<char>(std::stoi(id.substr(2 * i, 2), nullptr, 16));
    return h + text;
}

// A cache of every kind of package, with a few of the index's odd lines
// (a numbered suffix, a name without its extension, a package twice), one
// package installed already and another installed in another version.
bool makeCache(const fs::path& cache, std::string& error) {
    struct Entry {
        std::string name;
        std::string suffix; // "", "-1" or another "-N"
    };
    const std::vector<Entry> entries = {
        {"DM-Antalus.ut2", ""},   {"CTF-Face3.ut2", "-1"}, {"AlienTextures.utx", ""},
        {"BonusPack.u", ""},      {"BonusPack.int", ""},   {"Ambience.uax", ""},
        {"Theme.ogg", ""},        {"Trees.usx", ""},       {"Monsters.ukx", ""},
        {"TankParts.utx", ""},    {"TankParts.utx", ""},   {"DM-Deck17", ""},
        {"ModSettings", ""},      {"OldMusic.umx", ""},    {"UTPureR4.u", ""},
        {"ONS-Torlan.ut2", "-7"}, {"Replay.dem", ""},
    };
    std::string cacheIni = "[Cache]\r\n";
    int64_t when = 1041379200; // 1 January 2003
    int n = 0;
    for (const auto& e : entries) {
        std::string id = identifierFor(e.name + std::to_string(n++));
        std::string key = id + e.suffix;
        cacheIni += key + "=" + e.name + "\r\n";
        fs::path file = cache / (key + ".uxx");
        const std::string bytes = demoPackage(e.name, id);
        if (!writeText(file.string(), bytes, error)) return false;
        if (e.name == "DM-Antalus.ut2" &&
            !writeText((cache.parent_path() / "Maps" / e.name).string(), bytes, error))
            return false;
        if (e.name == "AlienTextures.utx" &&
            !writeText((cache.parent_path() / "Textures" / e.name).string(),
                       demoPackage(e.name, identifierFor("another version")), error))
            return false;
        struct timespec times[2];
        when += 86400 + 3600 * n;
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(when);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    }
    return writeText((cache / "Cache.ini").string(), cacheIni, error);
}

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

} // namespace

bool createDemo(const std::string& dirArg, std::string& startCommand, std::string& error) {
    std::error_code ec;
    fs::path dir = fs::absolute(dirArg, ec);
    fs::path game = dir / "UT2003";
    fs::path program = dir / "program";
    if (!makeGameFolder(game, error) || !makeProgramFolder(program, error) ||
        !makeCache(game / "Cache", error))
        return false;
    // The game's own code, which every map needs.
    for (const char* code : {"Core.u", "Engine.u"})
        if (!writeText((game / "System" / code).string(), demoPackage(code, identifierFor(code)), error))
            return false;
    fs::path regFile = dir / "registry.reg";
    RegistryStore store(regFile.string());
    if (!store.setValue("HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003",
                        "Folder", RegValue::text(game.string()), &error))
        return false;
    startCommand = "TESSVANE_HOME=" + shellQuoted(program.string()) +
                   " TESSVANE_REGISTRY=" + shellQuoted(regFile.string()) + " " +
                   shellQuoted((fs::path(executableFolder()) / "tessvane").string());
    return true;
}

} // namespace tv
