#pragma once

#include <optional>
#include <string>

namespace tv {

class clsRegistry;

// The settings the main window keeps in its controls between start and exit.
// Initial values are the controls' designed state.
struct Settings {
    // File Selection: optSelectAll / optSelectOnly (one group)
    bool selectAll = true;
    bool selectOnly = false;
    bool extAlert = false; // chkMissingExt
    // File-type boxes
    bool U = false, UAX = false, UMX = false, UT2 = false, UTX = false, USX = false, UKX = false;
    bool unzipNoPreview = false;
    bool autoUpdate = false;
    // File Processing: optMoveNorm / optMoveDir / optMoveDir2 (one group)
    bool moveNorm = true;
    bool moveDir = false;
    std::string moveDirText;
    bool moveDir2 = false;
    std::string moveDir2Text;
    std::string cacheDir; // lblCacheDir
    bool backupCache = true;
    int firstRun = 1; // FirstRunFlag

    // Selecting one option of a group clears the others, as option buttons do;
    // clearing one leaves the others as they are.
    void setSelectOption(bool all, bool value);
    enum class MoveMode { Norm, Dir, Dir2 };
    void setMoveOption(MoveMode mode, bool value);
};

// The stored forms: option buttons "True"/"False", check boxes "0"/"1".
std::optional<bool> optionFromText(const std::string& text);
std::optional<bool> checkFromText(const std::string& text);
std::string optionText(bool value);
std::string checkText(bool value);

// Loads every setting from the settings key in the start-up order; a value
// that does not convert leaves the setting as it was.
void loadSettings(clsRegistry& settingsKey, Settings& s);
// Writes every setting back in the shut-down order (AutoClean and FirstRun "0").
void saveSettings(clsRegistry& settingsKey, const Settings& s);

} // namespace tv
