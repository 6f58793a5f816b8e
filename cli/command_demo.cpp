// tessvane-cli demo: a sample game folder to try the program on.
#include "cli.h"
#include "commands.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  demo DIR               creates a sample game folder in DIR and prints how to\n"
    "                         start the window on it\n";

class Demo : public Command {
public:
    Demo() : Command("demo", kUsage) {}
    int execute(const Call& call, ArgReader& args) const override {
        std::vector<std::string> folders;
        while (!args.done()) {
            std::string a = args.take();
            if (a.rfind('-', 0) == 0 && a.size() > 1)
                args.unexpected(a);
            else
                folders.push_back(a);
        }
        if (args.failed()) return kUsageError;
        if (folders.size() != 1) {
            call.err << "tessvane-cli: demo needs one folder\n";
            return kUsageError;
        }
        std::string start, error;
        if (!createDemo(folders[0], start, error)) {
            call.err << "tessvane-cli: " << error << '\n';
            return kNotDone;
        }
        call.out << "A sample game folder was created in " << folders[0] << ".\n"
                 << "Start the window on it with:\n  " << start << '\n';
        return kDone;
    }
};

} // namespace

const Command& commandDemo() {
    static const Demo command;
    return command;
}

} // namespace tv::cli
