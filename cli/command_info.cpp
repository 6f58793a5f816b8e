// tessvane-cli info and picture: what a map says of itself, and its screenshot.
#include "commands.h"
#include "game_packages.h"
#include "json_output.h"

#include "engine/map_info.h"
#include "formats/png_writer.h"

namespace tv::cli {

namespace {

constexpr const char* kInfoUsage =
    "  info [--json] NAME...\n"
    "      what each map (NAME as for needs) says of itself, one line each: name,\n"
    "      title, author, players, game type, music (and whether it is installed),\n"
    "      picture (WIDTHxHEIGHT FORMAT, or why there is none) and description; the\n"
    "      localised title and description of System/<map>.int come first; --json:\n"
    "      one JSON document. Exit status 1 when a NAME is no map, 3 when one is damaged\n";

constexpr const char* kPictureUsage =
    "  picture NAME --to FILE.png\n"
    "      writes the map's screenshot as a PNG file; exit status 1 when the map has\n"
    "      no picture (nothing is written), 3 when it is damaged or the file cannot\n"
    "      be written\n";

// The map's file, or a message and the exit status to end with.
std::string mapFile(Context& c, const Game& game, const std::string& name) {
    const std::string path = game.fileOf(name);
    if (path.empty())
        c.err << "Tessvane: " << escapeControls(name)
              << " is no cache entry, installed package or file\n";
    return path;
}

// What kept a map's facts from being read, said; its exit status (0: none).
int trouble(Context& c, const std::string& name, const MapFacts& f) {
    const std::string shown = escapeControls(name);
    switch (f.kind) {
    case MapFacts::Kind::Map:
        return kDone;
    case MapFacts::Kind::NotAMap:
        c.err << "Tessvane: " << shown << " is a package but no map\n";
        return kNotDone;
    case MapFacts::Kind::NotAPackage:
        c.err << "Tessvane: " << shown << " is not a package\n";
        return kNotDone;
    case MapFacts::Kind::Damaged:
        c.err << "Tessvane: " << shown << " is damaged: " << f.why << '\n';
        return kFailed;
    case MapFacts::Kind::Unreadable:
        break;
    }
    c.err << "Tessvane: " << shown << " cannot be read: " << f.why << '\n';
    return kFailed;
}

std::string pictureText(const MapPicture& p) {
    if (p.kind == MapPicture::Kind::Picture)
        return std::to_string(p.picture.width) + "x" + std::to_string(p.picture.height) + " " +
               formatName(p.format);
    return p.why;
}

std::string musicText(const MapInfo& m) {
    if (m.musicFile.empty()) return {};
    return m.musicFile + (m.musicInstalled.empty() ? " (not installed)" : "");
}

Json infoDocument(const std::string& name, const std::string& path, const MapInfo& m) {
    const MapFacts& f = m.facts;
    Json row;
    putName(row, "name", name);
    putName(row, "file", path);
    row["title"] = f.title;
    row["author"] = f.author;
    row["description"] = f.description;
    row["players_min"] = f.playersMin ? Json(*f.playersMin) : Json();
    row["players_max"] = f.playersMax ? Json(*f.playersMax) : Json();
    row["players"] = playersText(f);
    row["hide_from_menus"] = f.hideFromMenus;
    row["game_type"] = f.defaultGameType;
    row["music"] = m.musicFile;
    putName(row, "music_installed", m.musicInstalled);
    if (m.picture.kind == MapPicture::Kind::Picture) {
        row["picture"] = Json{{"texture", m.picture.textureName},
                              {"format", formatName(m.picture.format)},
                              {"width", m.picture.picture.width},
                              {"height", m.picture.picture.height}};
    } else {
        row["picture"] = Json();
        row["no_picture"] = m.picture.why;
    }
    return row;
}

class Info : public GameCommand {
public:
    Info() : GameCommand("info", kInfoUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool json = false;
        std::vector<std::string> names;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--json")
                json = true;
            else if (a.rfind("--", 0) == 0)
                args.unexpected(a);
            else
                names.push_back(a);
        }
        if (!args.failed() && names.empty()) args.fail("info wants a map's name");
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const Game game(c.session.folders());
        int status = kDone;
        Json maps = Json::array();
        for (const auto& name : names) {
            const std::string path = mapFile(c, game, name);
            if (path.empty()) return kUsageError;
            MapReadOptions options;
            options.picture = true;
            const MapInfo m = readMapInfo(c.session.folders(), game.resolver.installed(), path,
                                          options, fileNamePart(name));
            if (const int s = trouble(c, name, m.facts); s != kDone) {
                status = std::max(status, s);
                continue;
            }
            if (json) {
                maps.push_back(infoDocument(name, path, m));
                continue;
            }
            const MapFacts& f = m.facts;
            for (const std::string& field :
                 {name, f.title, f.author, playersText(f), f.defaultGameType, musicText(m),
                  pictureText(m.picture)})
                c.out << escapeControls(field) << '\t';
            c.out << escapeControls(f.description) << '\n';
        }
        if (json) printJson(c.out, Json{{"maps", std::move(maps)}});
        return status;
    }
};

class PictureCommand : public GameCommand {
public:
    PictureCommand() : GameCommand("picture", kPictureUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        std::string name, to;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--to")
                args.value(a, "a file", to);
            else if (a.rfind("--", 0) == 0 || !name.empty())
                args.unexpected(a);
            else
                name = a;
        }
        if (!args.failed() && (name.empty() || to.empty()))
            args.fail("picture wants a map's name and --to FILE.png");
        if (args.failed()) return kUsageError;
        to = wholePath(to);
        if (!c.start()) return c.status;
        c.workOutFolders();
        const Game game(c.session.folders());
        const std::string path = mapFile(c, game, name);
        if (path.empty()) return kUsageError;
        MapReadOptions options;
        options.picture = true;
        const MapInfo m = readMapInfo(c.session.folders(), game.resolver.installed(), path, options,
                                      fileNamePart(name));
        if (const int s = trouble(c, name, m.facts); s != kDone) return s;
        switch (m.picture.kind) {
        case MapPicture::Kind::Picture:
            break;
        case MapPicture::Kind::NoPicture:
            c.err << "Tessvane: " << escapeControls(name) << ": " << m.picture.why << '\n';
            return kNotDone;
        case MapPicture::Kind::Damaged:
        case MapPicture::Kind::Unreadable:
            c.err << "Tessvane: " << escapeControls(name) << " is damaged: " << m.picture.why
                  << '\n';
            return kFailed;
        }
        const std::string png = pngBytes(m.picture.picture);
        std::string error;
        if (png.empty() || !writeFileAtomic(to, png, &error)) {
            c.err << "Tessvane: " << escapeControls(to)
                  << " cannot be written: " << (png.empty() ? "out of memory" : error) << '\n';
            return kFailed;
        }
        c.out << escapeControls(to) << '\n';
        return kDone;
    }
};

} // namespace

const Command& commandInfo() {
    static const Info command;
    return command;
}

const Command& commandPicture() {
    static const PictureCommand command;
    return command;
}

} // namespace tv::cli
