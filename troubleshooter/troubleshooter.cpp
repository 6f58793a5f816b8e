#include "troubleshooter.h"

#include "environment.h"

#include "platform/cfile.h"
#include "platform/cls_registry.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>

#ifndef TESSVANE_VERSION_MAJOR
#define TESSVANE_VERSION_MAJOR 1
#define TESSVANE_VERSION_MINOR 0
#endif

namespace tv {

const char* const kGameFolderNotFound = "UT2003's registry entry NOT found - please set it";

namespace {

const char* const kSupportMail = "tessvane@example.org";
const std::string kDashes(56, '-');
constexpr size_t kMaxLogLines = 500;

// The plain files of a folder (no folders, no dot files), sorted without
// regard to letter case.
std::vector<std::string> plainFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.empty() || n[0] == '.') continue;
            if (isRegularFile(joinPath(folder, n))) names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return lessNoCase(a, b); });
    return names;
}

} // namespace

Troubleshooter::Troubleshooter(RegistryStore& registry, Prompter& prompter, Shell& shell)
    : m_registry(registry), m_retitled(prompter, "Tessvane Troubleshooter"), m_prompter(m_retitled),
      m_shell(shell) {
}

std::string Troubleshooter::caption() {
    return "Tessvane Troubleshooter v" + std::to_string(TESSVANE_VERSION_MAJOR) + "." +
           std::to_string(TESSVANE_VERSION_MINOR);
}

std::string Troubleshooter::defaultReportPath() {
    const char* home = std::getenv("HOME");
    return joinPath(home && *home ? home : ".", "CacheInfo.txt");
}

std::string Troubleshooter::readGameFolder() const {
    clsRegistry game(m_registry, &m_prompter);
    useGameKey(game);
    return game.ReadEntry("Folder", "");
}

std::string Troubleshooter::readProgramValue(const char* name) const {
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    return reg.ReadEntry(name, "");
}

bool Troubleshooter::start() {
    utRegDir = readGameFolder();
    if (utRegDir.empty()) {
        utRegDir = kGameFolderNotFound;
        if (!SetGameRegistryFolder(true)) return false;
    }
    readProgramSettings();
    if (!ChooseCacheFolder()) return false;
    try {
        osName = CEnvironment().OsName();
    } catch (const ComponentError& e) {
        osName = e.what(); // the report says why instead
    }
    readLog();
    return true;
}

bool Troubleshooter::SetGameRegistryFolder(bool mustChoose) {
    for (;;) {
        std::string chosen = m_prompter.browseForFolder("Choose the root UT folder:");
        // A folder with neither System nor Cache is questioned, as Tessvane does.
        if (!chosen.empty() && !looksLikeGameFolder(chosen) &&
            !m_prompter.question(kNotAGameFolderQuestion)) {
            if (!mustChoose) return false;
            continue;
        }
        if (!chosen.empty()) {
            clsRegistry game(m_registry, &m_prompter);
            useGameKey(game);
            if (chosen.back() != '/') chosen += '/';
            game.WriteEntry("Folder", chosen);
            utRegDir = game.ReadEntry("Folder", "");
            return true;
        }
        if (!mustChoose) return false;
        if (!m_prompter.question("You MUST select the root UT2003 folder (Ex - /home/you/ut2003)."
                                 "\n\nChoose it now? (No ends the troubleshooter.)"))
            return false;
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
    cacheIniLines = readLines(*index).value_or(std::vector<std::string>{});
    cacheFiles = plainFiles(folder);
    return true;
}

bool Troubleshooter::ChooseCacheFolder() {
    for (;;) {
        std::string chosen = m_prompter.browseForFolder("Choose the UT2003 Cache folder:");
        if (chosen.empty()) {
            if (!m_prompter.question("You MUST select the UT Cache folder..\n\nChoose it now? (No "
                                     "ends the troubleshooter.)"))
                return false;
            continue;
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
    std::string path = logPath();
    if (path.empty()) return;
    auto lines = readLines(path).value_or(std::vector<std::string>{});
    if (lines.size() > kMaxLogLines) lines.resize(kMaxLogLines);
    logLines = std::move(lines);
}

bool Troubleshooter::ResetProgramRegistry() {
    if (!m_prompter.question("Definately reset Tessvane's registry entry?")) return false;
    clsRegistry reg(m_registry, &m_prompter);
    useSettingsKey(reg);
    reg.WriteEntry("CacheDir", "");
    cacheRegDir = reg.ReadEntry("CacheDir", "");
    return true;
}

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
    out.insert(out.end(), cacheIniLines.begin(), cacheIniLines.end());
    out.push_back(kDashes);
    out.push_back("<Cache Directory listing of " + cacheFolder + ">:");
    out.insert(out.end(), cacheFiles.begin(), cacheFiles.end());
    out.push_back(kDashes);
    if (!installPath.empty()) {
        out.push_back("<Tessvane.LOG from " + installPath + ">");
        out.insert(out.end(), logLines.begin(), logLines.end());
        out.push_back(kDashes);
    }
    out.push_back("*** END OF INFO ***");
    return out;
}

bool Troubleshooter::SaveReport(const std::string& path) {
    std::string error;
    if (writeLinesAtomic(path, reportLines(), &error)) {
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
