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
    "  watch [--game N|DIR] [--once]\n"
    "      waits for the game to end, then moves the cache entries that came during\n"
    "      the game as Run would (new packages move; identical ones, other versions,\n"
    "      damaged ones and the never-move list stay) and says so on the desktop;\n"
    "      --once: after one game it ends. One watch per game\n";

using Clock = std::chrono::steady_clock;

// One watch over one game: sleeps until the cache or the configuration
// changes (or, while a folder cannot be watched, a while), then looks at the
// processes at most once an interval; a game that has ended has its
// downloads moved.
class Watcher {
public:
    Watcher(Context& c, bool once) : m_c(c), m_once(once) {}

    int loop() {
        rewatch();
        m_before = cacheNames(m_c.session.folders());
        m_inGame = m_c.session.gameInUse();
        // Said once the cache is known: what comes after this is new.
        say("Watching " + m_c.session.install().gameFolder + " for the end of a game");
        if (m_inGame) say("A game is on; what it downloads moves when it ends");
        if (!m_notices.connected()) say("No desktop notices: " + m_notices.error());
        for (;;) {
            // Wanted: a game to see end, a move to try again, a folder that
            // is not watched; --once looks for its one game, downloads or not.
            m_lookWanted = m_lookWanted || m_inGame || m_pending || m_once || !m_allWatched;
            const bool changed = wait();
            if (m_stop.asked() || m_restart) return m_stop.asked() ? kDone : m_status;
            for (const auto& [id, key] : m_notices.takeActions())
                chosen(id, key);
            for (uint32_t id : m_notices.takeClosed())
                m_shown.erase(id);
            if (changed) {
                const FolderWatch::Changes what = m_files.drain();
                if (what.files && configChanged()) reload();
                if (what.folderGone || !m_allWatched) rewatch();
                m_lookWanted = m_lookWanted || what.files;
            }
            if (m_lookWanted && Clock::now() >= m_nextLook && look() && m_once) return m_status;
        }
    }

    bool restartWanted() const { return m_restart; }

private:
    Context& m_c;
    const bool m_once;
    StopSignals m_stop;
    FolderWatch m_files;
    DesktopNotices m_notices;
    Names m_before;            // the cache's names before this game
    bool m_inGame = false;     // a game was running at the last look
    bool m_pending = false;    // a game ended whose downloads could not be moved yet
    bool m_lookWanted = false; // the processes are to be looked at
    bool m_allWatched = false; // every folder is watched
    Clock::time_point m_nextLook{};
    std::string m_configSeen;                             // what the configuration held then
    std::string m_lastTrouble;                            // said once, not at every try
    std::map<uint32_t, std::vector<std::string>> m_shown; // notice: files it moved
    int m_status = kDone;
    bool m_restart = false;

    void say(const std::string& line) { m_c.out << escapeControls(line) << '\n' << std::flush; }
    // A trouble that may come back at every try is said when it changes.
    void sayTrouble(const std::string& line) {
        if (line != m_lastTrouble) say(line);
        m_lastTrouble = line;
    }

