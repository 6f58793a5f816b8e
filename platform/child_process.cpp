#include "child_process.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    ordinarySignals(attr, 0);
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
    bool late = false;
    for (char buffer[4096];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            late = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
        if (n > 0 && output && output->size() < kOutputCap)
            output->append(buffer, std::min(static_cast<size_t>(n), kOutputCap - output->size()));
    }
    ::close(pipeFds[0]);
    int status = 0;
    // Output closed: the program ends now (or has handed its output on).
    while (!late && ::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end)
            late = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (late) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool startDetached(const std::vector<std::string>& argv, const std::string& logFile) {
    if (argv.empty()) return false;
    // Everything is made before the fork: the child may only make calls that
    // are safe after one (no allocation while another thread may hold a lock).
    auto args = argvOf(argv);
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
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            ::sigaction(s, &dfl, nullptr);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execvp(args[0], args.data());
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
