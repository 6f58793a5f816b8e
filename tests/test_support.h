#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvtest {

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
// Quotes a text for the shell.
std::string shellQuote(const std::string& s);

// A 32-character cache identifier made from a number.
std::string ident(int n);

// A program folder with its shipped files, a game folder with its System,
// type and Cache folders, and a registry file naming the game folder.
struct GameFixture {
    TempDir dir;
    std::string program;  // program folder
    std::string game;     // game folder
    std::string cache;    // game/Cache
    std::string registry; // registry file
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

} // namespace tvtest
