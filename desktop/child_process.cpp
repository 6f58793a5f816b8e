#include "child_process.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <thread>

extern char** environ;

namespace tv {

namespace {

constexpr size_t kOutputCap = 64 * 1024;

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// The child starts with no signal held back or ignored, whatever the caller
// does with them.
void ordinarySignals(posix_spawnattr_t& attr, short moreFlags) {
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | moreFlags);
}

} // namespace

int runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
               std::string* output) {
    if (argv.empty()) return -1;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own: what it starts in turn ends with it when time is up.
    posix_spawnattr_setpgroup(&attr, 0);
    ordinarySignals(attr, POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    auto args = argvOf(argv);
    const int r = ::posix_spawnp(&pid, args[0], &files, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    ::close(pipeFds[1]);
    if (r != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    // Read until the program closes its output or the time is up.
    const auto end = std::chrono::steady_clock::now() + limit;
    auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   end - std::chrono::steady_clock::now())
            .count();
    };
    int status = 0;
    bool ended = false;
    for (char buffer[4096]; left() > 0;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long long>(left(), 50))) > 0) {
            const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
            if (n > 0 && output && output->size() < kOutputCap)
                output->append(buffer,
                               std::min(static_cast<size_t>(n), kOutputCap - output->size()));
            if (n != 0) continue;
        }
        // Closed, or quiet: has it ended? (What it started may hold the
        // output open after it has.)
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(pipeFds[0]);
    if (!ended) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// The program's path as execvp would find it, worked out before a fork
// (after it only calls that are safe there may be made).
std::string programPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string_view rest = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const size_t colon = std::min(rest.find(':'), rest.size());
        const std::string folder(rest.substr(0, colon));
        rest.remove_prefix(std::min(colon + 1, rest.size()));
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

} // namespace

bool startDetached(const std::vector<std::string>& argv, const std::string& logFile) {
    if (argv.empty()) return false;
    // Everything is made before the fork: the child may only make calls that
    // are safe after one (no allocation while another thread may hold a lock).
    auto args = argvOf(argv);
    const std::string program = programPath(argv[0]);
    const char* log = logFile.empty() ? "/dev/null" : logFile.c_str();
    sigset_t none;
    sigemptyset(&none);
    // The program's start is heard through a pipe that its exec closes: an
    // error number comes through only when it could not be started.
    int started[2];
    if (::pipe2(started, O_CLOEXEC) != 0) return false;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(started[0]);
        ::close(started[1]);
        return false;
    }
    if (middle == 0) {
        // A child of a child in a session of its own: nobody's to wait for.
        ::setsid();
        const pid_t pid = ::fork();
        if (pid != 0) ::_exit(pid > 0 ? 0 : 1);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0644);
        if (in < 0 || out < 0) {
            const int error = errno;
            (void)!::write(started[1], &error, sizeof error);
            ::_exit(127);
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        // Nothing else of this program stays open in that one, but the pipe
        // that tells of its start (closed by the exec).
        if (started[1] > 3) ::close_range(3, static_cast<unsigned>(started[1]) - 1, 0);
        ::close_range(static_cast<unsigned>(started[1]) + 1, ~0U, 0);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            ::sigaction(s, &dfl, nullptr);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(program.c_str(), args.data(), environ);
        const int error = errno;
        (void)!::write(started[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(started[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(started[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(started[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

} // namespace tv
