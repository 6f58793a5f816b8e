#include "game_process.h"

#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

namespace {

// At most this much of a process's command line is read: the program is first.
constexpr size_t kArgBytes = 4096;

std::string readSmall(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string out(kArgBytes, '\0');
    const ssize_t n = ::read(fd, out.data(), out.size());
    ::close(fd);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// The last name of a path written with either separator.
std::string_view baseName(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// ut2004-bin-linux-amd64 and the like; UT2004.exe (also a native binary
// renamed so, as Steam users do); the community release's UT2004 and
// UT2004-powerpc64le (cut by comm to "UT2004-powerpc6").
bool isGameProgram(std::string_view name, Game game) {
    const std::string g = toLower(gameName(game));
    const std::string n = toLower(baseName(name));
    return n == g || n == g + ".exe" || n.rfind(g + "-bin", 0) == 0 ||
           n.rfind(g + "-powerpc", 0) == 0;
}

// Argument `index` of a NUL-separated command line; empty past its end.
std::string_view argument(std::string_view cmdline, int index) {
    size_t at = 0;
    for (; index > 0 && at < cmdline.size(); --index)
        at = std::min(cmdline.find('\0', at), cmdline.size()) + 1;
    if (at >= cmdline.size()) return {};
    const std::string_view rest = cmdline.substr(at);
    return rest.substr(0, std::min(rest.find('\0'), rest.size()));
}

// wine, wine64, wine-preloader, wine64-preloader.
bool isWineLoader(std::string_view argv0) {
    return toLower(baseName(argv0)).rfind("wine", 0) == 0;
}

// Whether the process in `dir` runs the game's program.
bool runsGame(const std::string& dir, Game game) {
    // comm holds at most 15 characters: "ut2004-bin-linu" still starts right.
    std::string comm = readSmall(joinPath(dir, "comm"));
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (isGameProgram(comm, game)) return true;
    // The executable only: a file of that name opened in an editor or a
    // pager, or handed to a shell, is no game. wine-preloader rewrites
    // argv[0] to the Windows program's path; started as `wine UT2004.exe`
    // (wine64, Proton's wine) the loader is argv[0] and the program argv[1].
    const std::string cmdline = readSmall(joinPath(dir, "cmdline"));
    const std::string_view argv0 = argument(cmdline, 0);
    return isGameProgram(argv0, game) ||
           (isWineLoader(argv0) && isGameProgram(argument(cmdline, 1), game));
}

// A process that has ended but was not yet waited for (a zombie, say of a
// game whose launcher hangs) runs nothing: it writes no file any more.
bool hasEnded(const std::string& dir) {
    const std::string stat = readSmall(joinPath(dir, "stat"));
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    return stat[close + 2] == 'Z' || stat[close + 2] == 'X';
}

// Calls `each` with the pid and folder of every process under `procRoot`
// that runs the game, until it returns true; that process's pid.
std::optional<int> anyGameProcess(Game game, const std::string& procRoot,
                                  const std::function<bool(const std::string& dir)>& each) {
    std::optional<int> found;
    listFolder(procRoot, [&](std::string_view entry) {
        if (found || entry.empty() || entry.size() > 9 ||
            entry.find_first_not_of("0123456789") != std::string::npos)
            return;
        const std::string dir = joinPath(procRoot, entry);
        if (runsGame(dir, game) && !hasEnded(dir) && each(dir))
            found = std::stoi(std::string(entry));
    });
    return found;
}

std::string linkTarget(const std::string& link) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {};
    target.resize(static_cast<size_t>(n));
    return target;
}

// The link is there but leads nowhere: /proc shows that of a process
// that is ending.
bool linkGone(const std::string& link) {
    struct stat st {};
    char target[8];
    return ::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
           ::readlink(link.c_str(), target, sizeof target) < 0 && errno == ENOENT;
}

} // namespace

bool gameIsRunning(Game game, const std::string& procRoot) {
    return anyGameProcess(game, procRoot, [](const std::string&) { return true; }).has_value();
}

std::optional<GameProcess> installGameProcess(const GameInstall& install, const std::string& home,
                                              const std::string& procRoot) {
    const std::string gameFolder = folderKey(install.gameFolder);
    const std::string userFolder = folderKey(install.userFolder);
    std::string program;
    const auto pid = anyGameProcess(install.game, procRoot, [&](const std::string& dir) {
        // A native binary: <game>/System/<binary> (or SystemARM64/...), its
        // player folder ~/.utXXXX.
        const std::string exe = linkTarget(joinPath(dir, "exe"));
        program = exe;
        if (!exe.empty() && isGameProgram(exe, install.game)) {
            const std::string folder = folderKey(folderOf(folderOf(exe)));
            return folder == gameFolder ||
                   userFolder == folderKey(nativeUserFolder(install.game, home));
        }
        // A Windows program: started in its System folder.
        const std::string cmdline = readSmall(joinPath(dir, "cmdline"));
        const std::string_view argv0 = argument(cmdline, 0);
        const std::string_view argv1 = argument(cmdline, 1);
        program = isGameProgram(argv0, install.game) || !isWineLoader(argv0) ? std::string(argv0)
                                                                             : std::string(argv1);
        if (program.empty()) program = readSmall(joinPath(dir, "comm"));
        while (!program.empty() && program.back() == '\n')
            program.pop_back();
        const std::string cwd = linkTarget(joinPath(dir, "cwd"));
        if (!cwd.empty() && equalsNoCase(fileNameOf(cwd), "System")) {
            const std::string folder = folderKey(folderOf(cwd));
            return folder == gameFolder || folder == userFolder;
        }
        // A process that is ending has let go of its program first: it is
        // no game any more. One whose links may not be read (another
        // user's) cannot be told: every install of the game waits.
        return !linkGone(joinPath(dir, "exe"));
    });
    if (!pid) return std::nullopt;
    return GameProcess{*pid, program};
}

bool installIsInUse(const GameInstall& install, const std::string& home,
                    const std::string& procRoot) {
    return installGameProcess(install, home, procRoot).has_value();
}

std::string gameRunningText(Game game) {
    return std::string(gameName(game)) + " is running. Close the game first, then try again.";
}

std::string gameRunningText(Game game, const GameProcess& seen, const std::string& home) {
    const std::string program = withHomeAsTilde(seen.program, home);
    std::string text = std::string(gameName(game)) + " is running (pid " + std::to_string(seen.pid);
    if (!program.empty()) text += ", " + escapeControls(program);
    return text + "). Close the game first, then try again.";
}

} // namespace tv
