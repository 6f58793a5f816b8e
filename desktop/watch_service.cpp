#include "watch_service.h"

#include "desktop/child_process.h"
#include "platform/file_ops.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

namespace tv {

const char* const kWatchUnit = "tessvane-watch.service";

namespace {

constexpr std::chrono::seconds kSystemctlLimit{10};

std::string configHome() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return x;
    const char* home = std::getenv("HOME");
    return joinPath(home && *home ? home : "/", ".config");
}

// The tessvane-cli beside this program, else the one on PATH.
std::string cliProgram() {
    const std::string beside = joinPath(executableFolder(), "tessvane-cli");
    return fileExists(beside) ? beside : "tessvane-cli";
}

bool holdsControl(const std::string& text) {
    for (unsigned char ch : text)
        if (ch < 0x20 || ch == 0x7f) return true;
    return false;
}

// A desktop entry's Exec argument: quoted, with ", `, $ and \ escaped, %
// (a field code) doubled, and the backslashes doubled again as every
// value's are.
std::string execArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char ch : arg) {
        if (ch == '"' || ch == '`' || ch == '$' || ch == '\\') quoted += "\\\\";
        if (ch == '\\') quoted += "\\";
        if (ch == '%') quoted += '%';
        quoted += ch;
    }
    return quoted + "\"";
}

// A systemd unit's ExecStart word: quoted, with " and \ escaped, % (a
// specifier) doubled and $ (a variable) written $$.
std::string unitArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char ch : arg) {
        if (ch == '"' || ch == '\\') quoted += '\\';
        if (ch == '%' || ch == '$') quoted += ch;
        quoted += ch;
    }
    return quoted + "\"";
}

// The unit a user gets when none is installed: known by its first line.
constexpr const char* kOwnUnitMark = "# Written by Tessvane for the tessvane-cli beside it";

std::string ownUnitFile() {
    return joinPath(joinPath(joinPath(configHome(), "systemd"), "user"), kWatchUnit);
}

int systemctl(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::vector<std::string> argv{"systemctl", "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, kSystemctlLimit, output);
}

// Creates the folder and those above it.
bool makeFolders(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!ec) return true;
    if (error) *error = path + " cannot be made: " + ec.message();
    return false;
}

std::string firstLine(const std::string& text) {
    const std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? "systemctl gave no reason" : line;
}

} // namespace

std::vector<std::string> watchEnvironment() {
    std::vector<std::string> out;
    for (const char* name : {"TESSVANE_HOME", "TESSVANE_REGISTRY"})
        if (const char* value = std::getenv(name); value && *value)
            out.push_back(std::string(name) + "=" + value);
    return out;
}

namespace {

// A unit's Environment= assignment: quoted, " and \ escaped, % doubled
// (no $ expansion happens there).
std::string unitEnvironment(const std::vector<std::string>& environment) {
    std::string lines;
    for (const auto& assignment : environment) {
        std::string quoted = "Environment=\"";
        for (char ch : assignment) {
            if (ch == '"' || ch == '\\') quoted += '\\';
            if (ch == '%') quoted += '%';
            quoted += ch;
        }
        lines += quoted + "\"\n";
    }
    return lines;
}

bool anyHoldsControl(const std::vector<std::string>& environment) {
    for (const auto& assignment : environment)
        if (holdsControl(assignment)) return true;
    return false;
}

} // namespace

std::string watchUnitText(const std::string& cli, const std::vector<std::string>& environment) {
    if (holdsControl(cli) || anyHoldsControl(environment)) return {};
    return std::string(kOwnUnitMark) +
           "\n[Unit]\nDescription=Tessvane: move new downloads after each Unreal Tournament "
           "game\n\n[Service]\n" +
           unitEnvironment(environment) + "ExecStart=" + unitArgument(cli) +
           " watch\nRestart=on-failure\nRestartSec=30\n# No game chosen, or another watch at "
           "work: trying again does not help.\nRestartPreventExitStatus=2 3\n\n[Install]\n"
           "WantedBy=default.target\n";
}

std::string watchAutostartText(const std::string& cli,
                               const std::vector<std::string>& environment) {
    if (holdsControl(cli) || anyHoldsControl(environment)) return {};
    std::string exec = environment.empty() ? std::string() : "env ";
    for (const auto& assignment : environment)
        exec += execArgument(assignment) + " ";
    return "[Desktop Entry]\nType=Application\nName=Tessvane Watch\nComment=Moves new downloads "
           "after each Unreal Tournament game\nExec=" +
           exec + execArgument(cli) +
           " watch\nIcon=tessvane\nTerminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled="
           "true\n";
}

std::string watchLockFile(const std::string& programFolder, const std::string& gameFolder) {
    // Keyed by the folder itself: a symlink or another spelling of it is
    // the same game and gets the same lock.
    return joinPath(programFolder,
                    "tessvane-watch-" +
                        std::to_string(std::hash<std::string>{}(folderKey(gameFolder))) + ".lock");
}

