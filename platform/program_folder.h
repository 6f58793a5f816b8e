#pragma once

#include <optional>
#include <string>

namespace tv {

// The folder of the running program, or $TESSVANE_HOME when it is set. The
// log, the undo log and the never-move list live there.
std::string programFolder();
// The folder of the running executable itself, whatever TESSVANE_HOME says.
std::string executableFolder();
// The full path of a program found on $PATH, or nullopt.
std::optional<std::string> findProgram(const std::string& name);

} // namespace tv
