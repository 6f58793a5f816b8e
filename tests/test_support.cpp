#include "test_support.h"

#include "engine/file_types.h"
#include "engine/package_state.h"
#include "format_writers.h"
#include "formats/registry_store.h"
#include "store/undo_log.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace tvtest {

UtcZone::UtcZone() {
    if (const char* tz = std::getenv("TZ")) {
        m_had = true;
        m_old = tz;
    }
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

UtcZone::~UtcZone() {
    if (m_had)
        ::setenv("TZ", m_old.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

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

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outFile) {
    std::vector<char*> args, vars;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& v : env)
        vars.push_back(const_cast<char*>(v.c_str()));
    vars.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = -1;
    const int r = ::posix_spawn(&pid, args[0], &files, nullptr, args.data(), vars.data());
    posix_spawn_file_actions_destroy(&files);
    if (r != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

int waitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

CliResult runCli(const GameFixture& fx, const std::string& args, const std::string& env,
                 const std::string& prefix) {
    std::string errFile = fx.dir / "stderr.txt";
    CommandResult r = runCommand(prefix + " TESSVANE_HOME=" + shellQuote(fx.program) +
                                 " TESSVANE_REGISTRY=" + shellQuote(fx.registry) + " " + env + " " +
                                 TESSVANE_CLI + " " + args + " 2>" + shellQuote(errFile));
    return {r.status, r.out, readFile(errFile)};
}

namespace {

bool setImmutable(const std::string& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

ReadOnly::ReadOnly(std::string path) : m_path(std::move(path)) {
    if (::geteuid() != 0) {
        if (::chmod(m_path.c_str(), fs::is_directory(m_path) ? 0555 : 0444) == 0) m_how = How::Mode;
    } else if (setImmutable(m_path, true)) {
        m_how = How::Immutable;
    }
}

ReadOnly::~ReadOnly() {
    if (m_how == How::Immutable) setImmutable(m_path, false);
    if (m_how == How::Mode) ::chmod(m_path.c_str(), fs::is_directory(m_path) ? 0755 : 0644);
}

void makeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& members) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) throw std::runtime_error("cannot create " + path);
    for (const auto& [name, data] : members) {
        if (!name.empty() && name.back() == '/') {
            zip_dir_add(z, name.c_str(), 0);
            continue;
        }
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        zip_file_add(z, name.c_str(), src, 0);
    }
    if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path);
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
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
    home = dir / "home";
    fs::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::unsetenv("WINEPREFIX");
    // Nor the machine's own game folders and processes: a game installed
    // under /opt or running while the tests run is not seen.
    machine = dir / "machine";
    proc = dir / "proc";
    fs::create_directories(machine);
    fs::create_directories(proc);
    ::setenv("TESSVANE_SYSTEM_ROOT", machine.c_str(), 1);
    ::setenv("TESSVANE_PROC_ROOT", proc.c_str(), 1);
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

std::string packageBytes(const std::string& name) {
    if (!tv::isPackageType(tv::fileTypeOf(name))) return "package " + name;
    return makePackage(static_cast<uint8_t>(std::hash<std::string>{}(name)), "package " + name);
}

std::string GameFixture::addEntry(int n, const std::string& name) const {
    addCacheFile(ident(n) + ".uxx", packageBytes(name));
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

namespace tvtest {

void addPackages(const GameFixture& fx, const std::vector<Package>& packages) {
    std::vector<std::string> lines;
    for (const auto& p : packages)
        lines.push_back(fx.addEntry(p.id, p.name));
    fx.writeCacheIni(lines);
}

std::vector<std::string> misplacedPackages(const GameFixture& fx,
                                           const std::vector<Package>& packages) {
    std::vector<std::string> problems;
    auto index = tv::readLines(fx.cache + "/Cache.ini");
    if (!index) return {"Cache.ini is missing"};
    std::set<std::string> lines(index->begin(), index->end());
    std::vector<tv::UndoRecord> records;
    std::string error;
    if (!tv::readUndoRecords(fx.program + "/tessvane.mdb", records, &error))
        return {"the undo log cannot be read: " + error};
    std::set<std::pair<std::string, std::string>> recorded;
    for (const auto& r : records)
        recorded.insert({r.OldFName, r.NewFName});
    for (const auto& p : packages) {
        const std::string content = packageBytes(p.name);
        const std::string cacheFile = fx.cache + "/" + ident(p.id) + ".uxx";
        bool inCache = exists(cacheFile);
        bool atDestination = exists(p.destination);
        if (inCache && readFile(cacheFile) != content)
            problems.push_back(p.name + ": cache file changed");
        if (inCache && !lines.count(ident(p.id) + "=" + p.name))
            problems.push_back(p.name + ": in the cache without its Cache.ini line");
        if (atDestination && readFile(p.destination) != content)
            problems.push_back(p.name + ": not whole at its destination");
        if (atDestination && !recorded.count({cacheFile, p.destination}))
            problems.push_back(p.name + ": at its destination without an undo record");
        if (!inCache && !atDestination) problems.push_back(p.name + ": lost");
    }
    return problems;
}

std::map<std::string, std::string> snapshotTree(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root, ec).string();
        auto st = it->symlink_status(ec);
        std::string mode = std::to_string(static_cast<unsigned>(st.permissions()));
        if (fs::is_symlink(st))
            out[rel] = "link " + fs::read_symlink(it->path(), ec).string();
        else if (fs::is_directory(st))
            out[rel] = "folder " + mode;
        else
            out[rel] = "file " + mode + " " + readFile(it->path().string());
    }
    return out;
}

std::vector<std::string> leftoverFiles(const std::string& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        bool halfArchive = name.rfind("tessvanebak.zip.", 0) == 0;
        if (name.find(".tvtmp-") != std::string::npos || halfArchive)
            found.push_back(it->path().string());
    }
    return found;
}

} // namespace tvtest
