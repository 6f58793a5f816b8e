#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cmdline {
class ArgReader;
}

namespace tv {

// tessvane-cli: the same engine as the window, driven from a shell.
// Returns the process's exit status.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "tessvane-cli uz2 pack|unpack ...": `verb` is pack or unpack, `args` the rest.
int runUz2Command(const std::string& verb, cmdline::ArgReader& args, std::ostream& out,
                  std::ostream& err);

// Creates a sample game folder (with its cache), a registry file and a program
// folder inside `dir`; returns the command that starts the window on it.
bool createDemo(const std::string& dir, std::string& startCommand, std::string& error);

} // namespace tv
