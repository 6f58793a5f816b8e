#include "troubleshooter.h"

#include "environment.h"

#include "formats/cls_registry.h"
#include "games/discovery.h"
#include "platform/cfile.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "ui/prompter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>

#ifndef TESSVANE_VERSION_MAJOR
#define TESSVANE_VERSION_MAJOR 1
#define TESSVANE_VERSION_MINOR 0
#endif

namespace tv {

const char* const kGameFolderNotFound = "UT2003's registry entry NOT found - please set it";
const char* const kGameFolderNotFoundUT2004 = "UT2004's registry entry NOT found - please set it";

namespace {

const char* const kSupportMail = "tessvane@example.org";
const std::string kDashes(56, '-');
constexpr size_t kMaxLogLines = 500;
constexpr size_t kMaxLineBytes = 4096; // a longer line of the log is cut there

std::string cannotRead(const std::string& path, int err) {
    return path + " cannot be read: " + std::strerror(err);
}

// The plain files of a folder (no folders, no dot files), sorted without
// regard to letter case; nullopt (with the reason) when it cannot be read.
std::optional<std::vector<std::string>> plainFiles(const std::string& folder,
                                                   std::string& problem) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) {
        problem = cannotRead(folder, errno);
        return std::nullopt;
    }
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.empty() || n[0] == '.') continue;
        if (isRegularFile(joinPath(folder, n))) names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return lessNoCase(a, b); });
    return names;
}

// The first `maxLines` lines of a file, each cut at `maxBytes`, read as a
// stream: the memory used does not grow with the file, however large.
std::optional<std::vector<std::string>> firstLines(const std::string& path, size_t maxLines,
                                                   size_t maxBytes, std::string& problem) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        problem = cannotRead(path, errno);
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::string line;
    bool any = false; // the current line has begun
    char buf[1 << 16];
    size_t n = 0;
    while (lines.size() < maxLines && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        for (size_t i = 0; i < n && lines.size() < maxLines; ++i) {
            char c = buf[i];
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                lines.push_back(std::move(line));
                line.clear();
                any = false;
                continue;
            }
            any = true;
            if (line.size() < maxBytes) line += c;
        }
    }
    if (std::ferror(f)) problem = cannotRead(path, errno);
    std::fclose(f);
    if (any && lines.size() < maxLines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

// The player's home folder: $HOME, else the user's entry in the password
// database; empty when neither names one.
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return {};
}

// Names and text from files as report lines: one entry, one line.
void appendEscaped(std::vector<std::string>& out, const std::vector<std::string>& lines) {
    out.reserve(out.size() + lines.size());
    for (const auto& l : lines)
        out.push_back(escapeControls(l));
}

} // namespace

FolderDialogRequest folderDialogRequest(const std::string& title, const std::string& named) {
    // A relative setting would start wherever the program was started.
    const std::string folder = withoutTrailingSeparator(named);
    const bool usable = !folder.empty() && folder.front() == '/' && folderExists(folder);
    return {title, usable ? folder : homeFolder()};
}

Troubleshooter::Troubleshooter(RegistryStore& registry, Prompter& prompter, Shell& shell)
    : m_registry(registry), m_retitled(prompter, "Tessvane Troubleshooter"), m_prompter(m_retitled),
      m_shell(shell) {
}

std::string Troubleshooter::caption() {
    return "Tessvane Troubleshooter v" + std::to_string(TESSVANE_VERSION_MAJOR) + "." +
           std::to_string(TESSVANE_VERSION_MINOR);
}

std::string Troubleshooter::defaultReportPath() {
    // Never the folder the program happened to start in (it may be /).
    const std::string home = homeFolder();
    return joinPath(home.empty() ? "/tmp" : home, "CacheInfo.txt");
}

std::string Troubleshooter::readGameFolder() const {
    clsRegistry game(m_registry, noticesTo(m_prompter));
    useGameKey(game);
    return game.ReadEntry("Folder", "");
}