    // Waits for a change in the watched folders, a notice's action, a stop,
    // or the next look; true for a change.
    bool wait() {
        reapChildren();
        // What the bus read while waiting for an answer is not on its socket
        // any more: it is handled before sleeping.
        if (m_notices.hasWaiting()) return false;
        std::vector<pollfd> fds;
        if (m_files.usable()) fds.push_back({m_files.fd(), POLLIN, 0});
        if (m_notices.connected())
            fds.push_back({m_notices.fd(), static_cast<short>(m_notices.events()), 0});
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

    // Looks at the processes; true when a game has ended and been handled.
    bool look() {
        m_nextLook = Clock::now() + watchInterval();
        m_lookWanted = false;
        // The names first: a download that comes while the processes are
        // looked at is then not taken for one of before the game.
        Names now = cacheNames(m_c.session.folders());
        const bool running = m_c.session.gameInUse();
        if (running && !m_inGame) say("The game started");
        if (running) {
            m_inGame = true;
            return false;
        }
        if (m_inGame || m_pending) {
            m_inGame = false;
            m_pending = !afterGame();
            if (m_pending || m_inGame) return false; // tried again at the next look
            m_before = cacheNames(m_c.session.folders());
            return true;
        }
        // Entries that came while no game ran are not the game's.
        m_before = std::move(now);
        return false;
    }

    // The cache folder (and the one above it, where a cache folder not made
    // yet appears), the live game configuration's folder and the folder of
    // the settings are watched.
    void rewatch() {
        const RegistryStore store;
        const std::string cache = m_c.session.folders().cacheFolder;
        const std::vector<std::string> folders{cache, folderOf(cache),
                                               folderOf(m_c.session.install().gameIni),
                                               folderOf(store.filePath())};
        std::string error;
        const bool all = m_files.watchOnly(folders, &error);
        if (!all && m_allWatched != all)
            say("Not all watched, looked at every " +
                std::to_string(watchInterval().count() / 1000.0).substr(0, 3) +
                " s instead: " + error);
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
    // cache folder, the types to move, the destination).
    void reload() {
        const std::string game = m_c.session.install().gameFolder;
        if (!m_c.start()) {
            say("The settings could not be read again; the watch goes on with those it had");
            return;
        }
        m_c.workOutFolders();
        rewatch();
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
                sayTrouble("Tessvane: " + lock->error());
                m_status = kFailed;
                return false;
            }
            if (!said) say("Another Tessvane is at work on this game; the watch waits for it");
            said = true;
            if (m_stop.asked()) return false;
        }
        return true;
    }

    // Moves what came during the game; false when that could not be tried
    // (tried again later with the same names of before the game).
    bool afterGame() {
        std::optional<OperationLock> lock;
        if (!takeLock(lock)) return false;
        if (m_c.session.gameInUse()) { // started again meanwhile
            m_inGame = true;
            return true;
        }
        if (!m_c.session.ScanCache()) {
            sayTrouble("The cache could not be read; the watch tries again");
            m_status = kNotDone;
            return false;
        }
        m_lastTrouble.clear();
        m_c.session.fillStates();
        size_t ticked = 0;
        for (size_t i = 0; i < m_c.session.fileList().size(); ++i) {
            FileRow& r = m_c.session.fileList().row(i);
            r.ticked = r.ticked && !m_before.count(r.text);
            ticked += r.ticked ? 1 : 0;
        }
        if (ticked == 0) {
            say("The game ended; nothing new to move");
            return true;
        }
        const bool ran = m_c.session.runCommand();
        m_c.printStatus();
        m_status = m_c.session.lastFailed() ? kFailed : ran ? kDone : kNotDone;
        tellMoved(m_c.session.lastRun());
        return true;
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
        // Its Undo is taken: the notice goes (a new one offers it again when needed).
        m_notices.close(id);
        // Kept for another try while the game runs again or the undo fails.
        if (m_c.session.gameInUse()) {
            offerAgain(it, "The game is running; choose Undo again once it has ended");
            return;
        }
        std::optional<OperationLock> lock;
        if (!takeLock(lock)) return;
        const bool undone = m_c.session.undoSelections(it->second);
        m_c.printStatus();
        if (undone && !m_c.session.lastFailed()) {
            m_shown.erase(it);
            notice("The files from the last game went back into the cache");
        } else {
            offerAgain(it, "Not all the files from the last game could go back; see the Undo tab");
        }
    }

    // A notice that offers the same Undo once more.
    void offerAgain(std::map<uint32_t, std::vector<std::string>>::iterator it,
                    const std::string& text) {
        say(text);
        if (!m_notices.connected()) return;
        std::vector<std::string> files = std::move(it->second);
        m_shown.erase(it);
        const uint32_t id = m_notices.show(text, "", {{"undo", "Undo"}});
        if (id == 0)
            say("No desktop notice: " + m_notices.error());
        else
            m_shown[id] = std::move(files);
    }

    void notice(const std::string& text) {
        say(text);
        if (m_notices.connected() && m_notices.show(text, "") == 0)
            say("No desktop notice: " + m_notices.error());
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
