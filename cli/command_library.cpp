// tessvane-cli library and remove: every package the game reads, and
// removing packages with what only they needed.
#include "commands.h"
#include "json_output.h"

#include "platform/dates.h"
#include "platform/text_util.h"
#include "session/library.h"

#include <algorithm>

namespace tv::cli {

namespace {

constexpr const char* kLibraryUsage =
    "  library [--type TYPE] [--origin ORIGIN] [--json]\n"
    "      lists every package the game reads and every download of the cache: name,\n"
    "      type, size, date, origin (stock, moved, installed, found, cache), what is\n"
    "      beside it in the cache and what uses it; TYPE is map, texture, sound, music,\n"
    "      staticmesh, animation or code\n";
constexpr const char* kRemoveUsage =
    "  remove [--with-unused] [--delete] [--dry-run] [--yes] NAME...\n"
    "      moves installed packages back into the cache as downloads (Undo puts them\n"
    "      back), a map with its language files; --with-unused also what only they\n"
    "      needed (never stock, ServerPackages or what anything else uses); --delete\n"
    "      deletes instead; --dry-run only lists what would go\n";

Json entryJson(const std::vector<LibraryEntry>& all, const LibraryEntry& e) {
    Json j;
    putName(j, "name", e.name);
    putName(j, "path", e.path);
    j["type"] = typeName(e.type);
    j["size"] = e.size;
    j["modified"] = e.modified;
    j["origin"] = originName(e.origin);
    putName(j, "origin_text", e.originText());
    if (!e.originDate.empty()) putName(j, "origin_date", e.originDate);
    if (!e.archive.empty()) putName(j, "archive", e.archive);
    if (!e.guid.empty()) j["guid"] = e.guid;
    j["damaged"] = e.damaged;
    j["beside"] = e.beside == LibraryEntry::Beside::Same    ? Json("same")
                  : e.beside == LibraryEntry::Beside::Other ? Json("other")
                                                            : Json();
    if (e.type == FileType::Map) {
        putName(j, "title", e.title);
        putName(j, "song", e.song);
    }
    // Lists of names as texts for show (a name that is not UTF-8 shows
    // U+FFFD); each package's own entry has it exactly.
    const auto names = [](const std::vector<std::string>& list) {
        Json out = Json::array();
        for (const auto& n : list) {
            Json one;
            putName(one, "name", n);
            out.push_back(std::move(one["name"]));
        }
        return out;
    };
    Json needs = names(e.needs), users = names(usedBy(all, e));
    j["needs"] = std::move(needs);
    j["used_by"] = std::move(users);
    j["server_package"] = e.serverPackage;
    j["edit_package"] = e.editPackage;
    return j;
}

std::string entryLine(const std::vector<LibraryEntry>& all, const LibraryEntry& e) {
    std::vector<std::string> users = usedBy(all, e);
    if (e.serverPackage) users.push_back("ServerPackages");
    if (e.editPackage) users.push_back("EditPackages");
    std::string used;
    for (const auto& u : users)
        used += (used.empty() ? "" : ", ") + u;
    std::string state = e.damaged ? "damaged" : e.besideText();
    return escapeControls(e.name) + '\t' + typeName(e.type) + '\t' + std::to_string(e.size) + '\t' +
           (e.modified >= 0 ? shortDate(e.modified) : std::string()) + '\t' +
           escapeControls(e.originText()) + '\t' + state + '\t' + escapeControls(used);
}

class Library : public GameCommand {
public:
    Library() : GameCommand("library", kLibraryUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        std::optional<FileType> type;
        std::optional<Origin> origin;
        bool json = false;
        while (!args.done()) {
            std::string a = args.take(), value;
            if (a == "--json") {
                json = true;
            } else if (a == "--type" && args.value(a, "a type", value)) {
                if (!(type = typeFromName(value))) args.fail("--type " + value + " is no type");
            } else if (a == "--origin" && args.value(a, "an origin", value)) {
                if (!(origin = originFromName(value)))
                    args.fail("--origin " + value +
                              " is none of stock, moved, installed, found, cache");
            } else if (!args.failed()) {
                args.unexpected(a);
            }
        }
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const PackageLibrary library(c.session, c.prompter);
        const std::vector<LibraryEntry> all = library.read();
        Json list = Json::array();
        for (const auto& e : all) {
            if ((type && e.type != *type) || (origin && e.origin != *origin)) continue;
            if (json)
                list.push_back(entryJson(all, e));
            else
                c.out << entryLine(all, e) << '\n';
        }
        if (json) printJson(c.out, Json{{"packages", std::move(list)}});
        return kDone;
    }
};

class Remove : public GameCommand {
public:
    Remove() : GameCommand("remove", kRemoveUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool withUnused = false, dryRun = false, yes = false;
        RemoveRequest request;
        std::vector<std::string> names;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--with-unused")
                withUnused = true;
            else if (a == "--delete")
                request.deleteFiles = true;
            else if (a == "--dry-run")
                dryRun = true;
            else if (a == "--yes")
                yes = true;
            else if (a.rfind("--", 0) == 0)
                args.unexpected(a);
            else
                names.push_back(a.find('/') == std::string::npos ? a : wholePath(a));
        }
        if (!args.failed() && names.empty()) args.fail("remove needs the NAME of a package");
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.prompter.setAnswerYes(yes);
        c.workOutFolders();
        PackageLibrary library(c.session, c.prompter);
        request.plan = planRemoval(library.read(), names, withUnused, c.session.folders());
        // Asking for what cannot be removed is not done, whatever else is.
        const int refused = request.plan.refused.empty() ? kDone : kNotDone;
        if (dryRun) {
            for (const auto& line : planLines(request.plan))
                c.out << escapeControls(line) << '\n';
            return request.plan.empty() ? kNotDone : refused;
        }
        if (const auto no = library.confirm(request)) return exitStatusOf(*no);
        const int status = c.finish(library.remove(request));
        c.printStatus();
        return std::max(status, refused);
    }
};

} // namespace

const Command& commandLibrary() {
    static const Library command;
    return command;
}

const Command& commandRemove() {
    static const Remove command;
    return command;
}

} // namespace tv::cli
