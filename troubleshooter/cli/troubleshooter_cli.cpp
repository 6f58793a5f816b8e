#include "troubleshooter_cli.h"

#include <optional>

#include "troubleshooter/environment.h"
#include "troubleshooter/troubleshooter.h"

#include "formats/cls_registry.h"
#include "formats/registry_store.h"
#include "platform/cfile.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "ui/console_prompter.h"

#include "args/command_line.h"

#include <unistd.h>

namespace tv {

namespace {

const char* const kProgram = "tessvane-troubleshooter";

const char* const kUsage =
    "usage: tessvane-troubleshooter [--report [FILE] [--cache DIR] [--game DIR]]\n"
    "       tessvane-troubleshooter --clear [--yes]\n"
    "       tessvane-troubleshooter --version\n"
    "\n"
    "  --report [FILE]  writes the diagnostic report without a window (FILE defaults to\n"
    "                   CacheInfo.txt in your home folder) and prints its path\n"
    "  --cache DIR      the game's cache folder to report on (else Tessvane's CacheDir\n"
    "                   setting, else the game folder's Cache)\n"
    "  --game DIR       the game folder, stored when the settings have none (without\n"
    "                   one the report says where games were looked for)\n"
    "  --clear          clears Tessvane's cache-folder setting (asks; --yes answers Yes)\n"
    "Without arguments it opens its window.\n"
    "Exit status: 0 done, 1 not done (a No, a report that could not be written),\n"
    "2 wrong arguments or something missing, 3 the report was written but the cache\n"
    "folder or its Cache.ini could not be read.\n";

// What a call asks for.
struct Request {
    std::string report, cache, game;
    bool wantReport = false, clear = false, yes = false;
};

// The call's arguments, every one checked before anything runs.
bool readArguments(const std::vector<std::string>& args, Request& r, std::ostream& err) {
    cmdline::ArgReader reader(kProgram, args, err);
    while (!reader.done()) {
        const std::string a = reader.take();
        std::string folder;
        if (a == "--report") {
            r.wantReport = true;
            // Its file may be left out; a value that looks like an option is none.
            if (reader.optionalValue(r.report)) r.report = wholePath(r.report);
        } else if (a == "--cache" || a == "--game") {
            if (reader.value(a, "a folder", folder))
                (a == "--cache" ? r.cache : r.game) = wholePath(folder);
        } else if (a == "--clear") {
            r.clear = true;
        } else if (a == "--yes") {
            r.yes = true;
        } else {
            reader.unexpected(a);
        }
        if (reader.failed()) return false;
    }
    // One of --report and --clear; --clear takes no folders.
    return r.wantReport != r.clear && !(r.clear && (!r.cache.empty() || !r.game.empty()));
}

// The game folder the settings hold, else the one --game names (stored when
// it looks like the game's, or --yes says to use it anyway); empty without
// either, as the report is written all the same. nullopt when --game's was
// refused.
std::optional<std::string> gameFolderOf(const Request& r, RegistryStore& registry,
                                        ConsolePrompter& prompter, std::ostream& err) {
    clsRegistry gameKey(registry, noticesTo(prompter));
    useGameKey(gameKey);
    std::string gameFolder = gameKey.ReadEntry("Folder", "");
    if (!gameFolder.empty()) return gameFolder;
    if (r.game.empty()) {
        err << "tessvane-troubleshooter: warning: " << kGameFolderNotFound
            << " (name the game folder with --game DIR); the report says where games were "
               "looked for\n";
        return std::string();
    }
    if (!looksLikeGameFolder(r.game) &&
        !prompter.question(kNotAGameFolderQuestion, "Tessvane Troubleshooter",
                           MessageIcon::Question))
        return std::nullopt;
    gameFolder = withoutTrailingSeparator(r.game) + "/";
    gameKey.WriteEntry("Folder", gameFolder);
    return gameFolder;
}

// The cache folder --cache names (false, said, when it holds no Cache.ini),
// else the settings' or the game folder's: without a Cache.ini there, or
// with neither, the report says so in its Cache.ini section. `unreadable`:
// that folder (or its Cache.ini) is there but cannot be read, which the
// exit status says too.
bool useCacheOf(Troubleshooter& t, const Request& r, const std::string& gameFolder,
                std::ostream& err, bool& unreadable) {
    std::string error;
    if (!r.cache.empty()) {
        if (t.useCacheFolder(withoutTrailingSeparator(r.cache), &error)) return true;
        err << "tessvane-troubleshooter: " << error << " Name the cache folder with --cache DIR.\n";
        return false;
    }
    std::string cache = t.cacheRegDir;
    if (cache.empty() && !gameFolder.empty())
        cache = joinPath(withoutTrailingSeparator(gameFolder), "Cache");
    if (cache.empty())
        t.withoutCacheFolder(
            "No cache folder is known: the settings name none, nor a game folder.");
    else if (!t.useCacheFolder(withoutTrailingSeparator(cache), &error)) {
        const std::string folder = withoutTrailingSeparator(cache);
        const auto index = lookupInFolder(folder, "Cache.ini");
        unreadable = (folderExists(folder) && ::access(folder.c_str(), R_OK | X_OK) != 0) ||
                     (index && !readFile(*index));
        t.withoutCacheFolder(unreadable ? "The cache folder " + folder + " cannot be read"
                                        : "Cache.INI not found in " + folder);
    }
    return true;
}

} // namespace

int runTroubleshooterCli(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    if (cmdline::asksForVersion(args)) {
        out << cmdline::versionLine("tessvane-troubleshooter") << '\n';
        return cmdline::kDone;
    }
    // Help is all a call with --help does.
    if (cmdline::asksForHelp(args)) {
        out << kUsage;
        return cmdline::kDone;
    }
    Request r;
    if (!readArguments(args, r, err)) {
        err << kUsage;
        return cmdline::kUsageError;
    }
    RegistryStore registry;
    ConsolePrompter prompter(err, r.yes);
    ConsoleShell shell;
    Troubleshooter t(registry, prompter, shell);
    if (r.clear) return t.ResetProgramRegistry() ? cmdline::kDone : cmdline::kNotDone;

    const std::optional<std::string> gameFolder = gameFolderOf(r, registry, prompter, err);
    if (!gameFolder) return cmdline::kUsageError;
    t.utRegDir = gameFolder->empty() ? std::string(kGameFolderNotFound) : *gameFolder;
    t.readProgramSettings();
    bool unreadable = false;
    if (!useCacheOf(t, r, *gameFolder, err, unreadable)) return cmdline::kUsageError;
    try {
        t.osName = CEnvironment().OsName();
    } catch (const ComponentError& e) {
        t.osName = e.what();
    }
    t.readLog();
    const std::string report = r.report.empty() ? Troubleshooter::defaultReportPath() : r.report;
    // The report says what could not be read; so does the command.
    for (const auto& problem : t.problems())
        err << "tessvane-troubleshooter: warning: " << escapeControls(problem) << '\n';
    if (!t.SaveReport(report)) return cmdline::kNotDone;
    out << report << '\n';
    // Written, but without what the cache holds: a failure all the same.
    return unreadable ? cmdline::kFailed : cmdline::kDone;
}

} // namespace tv
