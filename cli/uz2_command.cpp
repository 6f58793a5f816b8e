// tessvane-cli uz2: packs and unpacks redirect-server packages; needs no game.
#include "cli.h"

#include "args/command_line.h"
#include "formats/uz2.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>

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

} // namespace tv
