#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace quillet {

// The quillet program: loads a page (or none, with "-"), calls one member of
// WebParser and prints its result. A QApplication must exist. Returns the
// exit status.
int runQuilletCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err);

} // namespace quillet
