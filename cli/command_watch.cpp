// tessvane-cli watch: hosts the after-game watch (its folders, its notices,
// its signals, its lock) and tells it when to look.
#include "commands.h"
#include "watch_support.h"

#include "desktop/child_process.h"
#include "desktop/desktop_notice.h"
#include "desktop/folder_watch.h"
#include "desktop/watch_service.h"
#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "session/after_game_watch.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <optional>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  watch [--game N|DIR] [--once]\n"
    "      waits for the game to end, then moves the cache entries that came during\n"
    "      the game as Run would (new packages move; identical ones, other versions,\n"
    "      damaged ones and the never-move list stay) and says so on the desktop;\n"
    "      --once: after one game it ends. One watch per game\n";

using Clock = std::chrono::steady_clock;

// The desktop's notices as the watch speaks to them.
class DesktopBoard : public NoticeBoard {
public:
    DesktopNotices notices;
    uint32_t show(const std::string& summary, const std::string& body,
                  const std::vector<Action>& actions) override {
        std::vector<DesktopNotices::Action> shown;
        for (const auto& a : actions)
            shown.push_back({a.key, a.label});
        return notices.show(summary, body, shown);
    }
    void close(uint32_t id) override { notices.close(id); }
    bool connected() const override { return notices.connected(); }
    std::string error() const override { return notices.error(); }
};

// The Status lines as a command prints them; a stop signal ends a run
// between two batches of moves (its records kept).
struct WatchLines : PrintLines {
    WatchLines(std::ostream& o, const StopSignals& s) : PrintLines(o), stop(s) {}
    bool stopRequested() override { return stop.asked(); }
    const StopSignals& stop;
};

// Sleeps until the cache or the configuration changes (or, while a folder
// cannot be watched, a while), then lets the watch look at most once an
// interval.
class Host {
public:
    Host(Context& c, bool once)
        : m_c(c), m_once(once), m_lines(c.out, m_stop),
          m_watch(c.session,
                  {.gameRunning = [&c] { return c.session.gameInUse(); },
                   .say = [this](const std::string& l) { say(l); },
                   .notices = &m_board,
                   .openWindow = [this] { openWindow(); }},
                  once) {
        m_c.session.setObserver(&m_lines);
        // Another Tessvane at work: the watch tries again at its next look
        // instead of waiting where a stop would not be heard.
        m_c.session.setLockWait(std::chrono::milliseconds(0));
    }
    ~Host() { m_c.session.setObserver(&m_c.lines); }

    int loop() {
        if (!takeWatchLock()) return kFailed;
        rewatch();
        m_watch.begin();
        for (;;) {
            // --once looks for its one game, downloads or not.
            m_lookWanted = m_lookWanted || m_watch.wantsLooks() || m_once || !m_allWatched ||
                           !m_lock || m_reloadWanted;
            const bool changed = wait();
            if (m_stop.asked()) return kDone;
            for (const auto& [id, key] : m_board.notices.takeActions())
                m_watch.chosen(id, key);
            for (uint32_t id : m_board.notices.takeClosed())
                m_watch.closed(id);
            if (changed) {
                const FolderWatch::Changes what = m_files.drain();
                m_reloadWanted = m_reloadWanted || (what.files && configChanged());
                if (what.folderGone || !m_allWatched) rewatch();
                m_lookWanted = m_lookWanted || what.files;
            }
            if (!m_lookWanted || Clock::now() < m_nextLook) continue;
            m_nextLook = Clock::now() + watchInterval();
            m_lookWanted = false;
            // Another game or cache folder is taken on between two games only.
            if (m_reloadWanted && m_watch.idle()) reload();
            if (!m_lock && takeWatchLock()) m_watch.switched(); // the other watch has ended
            if (m_lock && m_watch.look() && m_once) return m_watch.status();
        }
    }

private:
    Context& m_c;
    const bool m_once;
    StopSignals m_stop;
    WatchLines m_lines;
    FolderWatch m_files;
    DesktopBoard m_board;
    AfterGameWatch m_watch;
    std::optional<WatchLock> m_lock; // none: another watch looks after this game
    bool m_lookWanted = false;
    bool m_allWatched = false;
    bool m_reloadWanted = false;
    Clock::time_point m_nextLook{};
    std::string m_configSeen;
    std::string m_lastSaid;

    void say(const std::string& line) { m_c.out << line << '\n' << std::flush; }

    // One watch per game folder, whatever its spelling.
    bool takeWatchLock() {
        const std::string game = m_c.session.install().gameFolder;
        m_lock.emplace(watchLockFile(m_c.session.programFolder(), game));
        if (m_lock->held()) return true;
        m_lock.reset();
        const std::string text =
            "Tessvane: another tessvane-cli watch looks after " + escapeControls(game) + " already";
        if (text != m_lastSaid) m_c.err << text << '\n' << std::flush;
        m_lastSaid = text;
        return false;
    }

