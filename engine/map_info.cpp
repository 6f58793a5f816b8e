#include "map_info.h"

#include "formats/ini.h"
#include "formats/package_header.h"
#include "formats/unreal_properties.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>

namespace tv {

namespace {

// A localised text file is a few kilobytes; more is not one.
constexpr size_t kMaxLocalisedBytes = 1 << 20;

// The file as UTF-8: UTF-16LE after its byte-order mark, else one byte a
// character (Windows' Latin-1) unless it is UTF-8 already; colour codes
// (ESC and three characters) taken out.
std::string decodedText(const std::string& bytes) {
    std::string out;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const uint32_t u = static_cast<uint8_t>(bytes[i]) |
                               static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
            if (u == 0x1B) {
                i += 6;
                continue;
            }
            appendUtf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        }
        return out;
    }
    const std::string plain = withoutColourCodes(bytes);
    bool utf8 = true;
    for (size_t i = 0; i < plain.size() && utf8;) {
        const auto b = static_cast<uint8_t>(plain[i]);
        const size_t n = b < 0x80             ? 1
                         : (b & 0xE0) == 0xC0 ? 2
                         : (b & 0xF0) == 0xE0 ? 3
                         : (b & 0xF8) == 0xF0 ? 4
                                              : 0;
        utf8 = n > 0 && i + n <= plain.size();
        for (size_t k = 1; utf8 && k < n; ++k)
            utf8 = (static_cast<uint8_t>(plain[i + k]) & 0xC0) == 0x80;
        i += n ? n : 1;
    }
    if (utf8) return plain;
    for (char c : plain)
        appendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

// The player's language: [Engine.Engine] Language= of the game's configuration.
std::string languageOf(const CacheFolders& folders) {
    const std::string language =
        INIGetSettingString("Engine.Engine", "Language", folders.gameIni, "int");
    return isPlainFileName(language) ? toLower(language) : "int";
}

} // namespace

void localise(MapFacts& facts, const CacheFolders& folders, std::string_view mapStem) {
    const std::string language = languageOf(folders);
    std::vector<std::string> systems;
    for (const auto& root : {folders.userFolder, folders.gameFolder}) {
        if (root.empty()) continue;
        const std::string system = joinPath(root, "System");
        if (std::find(systems.begin(), systems.end(), system) == systems.end())
            systems.push_back(system);
    }
    // The first file that has a value gives it: the player's language before
    // the international text, the player's System folder before the game's.
    std::string title, description;
    for (const std::string& extension : {language, std::string("int")}) {
        for (const auto& system : systems) {
            const FolderIndex index(system);
            const auto name = index.find(std::string(mapStem) + "." + extension);
            if (!name) continue;
            const auto path = joinPath(system, *name);
            const auto size = fileSize(path);
            if (!size || *size > static_cast<int64_t>(kMaxLocalisedBytes)) continue;
            const auto bytes = readFile(path);
            if (!bytes) continue;
            const auto lines = splitLines(decodedText(*bytes));
            if (title.empty()) title = iniValue(lines, "LevelSummary", "Title", "");
            if (description.empty())
                description = iniValue(lines, "LevelSummary", "Description", "");
        }
    }
    if (!title.empty()) facts.title = title;
    if (!description.empty()) facts.description = description;
}

std::string installedMusic(const CacheFolders& folders, const std::string& song) {
    if (song.empty() || !isPlainFileName(song + ".ogg")) return {};
    // The Music folder a run moves music to, then the player's and the game's.
    std::vector<std::string> places;
    for (const auto& place :
         {folders.music,
          folders.userFolder.empty() ? std::string() : joinPath(folders.userFolder, "Music"),
          folders.gameFolder.empty() ? std::string() : joinPath(folders.gameFolder, "Music")})
        if (!place.empty() && std::find(places.begin(), places.end(), place) == places.end())
            places.push_back(place);
    for (const auto& place : places) {
        const FolderIndex index(place);
        if (const auto name = index.find(song + ".ogg")) return joinPath(place, *name);
    }
    return {};
}

MapInfo readMapInfo(const CacheFolders& folders, const InstalledPackages& installed,
                    const std::string& path, const MapReadOptions& options, std::string_view name) {
    MapReadOptions o = options;
    if (!o.locate)
        o.locate = [&installed](const std::string& package) {
            return installed.findPackage(package);
        };
    MapRead read = readMapFile(path, o);
    MapInfo out;
    out.facts = std::move(read.facts);
    out.picture = std::move(read.picture);
    if (out.facts.kind != MapFacts::Kind::Map) return out;
    localise(out.facts, folders, packageStem(name.empty() ? fileNamePart(path) : name));
    if (!out.facts.song.empty()) {
        out.musicFile = out.facts.song + ".ogg";
        out.musicInstalled = installedMusic(folders, out.facts.song);
    }
    return out;
}

std::string playersText(const MapFacts& f) {
    const auto& lo = f.playersMin;
    const auto& hi = f.playersMax;
    if (lo && hi && *lo > 0 && *hi > 0)
        return *lo == *hi ? std::to_string(*lo) + " players"
                          : std::to_string(*lo) + "\u2013" + std::to_string(*hi) + " players";
    if (hi && *hi > 0) return "up to " + std::to_string(*hi) + " players";
    if (lo && *lo > 0) return std::to_string(*lo) + " or more players";
    return {};
}

} // namespace tv
