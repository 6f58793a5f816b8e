#include "update_loader.h"

#include "platform/program_folder.h"
#include "platform/text_io.h"

#include <dlfcn.h>

#include <string>

namespace tv {

namespace {

constexpr const char* kModuleName = "tessvane-update.so";

// Where the module is: beside the program (a build folder), else in the
// installed library folder.
std::string modulePath() {
    const std::string beside = joinPath(executableFolder(), kModuleName);
    if (fileExists(beside)) return beside;
    return joinPath(joinPath(executableFolder(), TESSVANE_MODULE_FROM_BIN), kModuleName);
}

} // namespace

int runUpdateModule(std::ostream& out, std::ostream& err) {
    const std::string path = modulePath();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        err << "tessvane-cli: the update check cannot be loaded (" << (why ? why : path) << ")\n";
        return 1;
    }
    using Check = int (*)(std::ostream*, std::ostream*);
    auto check = reinterpret_cast<Check>(::dlsym(module, "tessvane_check_update"));
    if (!check) {
        err << "tessvane-cli: " << path << " holds no update check\n";
        ::dlclose(module);
        return 1;
    }
    // The module stays loaded until the program ends: the browser engine
    // does not take well to being unloaded.
    return check(&out, &err);
}

} // namespace tv