    bool wait() {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        // What the bus read while waiting for an answer is not on its socket
        // any more: it is handled before sleeping.
        if (m_board.notices.hasWaiting()) return false;
        std::vector<pollfd> fds;
        if (m_files.usable()) fds.push_back({m_files.fd(), POLLIN, 0});
        if (m_board.notices.connected())
            fds.push_back({m_board.notices.fd(), static_cast<short>(m_board.notices.events()), 0});
        timespec limit{};
        const timespec* timeout = nullptr;
        if (m_lookWanted) {
            const auto left = std::max(Clock::duration::zero(), m_nextLook - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit = {static_cast<time_t>(ns / 1'000'000'000),
                     static_cast<long>(ns % 1'000'000'000)};
            timeout = &limit;
        }
        if (::ppoll(fds.data(), fds.size(), timeout, m_stop.waiting()) <= 0) return false;
        return m_files.usable() && fds[0].revents != 0;
    }

    // The cache folder (and the one above it, where a cache folder not made
    // yet appears), the live game configuration's folder and the folder of
    // the settings are watched, each by what it really is.
    void rewatch() {
        const std::string cache = m_c.session.folders().cacheFolder;
        std::vector<std::string> folders;
        for (const std::string& f :
             {cache, folderOf(cache), folderOf(m_c.session.install().gameIni),
              folderOf(RegistryStore().filePath())})
            folders.push_back(realPath(f));
        std::string error;
        const bool all = m_files.watchOnly(folders, &error);
        if (!all && m_allWatched != all)
            say("Not all watched, looked at every " +
                std::to_string(watchInterval().count() / 1000.0).substr(0, 3) +
                " s instead: " + escapeControls(error));
        m_allWatched = all;
        if (m_configSeen.empty()) m_configSeen = configStamp();
    }

    // The configuration and the settings as the file system shows them
    // (file, size, time of change): a rewrite shows up, however small.
    std::string configStamp() const {
        std::string stamp;
        for (const std::string& f : {m_c.session.install().gameIni, RegistryStore().filePath()}) {
            struct stat st {};
            if (::stat(f.c_str(), &st) == 0)
                stamp += std::to_string(st.st_ino) + ':' + std::to_string(st.st_size) + ':' +
                         std::to_string(st.st_mtim.tv_sec) + '.' +
                         std::to_string(st.st_mtim.tv_nsec) + ';';
            else
                stamp += "none;";
        }
        return stamp;
    }
    bool configChanged() {
        std::string now = configStamp();
        if (now == m_configSeen) return false;
        m_configSeen = std::move(now);
        return true;
    }

    // The game's configuration or the settings changed: read them again (the
    // game, the cache folder, the types to move, the destination).
    void reload() {
        const std::string game = m_c.session.install().gameFolder;
        const FileIdentity cache = fileIdentity(m_c.session.folders().cacheFolder);
        m_reloadWanted = false;
        if (!m_c.start()) {
            say("The settings could not be read again; the watch goes on with those it had");
            return;
        }
        m_c.workOutFolders();
        rewatch();
        const bool sameGame = sameFolder(m_c.session.install().gameFolder, game);
        if (sameGame && m_lock) {
            if (!(fileIdentity(m_c.session.folders().cacheFolder) == cache)) m_watch.switched();
            return;
        }
        // Another game chosen in the window: this watch looks after it
        // instead, unless another watch does already (then it waits).
        m_lock.reset();
        say("Another game was chosen: " + m_c.session.install().gameFolder);
        if (!takeWatchLock()) {
            say("Another watch looks after it; this one waits until that one ends");
            return;
        }
        m_watch.switched();
    }

    void openWindow() {
        std::string program = joinPath(executableFolder(), "tessvane");
        if (!fileExists(program)) program = "tessvane";
        if (!startDetached({program})) say("Tessvane could not be started: " + program);
    }
};

class Watch : public GameCommand {
public:
    Watch() : GameCommand("watch", kUsage) {}

protected:
    int run(Context& c, ArgReader& args) const override {
        bool once = false;
        while (!args.done()) {
            // The game may also be named after the command: watch --game 2.
            if (args.peek() == "--game" || args.peek() == "--cache") {
                if (!takeGlobalOptions(args, c.opt, c.err)) return kUsageError;
                continue;
            }
            std::string a = args.take();
            if (a == "--once")
                once = true;
            else
                args.unexpected(a);
        }
        if (args.failed()) return kUsageError;
        if (!c.start()) return c.status;
        c.workOutFolders();
        Host host(c, once);
        return host.loop();
    }
};

} // namespace

const Command& commandWatch() {
    static const Watch command;
    return command;
}

} // namespace tv::cli
