// tessvane-cli needs and check: the packages a package imports, and where
// the game finds each of them.
#include "commands.h"
#include "game_packages.h"
#include "json_output.h"

#include "engine/package_needs.h"
#include "formats/package_imports.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <sys/stat.h>

namespace tv::cli {

namespace {

// Something needed is neither installed nor in the cache (needs), or not
// installed (check).
constexpr int kLacking = 4;

constexpr const char* kNeedsUsage =
    "  needs [--missing] [--json] NAME... / needs --used-by NAME [--json]\n"
    "      the packages each NAME (a cache entry's name, an installed package's\n"
    "      name or a package file's path) imports, one line each: name, needed\n"
    "      package, and where the game finds it (installed PATH, cache FILE or\n"
    "      missing); --missing: only the missing ones. Exit status 4 when one is\n"
    "      missing, 3 when a package cannot be read or is damaged. --used-by:\n"
    "      the installed and cached packages that import NAME; --json: one JSON\n"
    "      document of the same rows\n";

constexpr const char* kCheckUsage =
    "  check [--json]\n"
    "      every installed map's needed packages that are not installed: map,\n"
    "      package, and where it is (cache FILE or missing); exit status 4 when\n"
    "      there is one, 3 when a map cannot be read or is damaged\n";

// The package's needs, or a message on standard error and false.
bool readNeeds(Context& c, const std::string& shown, const std::string& path,
               std::vector<std::string>& needs) {
    PackageImports imports = readPackageImports(path);
    switch (imports.kind) {
    case PackageImports::Kind::Package:
        needs = std::move(imports.needs);
        return true;
    case PackageImports::Kind::NotAPackage:
        c.err << "Tessvane: " << escapeControls(shown) << " is not a package\n";
        return false;
    case PackageImports::Kind::Damaged:
        c.err << "Tessvane: " << escapeControls(shown) << " is damaged: " << imports.why << '\n';
        return false;
    case PackageImports::Kind::Unreadable:
        break;
    }
    c.err << "Tessvane: " << escapeControls(shown) << " cannot be read: " << imports.why << '\n';
    return false;
}

// Where a needed package is, for a document: the word, and its file.
void putWhere(Json& row, const NeededPackage& p) {
    switch (p.where) {
    case NeededPackage::Where::Installed:
        row["where"] = "installed";
        putName(row, "file", p.path);
        return;
    case NeededPackage::Where::Cache:
        row["where"] = "cache";
        putName(row, "file", p.cacheFile);
        return;
    case NeededPackage::Where::Missing:
        row["where"] = "missing";
        return;
    }
}

// The lines, or (--json) the rows of one document printed once all are known.
class Listing {
public:
    Listing(Context& c, bool json) : m_c(c), m_json(json) {}
    // NAME needs p.
    void need(const std::string& name, const NeededPackage& p) {
        if (!m_json) {
            m_c.out << escapeControls(name) << '\t' << escapeControls(p.name) << '\t'
                    << escapeControls(whereText(p)) << '\n';
            return;
        }
        Json row;
        putName(row, "package", name);
        putName(row, "needs", p.name);
        putWhere(row, p);
        m_rows.push_back(std::move(row));
    }
    // A package that uses the one asked about.
    void user(const NeededPackage& p) {
        if (!m_json) {
            m_c.out << escapeControls(shownName(p)) << '\t' << escapeControls(whereText(p)) << '\n';
            return;
        }
        Json row;
        putName(row, "package", shownName(p));
        putWhere(row, p);
        if (p.music) row["music"] = true;
        m_rows.push_back(std::move(row));
    }
    int done(int status) {
        if (m_json) printJson(m_c.out, Json{{"rows", std::move(m_rows)}});
        return status;
    }

private:
    Context& m_c;
    bool m_json;
    Json m_rows = Json::array();
};

class Needs : public GameCommand {
public:
    Needs() : GameCommand("needs", kNeedsUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool missingOnly = false, json = false;
        std::optional<std::string> usedBy;
        std::vector<std::string> names;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--missing") {
                missingOnly = true;
            } else if (a == "--json") {
                json = true;
            } else if (a == "--used-by") {
                std::string v;
                if (args.value(a, "a package name", v)) usedBy = v;
            } else if (a.rfind("--", 0) == 0) {
                args.unexpected(a);
            } else {
                names.push_back(a);
            }
        }
        Listing listing(c, json);
        if (!args.failed() && usedBy && (!names.empty() || missingOnly))
            args.fail("--used-by takes one name and nothing else");
        if (!args.failed() && !usedBy && names.empty()) args.fail("needs wants a package name");
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const Game game(c.session.folders());
        if (usedBy) return listing.done(listUsers(c, game, *usedBy, listing));

