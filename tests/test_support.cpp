#include "test_support.h"

#include "store/undo_log.h"
#include "platform/registry_store.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace tvtest {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tessvane-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may take write permission away; give it back before removing.
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string& path) {
    return fs::exists(path);
}

void setModified(const std::string& path, int64_t t) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(t);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

CommandResult runCommand(const std::string& command) {
    CommandResult r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ident(int n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%032X", n);
    return buf;
}

GameFixture::GameFixture() {
    program = dir / "program";
    game = dir / "UT2003";
    cache = game + "/Cache";
    registry = dir / "registry.reg";
    for (const char* sub :
         {"System", "Maps", "Textures", "Sounds", "Music", "StaticMeshes", "Animations", "Cache"})
        fs::create_directories(game + "/" + sub);
    fs::create_directories(program);
    writeFile(program + "/Tessvane.ini",
              "[Dirs]\r\nCachePath=/Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
              "Sounds=Sounds\r\nMusic=Music\r\nStaticMeshes=StaticMeshes\r\n"
              "Animations=Animations\r\n");
    writeFile(program + "/TessvaneDontMove.ini", "");
    writeFile(program + "/search.gif", "GIF89a");
    tv::createUndoDatabase(program + "/tessvane.mdb");
    writeFile(game + "/System/UT2003.ini", "[Core.System]\r\nPurgeCacheDays=90\r\n");
    writeFile(game + "/System/User.ini", "[DefaultPlayer]\r\nName=Tester\r\n");
    tv::RegistryStore store(registry);
    store.setValue("HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003",
                   "Folder", tv::RegValue::text(game));
}

void GameFixture::writeCacheIni(const std::vector<std::string>& lines) const {
    std::string text = "[Cache]\r\n";
    for (const auto& l : lines)
        text += l + "\r\n";
    writeFile(cache + "/Cache.ini", text);
}

void GameFixture::addCacheFile(const std::string& fileName, const std::string& content) const {
    writeFile(cache + "/" + fileName, content);
}

std::string GameFixture::addEntry(int n, const std::string& name) const {
    addCacheFile(ident(n) + ".uxx", "package " + name);
    return ident(n) + "=" + name;
}

void GameFixture::writeNeverMove(const std::vector<std::string>& entries) const {
    std::string text;
    for (const auto& e : entries)
        text += e + "\r\n";
    writeFile(program + "/TessvaneDontMove.ini", text);
}

void GameFixture::useEnvironment() const {
    ::setenv("TESSVANE_HOME", program.c_str(), 1);
    ::setenv("TESSVANE_REGISTRY", registry.c_str(), 1);
}

} // namespace tvtest

#include "platform/text_io.h"
#include "run_support.h"

namespace tvtest {

std::vector<std::string> SessionFixture::logLines() const {
    return tv::readLines(fx.program + "/Tessvane.log").value_or(std::vector<std::string>{});
}

} // namespace tvtest
