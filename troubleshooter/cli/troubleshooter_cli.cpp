#include "troubleshooter_cli.h"

#include "troubleshooter/environment.h"
#include "troubleshooter/troubleshooter.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "platform/cfile.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "ui/console_prompter.h"

namespace tv {

namespace {

const char* const kUsage =
    "usage: tessvane-troubleshooter [--report [FILE] [--cache DIR] [--game DIR]]\n"
    "       tessvane-troubleshooter --clear [--yes]\n"
    "\n"
    "  --report [FILE]  writes the diagnostic report without a window (FILE defaults to\n"
    "                   CacheInfo.txt in your home folder) and prints its path\n"
    "  --cache DIR      the game's cache folder to report on (else Tessvane's CacheDir\n"
    "                   setting, else the game folder's Cache)\n"
    "  --game DIR       the game folder, stored when the settings have none\n"
    "  --clear          clears Tessvane's cache-folder setting (asks; --yes answers Yes)\n"
    "Exit status: 0 done, 1 not done (a No, a report that could not be written),\n"
    "2 wrong arguments or something missing.\n";

} // namespace

int runTroubleshooterCli(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    std::string report, cache, game;
    bool wantReport = false, clear = false, yes = false;
    // Help is all a call with --help does.
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        }
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // A value that looks like an option is none: "--cache --report"
        // must not report on a folder named --report.
        bool hasValue = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
        if (a == "--report") {
            wantReport = true;
            if (hasValue) report = wholePath(args[++i]);
        } else if (a == "--cache" || a == "--game") {
            if (!hasValue) {
                err << "tessvane-troubleshooter: " << a << " needs a folder\n";
                return 2;
            }
            (a == "--cache" ? cache : game) = wholePath(args[++i]);
        } else if (a == "--clear") {
            clear = true;
        } else if (a == "--yes") {
            yes = true;
        } else {
            err << "tessvane-troubleshooter: "
                << (a.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") << a
                << "'\n"
                << kUsage;
            return 2;
        }
    }
    if (wantReport == clear || (clear && (!cache.empty() || !game.empty()))) {
        err << kUsage;
        return 2;
    }
    RegistryStore registry;
    ConsolePrompter prompter(err, yes);
    ConsoleShell shell;
    Troubleshooter t(registry, prompter, shell);
    if (clear) return t.ResetProgramRegistry() ? 0 : 1;

    clsRegistry gameKey(registry, &prompter);
    useGameKey(gameKey);
    std::string gameFolder = gameKey.ReadEntry("Folder", "");
    if (gameFolder.empty()) {
        if (game.empty()) {
            err << "tessvane-troubleshooter: " << kGameFolderNotFound
                << ": name the game folder with --game DIR\n";
            return 2;
        }
        // As the window questions it: stored only when it looks like the
        // game's folder, or when --yes says to use it anyway.
        if (!looksLikeGameFolder(game) &&
            !prompter.question(kNotAGameFolderQuestion, "Tessvane Troubleshooter",
                               MessageIcon::Question))
            return 2;
        gameFolder = withoutTrailingSeparator(game) + "/";
        gameKey.WriteEntry("Folder", gameFolder);
    }
    t.utRegDir = gameFolder;
    t.readProgramSettings();
    if (cache.empty())
        cache = !t.cacheRegDir.empty() ? t.cacheRegDir
                                       : joinPath(withoutTrailingSeparator(gameFolder), "Cache");
    std::string error;
    if (!t.useCacheFolder(withoutTrailingSeparator(cache), &error)) {
        err << "tessvane-troubleshooter: " << error << " Name the cache folder with --cache DIR.\n";
        return 2;
    }
    try {
        t.osName = CEnvironment().OsName();
    } catch (const ComponentError& e) {
        t.osName = e.what();
    }
    t.readLog();
    if (report.empty()) report = Troubleshooter::defaultReportPath();
    // The report says what could not be read; so does the command.
    for (const auto& problem : t.problems())
        err << "tessvane-troubleshooter: warning: " << escapeControls(problem) << '\n';
    if (!t.SaveReport(report)) return 1;
    out << report << '\n';
    return 0;
}

} // namespace tv
