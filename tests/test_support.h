#pragma once

#include "games/game_install.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include <sys/types.h>
#include <vector>

namespace tvtest {

// Any list of lines (the Status list) as a vector, to compare with one.
template <class Lines> std::vector<std::string> asVector(const Lines& lines) {
    return {lines.begin(), lines.end()};
}

// The registry keys of the game and of Tessvane's own settings.
inline const std::string kSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
inline const std::string kGameKey =
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003";

// The process's time zone is UTC while this lives, so dates are the same
// on every machine.
class UtcZone {
public:
    UtcZone();
    ~UtcZone();
    UtcZone(const UtcZone&) = delete;
    UtcZone& operator=(const UtcZone&) = delete;

private:
    std::string m_old;
    bool m_had = false;
};

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void setModified(const std::string& path, int64_t secondsSinceEpoch);

// Runs a shell command; its exit status and standard output.
struct CommandResult {
    int status = -1;
    std::string out;
};
CommandResult runCommand(const std::string& command);

// Starts a program (argv[0] a path) with exactly this environment, its
// standard output and error into `outFile`; its process id (throws when it
// cannot be started).
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outFile);
// Its exit status once it has ended (128 + signal when killed); -1 when it
// did not end within `limit` (it is then killed).
int waitExit(pid_t pid, std::chrono::milliseconds limit);
// Quotes a text for the shell.
std::string shellQuote(const std::string& s);

// tessvane-cli on a fixture: exit status, standard output and standard error.
struct GameFixture;
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
// `env` is put before the command (e.g. "TESSVANE_CRASH_AFTER=3"), `prefix`
// before that (e.g. "ulimit -f 4;").
CliResult runCli(const GameFixture& fx, const std::string& args, const std::string& env = "",
                 const std::string& prefix = "");

// Makes a file or folder unwritable for this process, also as root (the
// immutable attribute), and gives the permission back when it goes. skipped()
// is true when neither works here.
class ReadOnly {
public:
    explicit ReadOnly(std::string path);
    ~ReadOnly();
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;
    bool skipped() const { return m_how == How::None; }

private:
    enum class How { None, Mode, Immutable };
    std::string m_path;
    How m_how = How::None;
};

// A ZIP archive with these members (name, bytes); a name ending in "/" is a
// folder entry. Throws when it cannot be written.
void makeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& members);

// The lines, each followed by CR LF, as the program writes text files.
std::string crlf(const std::vector<std::string>& lines);

// A 32-character cache identifier made from a number.
std::string ident(int n);

// The bytes of a cached package of this name: "package " + name, behind a
// package header when the name's type is a package (a map, textures, code,
// ...), so that it is no damaged package.
std::string packageBytes(const std::string& name);

// A program folder with its shipped files, a game folder with its System,
// type and Cache folders, and a registry file naming the game folder.
struct GameFixture {
    TempDir dir;
    std::string program;  // program folder
    std::string game;     // game folder
    std::string cache;    // game/Cache
    std::string registry; // registry file
    // An empty home folder: HOME and the XDG folders point into it, so the
    // installs of the machine the tests run on are never found.
    std::string home;
    // The machine's folders (/opt, /usr/games, ...) and its processes as
    // discovery and the game-running check see them: empty until a test
    // puts something there.
    std::string machine;
    std::string proc;
    GameFixture();
    // Cache.ini made of "[Cache]" and these lines (CR LF).
    void writeCacheIni(const std::vector<std::string>& lines) const;
    // A cache file with a little content.
    void addCacheFile(const std::string& fileName, const std::string& content = "data") const;
    // Entry line and file: id + "=" + name, file id.uxx.
    std::string addEntry(int n, const std::string& name) const;
    void writeNeverMove(const std::vector<std::string>& entries) const;
    // Points TESSVANE_HOME and TESSVANE_REGISTRY at this fixture.
    void useEnvironment() const;
};

// A package of a fixture's cache: its cache file is ident(id).uxx holding
// packageBytes(name), and a run puts it at `destination`.
struct Package {
    int id;
    std::string name;
    std::string destination;
};
// Adds the packages' files and writes Cache.ini with their lines.
void addPackages(const GameFixture& fx, const std::vector<Package>& packages);
// What is wrong with where the packages are: each must be in the cache with
// its Cache.ini line, or at its destination, whole, with its undo record
// (both at once after a copy that was killed before the cache file went).
// Empty when all is well.
std::vector<std::string> misplacedPackages(const GameFixture& fx,
                                           const std::vector<Package>& packages);
// Every entry below `root` (its path relative to `root`) with what it holds:
// a file's bytes and permission bits, a folder's mark, a link's target. Two
// snapshots are equal when nothing below `root` was written, added or removed.
std::map<std::string, std::string> snapshotTree(const std::string& root);

// Files below `root` that a killed program left under a temporary name.
std::vector<std::string> leftoverFiles(const std::string& root);

// An install by hand whose game and player folder are both `folder`.
inline tv::GameInstall installAt(const std::string& folder) {
    tv::GameInstall in;
    in.gameFolder = in.userFolder = folder;
    return in;
}

} // namespace tvtest
