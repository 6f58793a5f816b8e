// tessvane-cli watch: new downloads moved after each game, as a Run moves
// them.
#include "commands.h"

#include "platform/text_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <unordered_set>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  watch [--once]\n"
    "      waits for the game to start and end, then moves the cache entries that\n"
    "      came during the game as Run would (new packages move; identical ones,\n"
    "      other versions, damaged ones and the never-move list stay); --once:\n"
    "      after one game it ends. One watch per game\n";

using Names = std::unordered_set<std::string, FoldedHash, FoldedEqual>;

// The names Cache.ini holds now.
Names cacheNames(const CacheFolders& folders) {
    Names names;
    for (const auto& e : readCacheEntries(folders))
        names.insert(e.name);
    return names;
}

// How often the processes are looked at: every 2 s (tests ask for less).
std::chrono::milliseconds interval() {
    if (const char* ms = std::getenv("TESSVANE_WATCH_INTERVAL_MS"); ms && *ms)
        return std::chrono::milliseconds(std::max(10L, std::strtol(ms, nullptr, 10)));
    return std::chrono::seconds(2);
}

// Holds the watch's lock for one game folder while it lives; false when
// another watch has it.
class WatchLock {
public:
    explicit WatchLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
    ~WatchLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;
    bool held() const { return m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }

private:
    int m_fd;
};

class Watch : public GameCommand {
public:
    Watch() : GameCommand("watch", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool once = false;
        while (!args.done()) {
            std::string a = args.take();
            if (a == "--once")
                once = true;
            else
                args.unexpected(a);
        }
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        const std::string game = c.session.install().gameFolder;
        const WatchLock lock(
            joinPath(c.session.programFolder(),
                     "tessvane-watch-" + std::to_string(std::hash<std::string>{}(game)) + ".lock"));
        if (!lock.held()) {
            c.err << "Tessvane: another tessvane-cli watch looks after " << escapeControls(game)
                  << " already\n";
            return kFailed;
        }
        c.out << "Watching " << escapeControls(game) << " for the end of a game\n" << std::flush;
        int status = kDone;
        do {
            const Names before = waitForGame(c);
            waitWhile(c, [&] { return c.session.gameInUse(); });
            status = moveNew(c, before);
        } while (!once);
        return status;
    }

private:
    static void waitWhile(Context&, const std::function<bool()>& condition) {
        while (condition())
            std::this_thread::sleep_for(interval());
    }
    // The cache's names as the game found them when it started.
    static Names waitForGame(Context& c) {
        Names before = cacheNames(c.session.folders());
        while (!c.session.gameInUse()) {
            std::this_thread::sleep_for(interval());
            before = cacheNames(c.session.folders());
        }
        c.out << "The game started\n" << std::flush;
        return before;
    }
    // The entries that came during the game, ticked as a Run ticks, moved.
    static int moveNew(Context& c, const Names& before) {
        if (!c.session.ScanCache()) return kNotDone;
        c.session.fillStates();
        size_t ticked = 0;
        for (size_t i = 0; i < c.session.fileList().size(); ++i) {
            FileRow& r = c.session.fileList().row(i);
            r.ticked = r.ticked && !before.count(r.text);
            ticked += r.ticked ? 1 : 0;
        }
        if (ticked == 0) {
            c.out << "The game ended; nothing new to move\n" << std::flush;
            return kDone;
        }
        const bool ran = c.session.runCommand();
        c.printStatus();
        c.out << std::flush;
        if (c.session.lastFailed()) return kFailed;
        return ran ? kDone : kNotDone;
    }
};

} // namespace

const Command& commandWatch() {
    static const Watch command;
    return command;
}

} // namespace tv::cli
