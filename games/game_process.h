#pragma once

#include "game_install.h"

#include <optional>
#include <string>

namespace tv {

// The game is running: its native binary (ut2004-bin, ut2004-bin-linux-amd64,
// ..., the community release's UT2004 and UT2004-powerpc64le) or its Windows program (UT2004.exe)
// under Wine or Proton, found among the processes under `procRoot` (normally /proc) by each
// process's executable: its comm, its argv[0], or argv[1] when argv[0] is a Wine loader (wine,
// wine64, wine-preloader, ...). A process with the game's name as any other argument (an editor, a
// pager, a shell) is not the game. Processes that cannot be read are passed over.
bool gameIsRunning(Game game, const std::string& procRoot = "/proc");

// The game of `install` is running and may be writing its files: a process
// of its game (as above) that cannot be told to belong to another install.
// A process is told by its folder: a native binary's (its exe link) or a
// Windows program's working folder when that is a System folder (Wine and
// Proton start the game there). It belongs to `install` when its game folder
// is the install's, or its player folder is (every native install of a game
// shares ~/.ut2003 or ~/.ut2004); one whose folder cannot be told blocks
// every install of its game.
bool installIsInUse(const GameInstall& install, const std::string& home,
                    const std::string& procRoot = "/proc");

// A process seen running the game: its pid and the program it runs (the
// executable's path where it can be read, else its command's first word).
struct GameProcess {
    int pid = 0;
    std::string program;
};
// The process that makes installIsInUse true, when there is one.
std::optional<GameProcess> installGameProcess(const GameInstall& install, const std::string& home,
                                              const std::string& procRoot = "/proc");

// "UT2003 is running. Close the game first, then try again."
std::string gameRunningText(Game game);
// "UT2004 is running (pid 4242, ~/.local/share/OldUnreal/UT2004/System/UT2004).
// Close the game first, then try again." (the home folder written "~").
std::string gameRunningText(Game game, const GameProcess& seen, const std::string& home);

} // namespace tv
