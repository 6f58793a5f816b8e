// The part of tessvane-cli that needs the browser engine, built as a module
// of its own: only `check-update` loads it, so every other command starts
// without Qt WebEngine.
#include "update/web_pages.h"

#include <ostream>

extern "C" __attribute__((visibility("default"))) int tessvane_check_update(std::ostream* out,
                                                                            std::ostream* err) {
    return tv::checkUpdateCommand(*out, *err);
}
