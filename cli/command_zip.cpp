// tessvane-cli zip: map archives and UMOD installers installed.
#include "commands.h"

#include "formats/umod.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  zip [--no-preview] [--to DIR | --to-structured DIR] ARCHIVE...\n"
    "      installs map archives: one archive is previewed (map name and description)\n"
    "      and installed as \"Process Loaded ZIP\" does; several, or --no-preview, put\n"
    "      their maps straight into the Maps folder. UMOD installers (.umod, .ut2mod,\n"
    "      .ut4mod) print their product, files and the manifest's other instructions\n"
    "      (never carried out), then install each file by its own folder (--to and\n"
    "      --to-structured do not apply to them)\n";

// A UMOD installer: what it holds, then its files installed.
int installUmod(Context& c, const std::string& archive) {
    auto package = c.session.loadUmodArchive(archive);
    if (!package) return kFailed;
    // Everything here comes from the installer: no field may steer the
    // terminal or forge a line.
    c.out << "Product: " << escapeControls(package->product) << '\n';
    if (!package->version.empty()) c.out << "Version: " << escapeControls(package->version) << '\n';
    if (!package->description.empty())
        c.out << "Description:\n" << escapeControlsKeepingLines(package->description) << '\n';
    for (const auto& need : package->requirements)
        c.out << "Requires: " << escapeControls(need) << '\n';
    c.out << "Files:\n";
    for (const auto& f : package->directory.files)
        if (!isManifest(f.path))
            c.out << "  " << escapeControls(f.path) << " (" << f.size << " bytes)\n";
    if (!package->notCarriedOut.empty()) {
        c.out << "Not carried out (do these by hand if the add-on needs them):\n";
        for (const auto& line : package->notCarriedOut)
            c.out << "  " << escapeControls(line) << '\n';
    }
    std::vector<std::string> paths;
    for (const auto& f : package->directory.files)
        paths.push_back(f.path);
    for (const auto& line : c.session.archiveNeeds(package->maps, paths))
        c.out << escapeControls(line) << '\n';
    const auto installed = c.session.installUmodArchive(*package);
    const int status = c.finish(installed);
    if (installed.done()) c.printStatus();
    return status;
}

// How the archives went, taken together.
struct Together {
    bool failed = false, refused = false;
    void add(int status) {
        failed = failed || status == kFailed;
        refused = refused || status == kNotDone;
    }
};

// A map archive: one alone is previewed, then installed as "Process Loaded
// ZIP" does; several go straight in. false when the install cannot go on.
bool installMapArchive(Context& c, const std::string& archive, bool several, Together& o) {
    const Outcome<ZipLoaded> loaded = c.session.loadZipArchive(archive, several);
    o.add(c.finish(loaded));
    if (!loaded.done()) return true;
    const MapArchiveInstaller::Load load = loaded.result()->load;
    o.refused = o.refused || load == MapArchiveInstaller::Load::Refused ||
                load == MapArchiveInstaller::Load::Empty;
    if (load != MapArchiveInstaller::Load::Previewed) return true;
    const ArchivePreview& p = c.session.archives().preview();
    c.out << "Map Name: " << escapeControls(p.mapName) << '\n';
    // The description as written, ended by a line break of its own.
    if (!p.description.empty()) {
        c.out << "Description:\n" << escapeControlsKeepingLines(p.description);
        if (p.description.back() != '\n') c.out << '\n';
    }
    for (const auto& line : c.session.archiveNeeds(p.maps, p.members))
        c.out << escapeControls(line) << '\n';
    if (!c.session.checkArchiveDestination()) return false;
    const auto processed = c.session.processLoadedZip();
    o.add(c.finish(processed));
    if (processed.done()) c.printStatus();
    return true;
}

class Zip : public GameCommand {
public:
    Zip() : GameCommand("zip", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        CallSettings call;
        std::vector<std::string> archives;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--no-preview")
                call.noPreview = true;
            else if (call.takeDestination(a, args))
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
        // A UMOD installer puts each file where the game reads it: a folder
        // of the player's choosing would leave its code and help unused.
        const bool umod = std::any_of(archives.begin(), archives.end(),
                                      [](const std::string& a) { return isUmodName(a); });
        if (umod && (call.to || call.toStructured)) {
            c.err << "tessvane-cli: --to and --to-structured do not apply to UMOD installers "
                     "(each file goes to the game folder it names)\n";
            return kUsageError;
        }
        if (!c.start()) return c.status;
        c.session.changeSettings([&](Settings& s) { call.apply(s, c.err); });
        Together o;
        const bool several = archives.size() > 1;
        for (const auto& archive : archives) {
            if (isUmodName(archive)) {
                o.add(installUmod(c, archive));
            } else if (!installMapArchive(c, archive, several, o)) {
                return kNotDone;
            }
        }
        if (o.failed) return kFailed;
        return o.refused ? kNotDone : kDone;
    }
};

} // namespace

const Command& commandZip() {
    static const Zip command;
    return command;
}

} // namespace tv::cli