WatchLock::WatchLock(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)), m_held(false) {
    // A window that asks whether a watch runs holds the file for a moment:
    // a starting watch gives it that moment.
    for (int i = 0; m_fd >= 0 && i < 15 && !m_held; ++i) {
        m_held = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
        if (!m_held) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!m_held) return;
    // Who holds it, for the window that turns the watch off.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(m_fd, 0) == 0) writeAll(m_fd, pid);
}

WatchLock::~WatchLock() {
    if (m_fd >= 0) ::close(m_fd);
}

pid_t watchHolder(const std::string& lockFile) {
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    pid_t pid = 0;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        char text[32] = {};
        if (readFull(fd, text, sizeof text - 1) > 0) pid = static_cast<pid_t>(std::atol(text));
        pid = pid > 0 ? pid : -1; // held, by an unknown process
    }
    ::close(fd);
    return pid;
}

AfterGameService::AfterGameService(std::string programFolder, std::string gameFolder)
    : m_programFolder(std::move(programFolder)), m_gameFolder(std::move(gameFolder)) {
}

std::string AfterGameService::autostartFile() {
    return joinPath(joinPath(configHome(), "autostart"), "tessvane-watch.desktop");
}

bool AfterGameService::systemdUser() const {
    return systemctl({"show-environment"}) == 0;
}

AfterGameState AfterGameService::state() const {
    AfterGameState s;
    s.systemd = systemdUser();
    s.on = s.systemd ? systemctl({"is-enabled", "--quiet", kWatchUnit}) == 0
                     : fileExists(autostartFile());
    s.running = watchHolder(watchLockFile(m_programFolder, m_gameFolder)) != 0;
    return s;
}

bool AfterGameService::turn(bool on, std::string* error) const {
    return systemdUser() ? turnSystemd(on, error) : turnAutostart(on, error);
}

namespace {

// The machine's unit with this user's environment added (a drop-in beside
// it); none when there is nothing to add.
bool writeEnvironmentDropIn(const std::vector<std::string>& environment, std::string* error) {
    const std::string file = joinPath(ownUnitFile() + ".d", "tessvane-environment.conf");
    bool reload = false;
    if (environment.empty()) {
        reload = fileExists(file) && removeFile(file);
    } else {
        if (anyHoldsControl(environment)) {
            if (error) *error = "the program's folders hold a control character";
            return false;
        }
        const std::string text = "[Service]\n" + unitEnvironment(environment);
        if (readFile(file).value_or("") != text) {
            if (!makeFolders(folderOf(file), error) || !writeFileAtomic(file, text, error))
                return false;
            reload = true;
        }
    }
    if (reload) systemctl({"daemon-reload"});
    return true;
}

} // namespace

bool AfterGameService::turnSystemd(bool on, std::string* error) const {
    std::string output;
    const std::string own = ownUnitFile();
    const bool ours = readFile(own).value_or("").rfind(kOwnUnitMark, 0) == 0;
    if (on && (ours || systemctl({"cat", kWatchUnit}) != 0)) {
        // Not installed for the machine (a program run from its build
        // folder): a unit of this user's own for the tessvane-cli beside it,
        // written anew each time (that folder may have moved).
        const std::string unit = watchUnitText(cliProgram(), watchEnvironment());
        if (unit.empty()) {
            if (error) *error = "the program's path holds a control character: " + cliProgram();
            return false;
        }
        std::string why;
        if (!makeFolders(folderOf(own), &why) || !writeFileAtomic(own, unit, &why)) {
            if (error) *error = why;
            return false;
        }
        systemctl({"daemon-reload"});
    } else if (!writeEnvironmentDropIn(on ? watchEnvironment() : std::vector<std::string>{},
                                       error)) {
        return false;
    }
    if (systemctl({on ? "enable" : "disable", "--now", kWatchUnit}, &output) != 0) {
        if (error) *error = firstLine(output);
        return false;
    }
    if (!on && ours) { // nothing is left behind that outlives its program
        removeFile(own);
        systemctl({"daemon-reload"});
    }
    return true;
}

bool AfterGameService::turnAutostart(bool on, std::string* error) const {
    const std::string file = autostartFile();
    const std::string lock = watchLockFile(m_programFolder, m_gameFolder);
    if (on) {
        const std::string entry = watchAutostartText(cliProgram(), watchEnvironment());
        if (entry.empty()) {
            if (error) *error = "the program's path holds a control character: " + cliProgram();
            return false;
        }
        if (!makeFolders(folderOf(file), error) || !writeFileAtomic(file, entry, error))
            return false;
        if (watchHolder(lock) != 0) return true;
        if (startDetached({cliProgram(), "watch"})) return true;
        if (error) *error = cliProgram() + " could not be started";
        return false;
    }
    if (fileExists(file) && !removeFile(file, error)) return false;
    const pid_t pid = watchHolder(lock);
    if (pid > 0) ::kill(pid, SIGTERM);
    for (int i = 0; i < 250 && watchHolder(lock) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (watchHolder(lock) == 0) return true;
    if (error) *error = "the running watch did not end";
    return false;
}

} // namespace tv