        int status = kDone;
        for (const auto& name : names) {
            const std::string path = game.fileOf(name);
            if (path.empty()) {
                c.err << "Tessvane: " << escapeControls(name)
                      << " is no cache entry, installed package or file\n";
                return kUsageError;
            }
            std::vector<std::string> needs;
            if (!readNeeds(c, name, path, needs)) {
                status = kFailed;
                continue;
            }
            std::vector<NeededPackage> found;
            for (const auto& n : needs)
                found.push_back(game.resolver.resolve(n));
            // A map's music is needed as its packages are.
            if (const std::string song = mapSong(path); !song.empty())
                found.push_back(game.resolver.resolveMusic(song));
            for (const auto& p : found) {
                const bool missing = p.where == NeededPackage::Where::Missing;
                if (missing && status == kDone) status = kLacking;
                if (missing || !missingOnly) listing.need(name, p);
            }
        }
        return listing.done(status);
    }

private:
    // The installed and cached packages that import `name` (an extension
    // left out).
    static int listUsers(Context& c, const Game& game, std::string name, Listing& listing) {
        name = std::string(packageStem(name));
        std::vector<std::pair<std::string, NeededPackage>> packages;
        for (auto& path : game.resolver.installed().files()) {
            NeededPackage p;
            p.where = NeededPackage::Where::Installed;
            p.path = path;
            packages.emplace_back(std::move(path), std::move(p));
        }
        for (auto& cached : game.cachedPackages())
            packages.push_back(std::move(cached));
        int status = kDone;
        for (const auto& [path, where] : packages) {
            const PackageImports imports = readPackageImports(path);
            // What a damaged package imports is not known: said, never passed over.
            if (imports.kind == PackageImports::Kind::Damaged ||
                (imports.kind == PackageImports::Kind::Unreadable && !imports.why.empty())) {
                c.err << "Tessvane: " << escapeControls(shownName(where))
                      << (imports.kind == PackageImports::Kind::Damaged ? " is damaged: "
                                                                        : " cannot be read: ")
                      << escapeControls(imports.why) << "; whether it uses " << escapeControls(name)
                      << " is not known\n";
                status = kFailed;
                continue;
            }
            for (const auto& n : imports.needs) {
                if (!equalsNoCase(n, name)) continue;
                listing.user(where);
                break;
            }
        }
        return status;
    }
};

class Check : public GameCommand {
public:
    Check() : GameCommand("check", kCheckUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool json = false;
        if (!takeOnlyJson(args, json)) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const Game game(c.session.folders());
        Listing listing(c, json);
        int status = kDone;
        for (const auto& path : game.resolver.installed().files(FileType::Map)) {
            const std::string map = fileNameOf(path);
            std::vector<std::string> needs;
            // A map that cannot be read fails the check, as in needs.
            if (!readNeeds(c, path, path, needs)) {
                status = kFailed;
                continue;
            }
            std::vector<NeededPackage> lacking = game.resolver.lacking(needs);
            if (const std::string song = mapSong(path); !song.empty())
                if (auto music = game.resolver.resolveMusic(song);
                    music.where != NeededPackage::Where::Installed)
                    lacking.push_back(std::move(music));
            for (const auto& p : lacking) {
                if (status == kDone) status = kLacking;
                listing.need(map, p);
            }
        }
        return listing.done(status);
    }
};

} // namespace

const Command& commandNeeds() {
    static const Needs command;
    return command;
}

const Command& commandCheck() {
    static const Check command;
    return command;
}

} // namespace tv::cli
