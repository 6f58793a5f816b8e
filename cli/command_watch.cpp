// tessvane-cli watch: new downloads moved after each game, as a Run moves
// them.
#include "commands.h"
#include "watch_support.h"

#include "formats/registry_store.h"
#include "platform/child_process.h"
#include "platform/desktop_notice.h"
#include "platform/folder_watch.h"
#include "platform/operation_lock.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "session/watch_service.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <map>
#include <optional>

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "  watch [--once]\n"
    "      waits for the game to end, then moves the cache entries that came during\n"
    "      the game as Run would (new packages move; identical ones, other versions,\n"
    "      damaged ones and the never-move list stay) and says so on the desktop;\n"
    "      --once: after one game it ends. One watch per game\n";

using Clock = std::chrono::steady_clock;

// One watch over one game: sleeps until the cache or the configuration
// changes (or, without inotify, a while), then looks at the processes at most
// once an interval; a game that has ended has its downloads moved.
class Watcher {
public:
    Watcher(Context& c, bool once) : m_c(c), m_once(once) {}

    int loop() {
        rewatch();
        m_before = cacheNames(m_c.session.folders());
        m_inGame = m_c.session.gameInUse();
        if (m_inGame) say("A game is on; what it downloads moves when it ends");
        if (!m_notices.connected()) say("No desktop notices: " + m_notices.error());
        // --once ends after one game, downloads or not: it looks for the game.
        m_lookWanted = m_inGame || m_once || !m_files.usable();
        for (;;) {
            const bool changed = wait();
            if (m_stop.asked() || m_restart) return m_status;
            for (const auto& [id, key] : m_notices.takeActions())
                chosen(id, key);
            if (changed) {
                if (m_files.drain() && configChanged()) reload();
                rewatch();
                m_lookWanted = true;
            }
            if (m_lookWanted && Clock::now() >= m_nextLook && look() && m_once) return m_status;
        }
    }

private:
    Context& m_c;
    const bool m_once;
    StopSignals m_stop;
    FolderWatch m_files;
    DesktopNotices m_notices;
    Names m_before;            // the cache's names before this game
    bool m_inGame = false;     // a game was running at the last look
    bool m_lookWanted = false; // the processes are to be looked at
    Clock::time_point m_nextLook{};
    std::vector<std::string> m_watched;                   // the folders, as last watched
    std::string m_configSeen;                             // what the configuration held then
    std::map<uint32_t, std::vector<std::string>> m_shown; // notice: files it moved
    int m_status = kDone;
    bool m_restart = false;

public:
    bool restartWanted() const { return m_restart; }

private:
    void say(const std::string& line) { m_c.out << escapeControls(line) << '\n' << std::flush; }

    // Waits for a change in the watched folders, a notice's action, a stop,
    // or the next look; true for a change.
    bool wait() {
        reapChildren();
        std::vector<pollfd> fds;
        if (m_files.usable()) fds.push_back({m_files.fd(), POLLIN, 0});
        if (m_notices.connected()) fds.push_back({m_notices.fd(), POLLIN, 0});
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
        return m_files.usable() && (fds[0].revents & POLLIN);
    }

    // Looks at the processes; true when a game has ended and been handled.
    bool look() {
        m_nextLook = Clock::now() + watchInterval();
        const bool running = m_c.session.gameInUse();
        m_lookWanted = running || m_once || !m_files.usable();
        if (running && !m_inGame) say("The game started");
        if (!running && m_inGame) {
            m_inGame = false;
            afterGame();
            if (m_inGame) return false; // a new game came first: after that one
            m_before = cacheNames(m_c.session.folders());
            return true;
        }
        m_inGame = running;
        // Entries that came while no game ran are not the game's.
        if (!running) m_before = cacheNames(m_c.session.folders());
        return false;
    }

