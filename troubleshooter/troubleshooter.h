#pragma once

#include "ui/retitling_prompter.h"

#include <functional>
#include <string>
#include <vector>

namespace tv {

class Prompter;
class RegistryStore;
class Shell;

// A folder dialog as the troubleshooter opens it: in the player's folder (or
// the folder the setting asked about names, when it exists), hidden folders
// shown, so that ~/.ut2004, ~/.wine and ~/.local/share/Steam can be chosen.
struct FolderDialogRequest {
    std::string title;
    std::string startFolder; // empty when not even the home folder is known
};
FolderDialogRequest folderDialogRequest(const std::string& title, const std::string& named);
// Opens the dialog; the chosen folder, or empty when cancelled.
using FolderDialog = std::function<std::string(const FolderDialogRequest&)>;

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

    // The folder dialogs go there instead of the prompter's chooser (the
    // window's shows hidden folders and starts where asked).
    void setFolderDialog(FolderDialog dialog) { m_folderDialog = std::move(dialog); }

    // The start, in order: the game folder (insisting when it is missing),
    // Tessvane's settings, the cache folder (the settings' when it holds a
    // Cache.ini, else insisting until one that does is chosen), the system's
    // name and the run log. A player without a game may go on without either
    // folder: the report then says where games were looked for. false when
    // the user chose to leave instead.
    bool start();
    // "S&et UT Registry": the folder is stored with a trailing separator.
    // With mustChoose a cancel offers to choose again, to go on without it
    // or to leave; false when nothing was stored.
    bool SetGameRegistryFolder(bool mustChoose);
    // The cache folder chosen by the user, then its lists; false when the
    // user left (going on without one is true, with no lists).
    bool ChooseCacheFolder();
    // Uses this cache folder without asking; false (with `error`) when it
    // holds no Cache.ini.
    bool useCacheFolder(const std::string& folder, std::string* error = nullptr);
    // No cache folder to report on; the report's Cache.ini section says `why`.
    void withoutCacheFolder(const std::string& why);
    // Tessvane's settings and the run log, as at the start.
    void readProgramSettings();
    void readLog();
    // "&Clear Tessvane Registry": asks, then empties CacheDir only.
    bool ResetProgramRegistry();
    // The report's lines (the settings as they are now).
    std::vector<std::string> reportLines() const;
    // Writes the report in one step, CR LF (LF over a file that has LF line
    // ends); a failure is said and false.
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
    // What could not be read, as "<path> cannot be read: <reason>", or why
    // there is no cache folder, each shown in its section of the report
    // (empty when all was read).
    std::string cacheIniProblem, cacheFolderProblem, logProblem;
    // The three above that are not empty.
    std::vector<std::string> problems() const;

private:
    enum class Asked { Stored, NotStored, Left };
    Asked askGameFolder(bool mustChoose);
    // After a cancelled dialog for a folder the troubleshooter must have:
    // Yes asks again, No goes on without it, Cancel leaves.
    enum class Insisted { Again, WithoutIt, Leave };
    Insisted insist(const std::string& text);
    std::string browse(const std::string& title, const std::string& named);
    bool useSettingsCacheFolder();
    std::string readGameFolder() const;
    std::string readProgramValue(const char* name) const;
    std::string gameShown() const;

    RegistryStore& m_registry;
    RetitlingPrompter m_retitled; // the boxes carry the troubleshooter's name
    Prompter& m_prompter;         // m_retitled
    Shell& m_shell;
    FolderDialog m_folderDialog;
};

extern const char* const kGameFolderNotFound;
extern const char* const kGameFolderNotFoundUT2004;

} // namespace tv
