// tessvane-cli zip: map archives and UMOD installers installed.
#include "commands.h"
#include "json_output.h"

#include "formats/umod.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  zip [--no-preview | --dry-run] [--json] [--to DIR | --to-structured DIR] ARCHIVE...\n"
    "      installs map archives: one archive is previewed (map name and description)\n"
    "      and installed as \"Process Loaded ZIP\" does; several, or --no-preview, put\n"
    "      their maps straight into the Maps folder. UMOD installers (.umod, .ut2mod,\n"
    "      .ut4mod) print their product, files and the manifest's other instructions\n"
    "      (never carried out), then install each file by its own folder (--to and\n"
    "      --to-structured do not apply to them); --dry-run previews every archive and\n"
    "      installs nothing; --json: the previews and what was installed as one JSON\n"
    "      document\n";

Json namesOf(const std::vector<std::string>& names, const char* key) {
    Json out = Json::array();
    for (const auto& n : names) {
        Json item;
        putName(item, key, n);
        out.push_back(std::move(item));
    }
    return out;
}

// One call of zip: what it may do and, for --json, what it found.
struct ZipCall {
    bool dryRun = false, json = false;
    Json archives = Json::array();
    bool failed = false, refused = false;

    void add(int status) {
        failed = failed || status == kFailed;
        refused = refused || status == kNotDone;
    }
    int status() const { return failed ? kFailed : refused ? kNotDone : kDone; }
};

// The installer's fields as text: everything here comes from the
// installer, so no field may steer the terminal or forge a line.
void printUmod(std::ostream& out, const UmodPackage& package) {
    out << "Product: " << escapeControls(package.product) << '\n';
    if (!package.version.empty()) out << "Version: " << escapeControls(package.version) << '\n';
    if (!package.description.empty())
        out << "Description:\n" << escapeControlsKeepingLines(package.description) << '\n';
    for (const auto& need : package.requirements)
        out << "Requires: " << escapeControls(need) << '\n';
    out << "Files:\n";
    for (const auto& f : package.directory.files)
        if (!isManifest(f.path))
            out << "  " << escapeControls(f.path) << " (" << f.size << " bytes)\n";
    if (!package.notCarriedOut.empty()) {
        out << "Not carried out (do these by hand if the add-on needs them):\n";
        for (const auto& line : package.notCarriedOut)
            out << "  " << escapeControls(line) << '\n';
    }
}

Json umodDocument(const UmodPackage& package, const std::vector<std::string>& needs) {
    Json doc{{"kind", "umod"}};
    putName(doc, "archive", package.path);
    putName(doc, "product", package.product);
    putName(doc, "version", package.version);
    putName(doc, "description", package.description);
    doc["requires"] = namesOf(package.requirements, "text");
    Json files = Json::array();
    for (const auto& f : package.directory.files) {
        if (isManifest(f.path)) continue;
        Json file;
        putName(file, "path", f.path);
        file["size"] = f.size;
        files.push_back(std::move(file));
    }
    doc["files"] = std::move(files);
    doc["not_carried_out"] = namesOf(package.notCarriedOut, "text");
    doc["needs"] = namesOf(needs, "text");
    doc["failures"] = Json::array();
    return doc;
}

// A UMOD installer: what it holds, then (unless a dry run) its files installed.
void installUmod(Context& c, const std::string& archive, ZipCall& call) {
    auto package = c.session.loadUmodArchive(archive);
    if (!package) return call.add(kFailed);
    std::vector<std::string> paths;
    for (const auto& f : package->directory.files)
        paths.push_back(f.path);
    const auto needs = c.session.archiveNeeds(package->maps, paths);
    Json doc = call.json ? umodDocument(*package, needs) : Json();
    if (!call.json) {
        printUmod(c.out, *package);
        for (const auto& line : needs)
            c.out << escapeControls(line) << '\n';
    }
    bool installed = false;
    if (!call.dryRun) {
        const auto done = c.session.installUmodArchive(*package);
        call.add(c.finish(done));
        installed = done.done() && !done.result()->failed();
        if (done.done() && !call.json) c.printStatus();
        if (done.done()) doc["failures"] = namesOf(done.result()->failures, "text");
    }
    if (call.json) {
        doc["installed"] = installed;
        call.archives.push_back(std::move(doc));
    }
}

