// tessvane-cli check-update: asks the maker's server through the update
// module, when the build has one.
#include "commands.h"

#ifdef TESSVANE_HAVE_UPDATE
#include "update_loader.h"
#endif

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  check-update           asks the maker's server for a newer version (exit status 10\n"
    "                         when there is one, 1 when the check failed)\n";

class CheckUpdate : public Command {
public:
    CheckUpdate() : Command("check-update", kUsage) {}
    int execute(const Call& call, ArgReader& args) const override {
        while (!args.done())
            args.unexpected(args.take());
        if (args.failed()) return kUsageError;
#ifdef TESSVANE_HAVE_UPDATE
        return runUpdateModule(call.out, call.err);
#else
        call.err << "tessvane-cli: this build has no update check (built without Quillet)\n";
        return kNotDone;
#endif
    }
};

} // namespace

const Command& commandCheckUpdate() {
    static const CheckUpdate command;
    return command;
}

} // namespace tv::cli
