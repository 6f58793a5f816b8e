#pragma once

#include <optional>
#include <string>

namespace tv {

// The folder the program writes to: the log, the undo log and the never-move
// list live there. $TESSVANE_HOME when it is set; else the running program's
// own folder when it holds Tessvane.ini (the build folder, an unpacked
// copy); else, on an installed system, $XDG_DATA_HOME/tessvane
// (~/.local/share/tessvane), made and seeded from the installed shipped
// files (the never-move list, the empty undo log) on the first start.
std::string programFolder();
// The folder the read-only shipped files (Tessvane.ini, the animation, the
// help page, the sound) come from: `programFolder` itself when it holds
// Tessvane.ini, else the installed share/tessvane when there is one.
std::string shippedFolder(const std::string& programFolder);
// Where an installed program's shipped files are: share/tessvane beside the
// bin folder it runs from.
std::string installedShareFolder();
// The folder of the running executable itself, whatever TESSVANE_HOME says.
std::string executableFolder();
// A game folder holds System or Cache (in any letter case); a folder with
// neither is questioned before it is stored.
bool looksLikeGameFolder(const std::string& folder);
extern const char* const kNotAGameFolderQuestion;

// The full path of a program found on $PATH, or nullopt.
std::optional<std::string> findProgram(const std::string& name);

} // namespace tv
