// tessvane-cli purge, clean-tmp and set-purge: the cache's housekeeping.
#include "commands.h"

namespace tv::cli {

namespace {

constexpr const char* kPurgeUsage =
    "  purge [--yes]          deletes every cache file (asks; --yes answers Yes)\n";
constexpr const char* kCleanTmpUsage =
    "  clean-tmp              deletes the *.tmp files of the game folder\n";
constexpr const char* kSetPurgeUsage =
    "  set-purge DAYS         sets the game's own purge period (0 to 3650 days)\n";

class Purge : public GameCommand {
public:
    Purge() : GameCommand("purge", kPurgeUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool yes = false;
        if (!takeOnlyYes(args, true, yes)) return kUsageError;
        if (!c.start()) return c.status;
        c.prompter.setAnswerYes(yes);
        c.workOutFolders();
        if (const auto no = c.session.confirmPurge()) return exitStatusOf(*no);
        return c.finish(c.session.purgeCache());
    }
};

class CleanTmp : public GameCommand {
public:
    CleanTmp() : GameCommand("clean-tmp", kCleanTmpUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool yes = false;
        if (!takeOnlyYes(args, false, yes)) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        return c.finish(c.session.deleteTempFiles());
    }
};

class SetPurge : public GameCommand {
public:
    SetPurge() : GameCommand("set-purge", kSetPurgeUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        std::vector<std::string> values;
        while (!args.done()) {
            std::string a = args.take();
            // "-1" is a number the refusal below explains, not an option.
            if (a.rfind('-', 0) == 0 && a.size() > 1 &&
                a.find_first_not_of("-0123456789") != std::string::npos)
                args.unexpected(a);
            else
                values.push_back(a);
        }
        if (args.failed()) return kUsageError;
        if (values.size() != 1) {
            c.err << "tessvane-cli: set-purge needs one number of days\n";
            return kUsageError;
        }
        if (auto problem = Housekeeping::purgePeriodProblem(values[0])) {
            c.err << "tessvane-cli: " << *problem << '\n';
            return kUsageError;
        }
        if (!c.start()) return c.status;
        c.workOutFolders();
        c.session.setPurgeDaysText(values[0]);
        // Not written is a failure, whatever the reason.
        return c.finish(c.session.SetPurgeDays()) == kDone ? kDone : kFailed;
    }
};

} // namespace

const Command& commandPurge() {
    static const Purge command;
    return command;
}

const Command& commandCleanTmp() {
    static const CleanTmp command;
    return command;
}

const Command& commandSetPurge() {
    static const SetPurge command;
    return command;
}

} // namespace tv::cli
