#include "cli_context.h"

#include "formats/cls_registry.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

namespace tv::cli {

namespace {

bool applyTypes(const std::string& list, Settings& s, std::ostream& err) {
    s.setSelectOption(false, true);
    s.U = s.UAX = s.UMX = s.UT2 = s.UTX = s.USX = s.UKX = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string t = toUpper(trim(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (t == "U")
            s.U = true;
        else if (t == "UAX")
            s.UAX = true;
        else if (t == "UMX")
            s.UMX = true;
        else if (t == "UT2")
            s.UT2 = true;
        else if (t == "UTX")
            s.UTX = true;
        else if (t == "USX")
            s.USX = true;
        else if (t == "UKX")
            s.UKX = true;
        else if (!t.empty()) {
            err << "tessvane-cli: unknown file type '" << t
                << "' (use UT2, UTX, UMX, UAX, USX, UKX or U)\n";
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

} // namespace

Context::Context(const Call& call)
    : opt(call.opt), out(call.out), err(call.err), prompter(call.err, false),
      session(programFolder(), store, prompter) {
    session.setObserver(&lines);
}

// Start-up as the window does it, without a window: the shipped files, the
// game folder and the stored settings.
bool Context::start() {
    if (!session.checkRequiredFiles()) {
        status = kNotDone;
        return false;
    }
    session.workOnFolder(opt.game);
    if (opt.gameNumber > 0) {
        const auto found = session.findInstalls();
        if (opt.gameNumber > found.size()) {
            err << "tessvane-cli: there is no install " << opt.gameNumber << " (" << found.size()
                << " found; tessvane-cli games lists them)\n";
            status = kUsageError;
            return false;
        }
        session.workOnInstall(found[opt.gameNumber - 1]);
    } else if (opt.game.empty()) {
        // No folder dialog here: a missing game folder must be named instead.
        clsRegistry game(store, noticesTo(prompter));
        useGameKey(game);
        if (game.ReadEntry("Folder", "").empty()) {
            if (session.findInstalls().empty())
                err << "Tessvane: Unreal Tournament not found. Name the game folder with --game "
                       "DIR.\n";
            else
                err << "Tessvane: no game chosen yet. tessvane-cli games lists the installs "
                       "found; choose one with --game N, or name a folder with --game DIR.\n";
            status = kUsageError;
            return false;
        }
    }
    if (!session.readGameFolder()) {
        // Said already (a folder that is no game folder, none chosen).
        status = kUsageError;
        return false;
    }
    session.loadSettings();
    if (!opt.cache.empty()) session.changeSettings([&](Settings& s) { s.cacheDir = opt.cache; });
    return true;
}

void Context::workOutFolders() {
    session.refreshFolders();
}

void Context::printStatus() {
    out << escapeControls(session.statusText()) << '\n';
}

bool CallSettings::takeSelection(const std::string& a, ArgReader& args) {
    std::string v;
    if (a == "--select") {
        if (!args.value(a, "'all'", v)) return true;
        if (v != "all") args.unexpected(v);
        selectAll = true;
        return true;
    }
    if (a == "--types") {
        if (args.value(a, "a list of types", v)) types = v;
        return true;
    }
    return false;
}

bool CallSettings::takeDestination(const std::string& a, ArgReader& args) {
    std::string v;
    if (a == "--to") {
        if (args.value(a, "a folder", v)) to = wholePath(v);
        return true;
    }
    if (a == "--to-structured") {
        if (args.value(a, "a folder", v)) toStructured = wholePath(v);
        return true;
    }
    return false;
}

bool CallSettings::checkTypes(std::ostream& err) const {
    Settings scratch;
    return !types || applyTypes(*types, scratch, err);
}

void CallSettings::apply(Settings& s, std::ostream& err) const {
    if (selectAll) s.setSelectOption(true, true);
    if (types) applyTypes(*types, s, err);
    if (to) {
        s.setMoveOption(Settings::MoveMode::Dir, true);
        s.moveDirText = *to;
    }
    if (toStructured) {
        s.setMoveOption(Settings::MoveMode::Dir2, true);
        s.moveDir2Text = *toStructured;
    }
    if (backup) s.backupCache = *backup;
    if (noPreview) s.unzipNoPreview = true;
}

bool takeOnlyYes(ArgReader& args, bool asks, bool& yes) {
    while (!args.done()) {
        std::string a = args.take();
        if (asks && a == "--yes")
            yes = true;
        else
            args.unexpected(a);
    }
    return !args.failed();
}

bool takeOnlyJson(ArgReader& args, bool& json) {
    while (!args.done()) {
        const std::string a = args.take();
        if (a == "--json")
            json = true;
        else
            args.unexpected(a);
    }
    return !args.failed();
}

} // namespace tv::cli