// A map archive: one alone (or each in a dry run) is previewed, then
// installed as "Process Loaded ZIP" does; several go straight in. false
// when the install cannot go on.
bool installMapArchive(Context& c, const std::string& archive, bool several, ZipCall& call) {
    const Outcome<ZipLoaded> loaded = c.session.loadZipArchive(archive, several && !call.dryRun);
    call.add(c.finish(loaded));
    Json doc{{"kind", "map archive"}};
    putName(doc, "archive", archive);
    const auto record = [&](bool installed, const std::vector<std::string>& failures = {}) {
        doc["installed"] = installed;
        doc["failures"] = namesOf(failures, "text");
        if (call.json) call.archives.push_back(std::move(doc));
    };
    if (!loaded.done()) return record(false), true;
    const MapArchiveInstaller::Load load = loaded.result()->load;
    call.refused = call.refused || load == MapArchiveInstaller::Load::Refused ||
                   load == MapArchiveInstaller::Load::Empty;
    if (load != MapArchiveInstaller::Load::Previewed)
        return record(load == MapArchiveInstaller::Load::Installed &&
                          loaded.result()->failures.empty(),
                      loaded.result()->failures),
               true;
    const ArchivePreview& p = c.session.archives().preview();
    const auto needs = c.session.archiveNeeds(p.maps, p.members);
    if (call.json) {
        putName(doc, "map_name", p.mapName);
        putName(doc, "description", p.description);
        doc["members"] = namesOf(p.members, "name");
        doc["needs"] = namesOf(needs, "text");
    } else {
        c.out << "Map Name: " << escapeControls(p.mapName) << '\n';
        // The description as written, ended by a line break of its own.
        if (!p.description.empty()) {
            c.out << "Description:\n" << escapeControlsKeepingLines(p.description);
            if (p.description.back() != '\n') c.out << '\n';
        }
        for (const auto& line : needs)
            c.out << escapeControls(line) << '\n';
    }
    if (call.dryRun) return record(false), true;
    if (!c.session.checkArchiveDestination()) return false;
    const auto processed = c.session.processLoadedZip();
    call.add(c.finish(processed));
    if (processed.done() && !call.json) c.printStatus();
    if (processed.done())
        record(!processed.result()->failed(), processed.result()->failures);
    else
        record(false);
    return true;
}

class Zip : public GameCommand {
public:
    Zip() : GameCommand("zip", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        CallSettings settings;
        ZipCall call;
        std::vector<std::string> archives;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--no-preview")
                settings.noPreview = true;
            else if (a == "--dry-run")
                call.dryRun = true;
            else if (a == "--json")
                call.json = true;
            else if (settings.takeDestination(a, args))
                continue;
            else if (a.rfind('-', 0) == 0 && a.size() > 1)
                args.unexpected(a);
            else
                archives.push_back(wholePath(a));
        }
        if (args.failed()) return kUsageError;
        if (archives.empty()) {
            c.err << "tessvane-cli: zip needs an archive\n";
            return kUsageError;
        }
        if (call.dryRun && settings.noPreview) {
            c.err << "tessvane-cli: --dry-run previews; it cannot be given with --no-preview\n";
            return kUsageError;
        }
        // A UMOD installer puts each file where the game reads it: a folder
        // of the player's choosing would leave its code and help unused.
        const bool umod = std::any_of(archives.begin(), archives.end(),
                                      [](const std::string& a) { return isUmodName(a); });
        if (umod && (settings.to || settings.toStructured)) {
            c.err << "tessvane-cli: --to and --to-structured do not apply to UMOD installers "
                     "(each file goes to the game folder it names)\n";
            return kUsageError;
        }
        if (!c.start()) return c.status;
        c.session.changeSettings([&](Settings& s) {
            settings.apply(s, c.err);
            if (call.dryRun) s.unzipNoPreview = false;
        });
        // The document is all the standard output holds: Status lines go
        // to standard error.
        if (call.json) c.lines.out = &c.err;
        const bool several = archives.size() > 1;
        int status = kDone;
        for (const auto& archive : archives) {
            if (isUmodName(archive)) {
                installUmod(c, archive, call);
            } else if (!installMapArchive(c, archive, several, call)) {
                status = kNotDone;
                break;
            }
        }
        if (call.json) printJson(c.out, Json{{"archives", std::move(call.archives)}});
        return status == kDone ? call.status() : status;
    }
};

} // namespace

const Command& commandZip() {
    static const Zip command;
    return command;
}

} // namespace tv::cli