std::string Troubleshooter::readProgramValue(const char* name) const {
    clsRegistry reg(m_registry, noticesTo(m_prompter));
    useSettingsKey(reg);
    return reg.ReadEntry(name, "");
}

// The game Tessvane was last told to look after (UT2003 when it was told none).
std::string Troubleshooter::gameShown() const {
    return readProgramValue("Game") == "UT2004" ? std::string("UT2004") : std::string("UT2003");
}

bool Troubleshooter::start() {
    utRegDir = readGameFolder();
    if (utRegDir.empty()) {
        utRegDir = gameShown() == "UT2004" ? std::string(kGameFolderNotFoundUT2004)
                                           : std::string(kGameFolderNotFound);
        if (askGameFolder(true) == Asked::Left) return false;
    }
    readProgramSettings();
    if (!useSettingsCacheFolder() && !ChooseCacheFolder()) return false;
    try {
        osName = CEnvironment().OsName();
    } catch (const ComponentError& e) {
        osName = e.what(); // the report says why instead
    }
    readLog();
    return true;
}

std::string Troubleshooter::browse(const std::string& title, const std::string& named) {
    if (!m_folderDialog) return m_prompter.browseForFolder(title);
    return m_folderDialog(folderDialogRequest(title, named));
}

Troubleshooter::Insisted Troubleshooter::insist(const std::string& text) {
    switch (m_prompter.choose(text)) {
    case Choice::Yes:
        return Insisted::Again;
    case Choice::No:
        return Insisted::WithoutIt;
    case Choice::Cancel:
        break;
    }
    return Insisted::Leave;
}

bool Troubleshooter::SetGameRegistryFolder(bool mustChoose) {
    return askGameFolder(mustChoose) == Asked::Stored;
}

Troubleshooter::Asked Troubleshooter::askGameFolder(bool mustChoose) {
    for (;;) {
        std::string chosen = browse("Choose the root UT folder:", readGameFolder());
        // A folder with neither System nor Cache is questioned, as Tessvane does.
        if (!chosen.empty() && !looksLikeGameFolder(chosen) &&
            !m_prompter.question(kNotAGameFolderQuestion)) {
            if (!mustChoose) return Asked::NotStored;
            continue;
        }
        if (!chosen.empty()) {
            clsRegistry game(m_registry, noticesTo(m_prompter));
            useGameKey(game);
            if (chosen.back() != '/') chosen += '/';
            game.WriteEntry("Folder", chosen);
            utRegDir = game.ReadEntry("Folder", "");
            return Asked::Stored;
        }
        if (!mustChoose) return Asked::NotStored;
        const std::string game = gameShown();
        switch (insist("You MUST select the root " + game + " folder (Ex - /home/you/" +
                       toLower(game) +
                       ").\n\n"
                       "Choose it now? No goes on without it (the report then says where games "
                       "were looked for); Cancel ends the troubleshooter.")) {
        case Insisted::Again:
            continue;
        case Insisted::WithoutIt:
            return Asked::NotStored;
        case Insisted::Leave:
            return Asked::Left;
        }
    }
}

void Troubleshooter::readProgramSettings() {
    cacheRegDir = readProgramValue("CacheDir");
    installPath = readProgramValue("InstallPath");
}

bool Troubleshooter::useCacheFolder(const std::string& folder, std::string* error) {
    cacheIniLines.clear();
    cacheFiles.clear();
    auto index = lookupInFolder(folder, "cache.ini");
    if (!index || !fileExists(*index)) {
        if (error) *error = "Cache.INI not found in " + folder + " ...try again.";
        return false;
    }
    cacheFolder = folder;
    cacheIniProblem.clear();
    cacheFolderProblem.clear();
    if (auto lines = readLines(*index))
        cacheIniLines = std::move(*lines);
    else
        cacheIniProblem = cannotRead(*index, errno);
    cacheFiles = plainFiles(folder, cacheFolderProblem).value_or(std::vector<std::string>{});
    return true;
}

