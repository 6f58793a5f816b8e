#pragma once

#include <ostream>

namespace tv {

// `tessvane-cli check-update`: loads the update module (beside the program
// in a build folder, in <libdir>/tessvane when installed) and runs its check.
// Exit status 1 with the reason when the module cannot be loaded.
int runUpdateModule(std::ostream& out, std::ostream& err);

} // namespace tv
