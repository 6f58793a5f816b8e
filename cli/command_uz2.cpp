// tessvane-cli uz2: packs and unpacks redirect-server packages; needs no game.
#include "cli.h"
#include "commands.h"

#include "formats/uz2.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <filesystem>

namespace tv {

using cmdline::ArgReader;
using cmdline::kDone;
using cmdline::kFailed;
using cmdline::kNotDone;
using cmdline::kUsageError;

int runUz2Command(const std::string& verb, ArgReader& args, std::ostream& out, std::ostream& err) {
    std::string to;
    std::vector<std::string> files;
    while (!args.done()) {
        std::string a = args.take();
        if (a == "--to")
            args.value(a, "a folder", to);
        else if (cmdline::looksLikeOption(a))
            args.unexpected(a);
        else
            files.push_back(wholePath(a));
    }
    if (args.failed()) return kUsageError;
    const bool pack = verb == "pack";
    if ((verb != "pack" && verb != "unpack") || files.empty() || (pack && to.empty())) {
        err << "usage: tessvane-cli uz2 unpack FILE.uz2... [--to DIR] | uz2 pack PACKAGE... "
               "--to DIR\n";
        return kUsageError;
    }
    if (!to.empty()) to = wholePath(to);
    // A folder named for the results is made when it is missing, as a run
    // makes a missing destination folder.
    if (!to.empty() && !folderExists(to)) {
        std::error_code ec;
        std::filesystem::create_directories(to, ec);
        if (ec || !folderExists(to)) {
            err << "tessvane-cli: cannot create the folder " << escapeControls(to) << ": "
                << (ec ? ec.message() : std::string("a file has that name")) << '\n';
            return kFailed;
        }
        out << "Created folder " << escapeControls(to) << '\n';
    }
    int status = kDone;
    for (const auto& file : files) {
        std::string name = pack ? fileNameOf(file) + ".uz2" : uz2PackageName(fileNameOf(file));
        if (name.empty()) {
            err << "tessvane-cli: " << escapeControls(file) << " is no .uz2 file\n";
            status = std::max(status, static_cast<int>(kNotDone));
            continue;
        }
        const std::string target = joinPath(to.empty() ? folderOf(file) : to, name);
        std::string error;
        if (pack ? packUz2File(file, target, &error) : unpackUz2File(file, target, &error)) {
            out << escapeControls(file) << "  ---->  " << escapeControls(target) << '\n';
        } else {
            out << "**ERROR** " << escapeControls(error) << '\n';
            status = kFailed;
        }
    }
    return status;
}

namespace cli {

namespace {

constexpr const char* kUsage =
    "  uz2 unpack FILE.uz2... [--to DIR] | uz2 pack PACKAGE... --to DIR\n"
    "      unpacks redirect-server packages (beside each file, or into DIR) or packs\n"
    "      packages as NAME.uz2 into DIR; an existing file is never replaced\n";

class Uz2 : public Command {
public:
    Uz2() : Command("uz2", kUsage) {}
    int execute(const Call& call, ArgReader& args) const override {
        const std::string verb = args.done() ? std::string() : args.take();
        return runUz2Command(verb, args, call.out, call.err);
    }
};

} // namespace

const Command& commandUz2() {
    static const Uz2 command;
    return command;
}

} // namespace cli

} // namespace tv
