#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tv {

// tessvane-troubleshooter's command line: --report [FILE] [--cache DIR]
// [--game DIR], --clear --yes, --help. Returns the exit status.
int runTroubleshooterCli(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);

} // namespace tv
