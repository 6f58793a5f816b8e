#pragma once

#include "ui/retitling_prompter.h"

#include <string>
#include <vector>

namespace tv {

class Prompter;
class RegistryStore;
class Shell;

// What the troubleshooter's window shows and does, without the widgets: the
// game folder and Tessvane's settings as the settings file holds them, the
// chosen cache folder's Cache.ini and listing, Tessvane's last run log, and
// the report made of them. The command line (--report, --clear) uses it too.
class Troubleshooter {
public:
    Troubleshooter(RegistryStore& registry, Prompter& prompter, Shell& shell);

    // "Tessvane Troubleshooter v<major>.<minor>"
    static std::string caption();
    // CacheInfo.txt in the user's home folder.
    static std::string defaultReportPath();

    // The start, in order: the game folder (insisting when it is missing),
    // Tessvane's settings, the cache folder (insisting until it holds a
    // Cache.ini), the system's name and the run log. false when the user
    // chose to leave instead of choosing a folder.
    bool start();
    // "S&et UT Registry": the folder is stored with a trailing separator.
    // With mustChoose a cancel offers to choose again or to leave; false
    // when nothing was stored.
    bool SetGameRegistryFolder(bool mustChoose);
    // The cache folder chosen by the user, then its lists.
    bool ChooseCacheFolder();
    // Uses this cache folder without asking; false (with `error`) when it
    // holds no Cache.ini.
    bool useCacheFolder(const std::string& folder, std::string* error = nullptr);
    // Tessvane's settings and the run log, as at the start.
    void readProgramSettings();
    void readLog();
    // "&Clear Tessvane Registry": asks, then empties CacheDir only.
    bool ResetProgramRegistry();
    // The report's lines (the settings as they are now).
    std::vector<std::string> reportLines() const;
    // Writes the report (CR LF) in one step; a failure is said and false.
    bool SaveReport(const std::string& path);
    // The mail to the maker, naming the report to attach.
    std::string mailLink(const std::string& reportPath) const;
    // Opens the mail; with no mail program the address to write to is said.
    void MailReport(const std::string& reportPath);
    static std::string supportAddress();
    // "&View Tessvane LOG"
    void viewLog();
    // The run log's path (any letter case), or empty when not found.
    std::string logPath() const;

    // The shown values.
    std::string utRegDir;    // txtUTRegDir
    std::string cacheRegDir; // txtCacheRegDir
    std::string installPath;
    std::string cacheFolder;
    std::string osName;
    std::vector<std::string> cacheIniLines; // lstCacheINI
    std::vector<std::string> cacheFiles;    // lstCacheDir
    std::vector<std::string> logLines;      // the first 500 lines of Tessvane.log
    // What could not be read, as "<path> cannot be read: <reason>", each
    // shown in its section of the report (empty when all was read).
    std::string cacheIniProblem, cacheFolderProblem, logProblem;
    // The three above that are not empty.
    std::vector<std::string> problems() const;

private:
    std::string readGameFolder() const;
    std::string readProgramValue(const char* name) const;

    RegistryStore& m_registry;
    RetitlingPrompter m_retitled; // the boxes carry the troubleshooter's name
    Prompter& m_prompter;         // m_retitled
    Shell& m_shell;
};

extern const char* const kGameFolderNotFound;

} // namespace tv
