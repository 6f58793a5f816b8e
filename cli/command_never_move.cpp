// tessvane-cli never-move: the never-move list read and edited.
#include "commands.h"
#include "json_output.h"

#include "platform/text_util.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  never-move list [--json] | add TEXT | remove TEXT\n"
    "      the never-move list, one line each (--json: as one JSON document), or a\n"
    "      line added or removed\n";

// Every line that is exactly `text` goes; false when there is none.
bool removeLine(Context& c, const std::string& text) {
    const auto& lines = c.session.neverMoveEdits().lines();
    std::vector<int> matching;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == text) matching.push_back(static_cast<int>(i));
    if (matching.empty()) {
        c.err << "Tessvane: " << escapeControls(text) << " is not on the never move list\n";
        return false;
    }
    if (matching.size() == 1)
        c.session.neverMoveRemove(matching, matching[0]);
    else
        c.session.neverMoveRemove(matching, -1);
    return true;
}

class NeverMove : public GameCommand {
public:
    NeverMove() : GameCommand("never-move", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        std::vector<std::string> words;
        while (!args.done())
            words.push_back(args.take());
        const bool json = words.size() == 2 && words[0] == "list" && words[1] == "--json";
        const bool list = (words.size() == 1 && words[0] == "list") || json;
        const bool edit = words.size() == 2 && (words[0] == "add" || words[0] == "remove");
        if (!list && !edit) {
            c.err << "tessvane-cli: never-move takes list, add TEXT or remove TEXT\n";
            return kUsageError;
        }
        if (!c.start()) return c.status;
        c.session.LoadNeverMoveList();
        if (json) {
            Json lines = Json::array();
            for (const auto& l : c.session.neverMoveEdits().lines()) {
                Json one;
                putName(one, "text", l);
                lines.push_back(std::move(one));
            }
            printJson(c.out, Json{{"lines", std::move(lines)}});
            return kDone;
        }
        if (list) {
            for (const auto& l : c.session.neverMoveEdits().lines())
                c.out << escapeControls(l) << '\n';
            return kDone;
        }
        if (words[0] == "add") {
            if (!c.session.neverMoveAdd(words[1])) return kNotDone;
        } else if (!removeLine(c, words[1])) {
            return kNotDone;
        }
        return c.finish(c.session.neverMoveSave());
    }
};

} // namespace

const Command& commandNeverMove() {
    static const NeverMove command;
    return command;
}

} // namespace tv::cli