void Troubleshooter::withoutCacheFolder(const std::string& why) {
    cacheIniLines.clear();
    cacheFiles.clear();
    cacheFolder.clear();
    cacheIniProblem = why;
    cacheFolderProblem.clear();
}

bool Troubleshooter::useSettingsCacheFolder() {
    // The folder Tessvane was told of needs no asking; one without a
    // Cache.ini is said, and the dialog then starts in it.
    const std::string folder = withoutTrailingSeparator(cacheRegDir);
    if (folder.empty() || folder.front() != '/' || !folderExists(folder)) return false;
    std::string error;
    if (useCacheFolder(folder, &error)) return true;
    m_prompter.message(error);
    return false;
}

bool Troubleshooter::ChooseCacheFolder() {
    for (;;) {
        // The game Tessvane was last told to look after names the folder.
        const std::string game = gameShown();
        std::string chosen = browse("Choose the " + game + " Cache folder:", cacheRegDir);
        if (chosen.empty()) {
            switch (insist("You MUST select the UT Cache folder..\n\nChoose it now? No goes on "
                           "without it; Cancel ends the troubleshooter.")) {
            case Insisted::Again:
                continue;
            case Insisted::WithoutIt:
                withoutCacheFolder("No cache folder was chosen.");
                return true;
            case Insisted::Leave:
                return false;
            }
        }
        std::string error;
        if (useCacheFolder(withoutTrailingSeparator(chosen), &error)) return true;
        m_prompter.message(error);
    }
}

std::string Troubleshooter::logPath() const {
    if (installPath.empty()) return {};
    auto log = lookupInFolder(withoutTrailingSeparator(installPath), "Tessvane.log");
    return log && fileExists(*log) ? *log : std::string();
}

void Troubleshooter::readLog() {
    logLines.clear();
    logProblem.clear();
    if (installPath.empty()) return;
    auto found = lookupInFolder(withoutTrailingSeparator(installPath), "Tessvane.log");
    if (!found) return; // no run yet: nothing to read, nothing wrong
    logLines = firstLines(*found, kMaxLogLines, kMaxLineBytes, logProblem)
                   .value_or(std::vector<std::string>{});
}

std::vector<std::string> Troubleshooter::problems() const {
    std::vector<std::string> out;
    for (const auto* p : {&cacheIniProblem, &cacheFolderProblem, &logProblem})
        if (!p->empty()) out.push_back(*p);
    return out;
}

bool Troubleshooter::ResetProgramRegistry() {
    if (!m_prompter.question("Definately reset Tessvane's registry entry?")) return false;
    clsRegistry reg(m_registry, noticesTo(m_prompter));
    useSettingsKey(reg);
    reg.WriteEntry("CacheDir", "");
    cacheRegDir = reg.ReadEntry("CacheDir", "");
    return true;
}

namespace {

std::string placeLine(const SearchedPlace& place) {
    switch (place.kind) {
    case PlaceKind::GameFolders:
        return "ut2003 and ut2004 folders in " + place.folder;
    case PlaceKind::PlayerFolder:
        return "player's folder " + place.folder;
    case PlaceKind::WinePrefix:
        return "Wine prefix " + place.folder;
    case PlaceKind::SteamLibrary:
        break;
    }
    return "Steam library " + place.folder;
}

// The sections that came after the report's first ones: the installs
// discovery finds, or "none" and where it looked. They go last, before the
// END line, as readers rely on the order of the first ones.
std::vector<std::string> gamesFoundSections(const std::string& storedFolder) {
    const DiscoveryPlaces places = DiscoveryPlaces::fromEnvironment();
    const auto installs = discoverInstalls(places, storedFolder);
    std::vector<std::string> out;
    if (installs.empty()) {
        out.push_back("<Games found>: none");
        out.push_back(kDashes);
        out.push_back("<Places looked in>:");
        for (const auto& place : searchedPlaces(places))
            out.push_back(escapeControls(placeLine(place)));
    } else {
        out.push_back("<Games found>:");
    }
    for (const auto& in : installs) {
        const std::string cache =
            in.cacheFolder.empty() ? joinPath(in.userFolder, "Cache") : in.cacheFolder;
        std::string line =
            std::string(gameName(in.game)) + " (" + kindName(in.kind) + ") " + in.gameFolder;
        if (in.userFolder != in.gameFolder) line += "; player's files in " + in.userFolder;
        line += "; cache " + cache;
        out.push_back(escapeControls(line));
    }
    out.push_back(kDashes);
    return out;
}

} // namespace