    // The cache folder, the live game configuration's folder and the folder
    // of the settings are watched; each anew after a change, as a folder may
    // have been made, replaced or named anew.
    void rewatch() {
        const RegistryStore store;
        std::vector<std::string> folders{m_c.session.folders().cacheFolder,
                                         folderOf(m_c.session.install().gameIni),
                                         folderOf(store.filePath())};
        std::string error;
        if (!m_files.watchOnly(folders, &error) && folders != m_watched)
            say("Not watched, looked at every " +
                std::to_string(watchInterval().count() / 1000.0).substr(0, 3) +
                " s instead: " + error);
        if (m_configSeen.empty()) m_configSeen = configStamp();
        m_watched = std::move(folders);
        if (!m_files.usable()) m_lookWanted = true;
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
    // cache folder, the types to move, the destination).
    void reload() {
        const std::string game = m_c.session.install().gameFolder;
        if (!m_c.start()) {
            say("The settings could not be read again; the watch goes on with those it had");
            return;
        }
        m_c.workOutFolders();
        if (m_c.session.install().gameFolder == game) return;
        // Another game chosen in the window: a watch for that one (with its
        // own lock) instead of this.
        say("Another game was chosen: " + m_c.session.install().gameFolder +
            "; the watch starts anew for it");
        m_restart = true;
    }

    static void reapChildren() {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    // Waits for other work on this game (the window's run, an undo) to
    // finish; false when the lock cannot be had or the watch is to stop.
    bool takeLock(std::optional<OperationLock>& lock) {
        bool said = false;
        while (!lock.emplace(m_c.session.programFolder(), watchInterval()).held()) {
            if (lock->error() != kBusyText) {
                m_c.err << "Tessvane: " << escapeControls(lock->error()) << '\n';
                m_status = kFailed;
                return false;
            }
            if (!said) say("Another Tessvane is at work on this game; the watch waits for it");
            said = true;
            if (m_stop.asked()) return false;
        }
        return true;
    }

    void afterGame() {
        std::optional<OperationLock> lock;
        if (!takeLock(lock)) return;
        if (m_c.session.gameInUse()) { // started again meanwhile
            m_inGame = true;
            return;
        }
        if (!m_c.session.ScanCache()) {
            m_status = kNotDone;
            return;
        }
        m_c.session.fillStates();
        size_t ticked = 0;
        for (size_t i = 0; i < m_c.session.fileList().size(); ++i) {
            FileRow& r = m_c.session.fileList().row(i);
            r.ticked = r.ticked && !m_before.count(r.text);
            ticked += r.ticked ? 1 : 0;
        }
        if (ticked == 0) {
            say("The game ended; nothing new to move");
            return;
        }
        const bool ran = m_c.session.runCommand();
        m_c.printStatus();
        m_status = m_c.session.lastFailed() ? kFailed : ran ? kDone : kNotDone;
        tellMoved(m_c.session.lastRun());
    }

    void tellMoved(const RunResult& run) {
        if (run.movedFiles.empty()) return;
        const std::string text = movedAfterGameText(run.movedFiles);
        say(text);
        const std::string body =
            run.failed() ? "Some could not be moved; the Status tab and tessvane.log say why." : "";
        // Once it has ended the watch hears no action: a --once notice has none.
        std::vector<DesktopNotices::Action> actions;
        if (!m_once) actions = {{"undo", "Undo"}, {"open", "Open Tessvane"}};
        if (!m_notices.connected()) return;
        const uint32_t id = m_notices.show(text, body, actions);
        if (id == 0) {
            say("No desktop notice: " + m_notices.error());
            return;
        }
        std::vector<std::string>& files = m_shown[id];
        for (const auto& m : run.movedFiles)
            files.push_back(m.destination);
    }

    void chosen(uint32_t id, const std::string& key) {
        auto it = m_shown.find(id);
        if (it == m_shown.end()) return; // another program's notice
        if (key == "open") {
            std::string program = joinPath(executableFolder(), "tessvane");
            if (!fileExists(program)) program = "tessvane";
            if (!startDetached({program})) say("Tessvane could not be started: " + program);
            return;
        }
        if (key != "undo") return;
        std::optional<OperationLock> lock;
        if (!takeLock(lock)) return;
        const std::vector<std::string> files = std::move(it->second);
        m_shown.erase(it);
        const bool undone = m_c.session.undoSelections(files);
        m_c.printStatus();
        const std::string text =
            undone && !m_c.session.lastFailed()
                ? "The files from the last game went back into the cache"
                : "Not all the files from the last game could go back; see the Undo tab";
        say(text);
        if (m_notices.show(text, "") == 0) say("No desktop notice: " + m_notices.error());
    }
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
        bool restart = false;
        int status = kDone;
        {
            const WatchLock lock(watchLockFile(c.session.programFolder(), game));
            if (!lock.held()) {
                c.err << "Tessvane: another tessvane-cli watch looks after " << escapeControls(game)
                      << " already\n";
                return kFailed;
            }
            c.out << "Watching " << escapeControls(game) << " for the end of a game\n"
                  << std::flush;
            Watcher watcher(c, once);
            status = watcher.loop();
            restart = watcher.restartWanted();
        }
        if (restart && !restartSelf()) {
            c.err << "Tessvane: the watch could not start anew\n";
            return kFailed;
        }
        return status;
    }
};

} // namespace

const Command& commandWatch() {
    static const Watch command;
    return command;
}

} // namespace tv::cli
