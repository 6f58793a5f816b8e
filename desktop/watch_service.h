#pragma once
// The watch that moves new downloads after each game: its lock, and its
// start with the desktop (a systemd user unit, else an XDG autostart entry).

#include <sys/types.h>

#include <string>
#include <vector>

namespace tv {

// The watch's lock file for a game folder, in the program folder.
std::string watchLockFile(const std::string& programFolder, const std::string& gameFolder);

// Held by a running watch for one game folder while it lives, with its
// process id in the file; held() is false when another watch has it.
class WatchLock {
public:
    explicit WatchLock(const std::string& path);
    ~WatchLock();
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;
    bool held() const { return m_held; }

private:
    int m_fd;
    bool m_held;
};

// The process of the watch that holds this lock; 0 when none does.
pid_t watchHolder(const std::string& lockFile);

// The user unit and the autostart entry that start this tessvane-cli;
// empty when its path holds a control character (it cannot be written
// safely into either).
// `environment` ("NAME=value" each) goes with it: the program and settings
// folders the window itself was started with (watchEnvironment()).
std::string watchUnitText(const std::string& cli, const std::vector<std::string>& environment = {});
std::string watchAutostartText(const std::string& cli,
                               const std::vector<std::string>& environment = {});
// TESSVANE_HOME and TESSVANE_REGISTRY as this process has them, when set:
// the next login's watch then looks after the same game and settings.
std::vector<std::string> watchEnvironment();

// "tessvane-watch.service"
extern const char* const kWatchUnit;

struct AfterGameState {
    bool systemd = false; // a systemd user manager starts it, else the autostart entry
    bool on = false;      // started with the desktop
    bool running = false; // a watch looks after the game now
};

// Turns the watch's start with the desktop on and off, for the tessvane-cli
// that lives beside this program.
class AfterGameService {
public:
    AfterGameService(std::string programFolder, std::string gameFolder);
    AfterGameState state() const;
    // Started with the desktop and now (on), or neither (off); false with
    // `error` when it could not be done.
    bool turn(bool on, std::string* error) const;

    // The autostart entry of this user.
    static std::string autostartFile();

private:
    std::string m_programFolder, m_gameFolder;
    bool systemdUser() const;
    bool turnSystemd(bool on, std::string* error) const;
    bool turnAutostart(bool on, std::string* error) const;
};

} // namespace tv