std::vector<std::string> Troubleshooter::reportLines() const {
    // The settings as they are now, not as they were at the start.
    std::string game = readGameFolder();
    std::vector<std::string> out = {"Tessvane Troubleshooter Info",
                                    std::string(36, '='),
                                    "",
                                    "<Windows Version>: " + osName,
                                    kDashes,
                                    "<UT Reg Dir>: " + (game.empty() ? kGameFolderNotFound : game),
                                    kDashes,
                                    "<Tessvane Reg Dir>: " + readProgramValue("CacheDir"),
                                    kDashes,
                                    "<Tessvane InstallPath>: " + installPath,
                                    kDashes,
                                    "<Cache.INI Contents>:    "};
    for (auto& line : out)
        line = escapeControls(line);
    if (!cacheIniProblem.empty()) out.push_back(escapeControls(cacheIniProblem));
    appendEscaped(out, cacheIniLines);
    out.push_back(kDashes);
    out.push_back(escapeControls("<Cache Directory listing of " + cacheFolder + ">:"));
    if (!cacheFolderProblem.empty()) out.push_back(escapeControls(cacheFolderProblem));
    appendEscaped(out, cacheFiles);
    out.push_back(kDashes);
    if (!installPath.empty()) {
        out.push_back(escapeControls("<Tessvane.LOG from " + installPath + ">"));
        if (!logProblem.empty()) out.push_back(escapeControls(logProblem));
        appendEscaped(out, logLines);
        out.push_back(kDashes);
    }
    for (auto& line : gamesFoundSections(game))
        out.push_back(std::move(line));
    out.push_back("*** END OF INFO ***");
    return out;
}

bool Troubleshooter::SaveReport(const std::string& path) {
    std::string error;
    // A report written again keeps its line ends; a link there is replaced
    // by a new report, which owes nothing to the file the link led to.
    const std::string_view end = isSymlink(path) ? std::string_view("\r\n") : lineEndOf(path);
    if (writeLinesEndedBy(path, reportLines(), end, &error)) {
        m_prompter.message("The report was saved to " + path + ".", "Tessvane",
                           MessageIcon::Information);
        return true;
    }
    m_prompter.message("The report could not be saved: " + error);
    return false;
}

std::string Troubleshooter::mailLink(const std::string& reportPath) const {
    return std::string("mailto:") + kSupportMail +
           "?subject=Tessvane Troubleshooter&Body=*** NOTE - remember to attach " + reportPath +
           " before sending ***";
}

void Troubleshooter::MailReport(const std::string& reportPath) {
    if (m_shell.openDocument(mailLink(reportPath))) return; // the mail program takes over
    m_prompter.message(std::string("There is no mail program on this desktop. Please write to ") +
                           kSupportMail + " and attach " + reportPath + ".",
                       "Tessvane", MessageIcon::Information);
}

std::string Troubleshooter::supportAddress() {
    return kSupportMail;
}

void Troubleshooter::viewLog() {
    if (installPath.empty()) {
        m_prompter.message("Tessvane's folder is not known (its InstallPath setting is empty), so "
                           "its log cannot be shown.");
        return;
    }
    std::string path = logPath();
    if (path.empty()) {
        m_prompter.message(joinPath(withoutTrailingSeparator(installPath), "Tessvane.log") +
                           " does not exist.");
        return;
    }
    if (!m_shell.openInEditor(path))
        m_prompter.message("There is no program on this desktop to open " + path + ".");
}

} // namespace tv
