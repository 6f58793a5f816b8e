#include "umod_installer.h"

#include "file_placement.h"

#include "engine/cache_run.h"
#include "engine/run_log.h"
#include "formats/ini.h"
#include "formats/uz2.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace tv {

namespace {

// The manifest is small; a bigger one is no manifest.
constexpr size_t kMaxManifestBytes = 1 << 20;

std::vector<std::string> pathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path + "\\") {
        if (c == '\\' || c == '/') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

std::optional<std::vector<std::string>> manifestLines(const UmodPackage& p, const char* name) {
    for (const auto& f : p.directory.files) {
        if (!equalsNoCase(pathParts(f.path).back(), name)) continue;
        auto bytes = readUmodFile(p.path, f, kMaxManifestBytes, nullptr);
        if (bytes) return splitLines(*bytes);
    }
    return std::nullopt;
}

void readManifest(UmodPackage& p) {
    const auto ini = manifestLines(p, "Manifest.ini").value_or(std::vector<std::string>{});
    const auto text = manifestLines(p, "Manifest.int").value_or(std::vector<std::string>{});
    p.product = iniValue(text, "Setup", "LocalProduct", iniValue(ini, "Setup", "Product", ""));
    p.version = iniValue(ini, "Setup", "Version", "");
    p.description =
        iniValue(text, "Setup", "Description", iniValue(ini, "Setup", "Description", ""));
    std::string section;
    for (const auto& raw : ini) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            section = line;
            // "[UT2004Requirement]": what the add-on needs, no instruction.
            if (endsWithNoCase(section, "Requirement]")) p.requirements.emplace_back();
            continue;
        }
        const std::string key = trim(line.substr(0, line.find('=')));
        if (endsWithNoCase(section, "Requirement]")) {
            const std::string value = line.find('=') == std::string::npos
                                          ? std::string()
                                          : trim(line.substr(line.find('=') + 1));
            std::string& need = p.requirements.back();
            need += (need.empty() ? "" : ", ") +
                    (equalsNoCase(key, "Product") ? value : key + " " + value);
            continue;
        }
        if (equalsNoCase(section, "[Setup]") || equalsNoCase(key, "File") ||
            equalsNoCase(key, "Copy"))
            continue;
        p.notCarriedOut.push_back(section + " " + line);
    }
    std::erase_if(p.requirements, [](const std::string& r) { return r.empty(); });
}

} // namespace

bool isManifest(const std::string& path) {
    const auto parts = pathParts(path);
    const std::string& name = parts.back();
    return equalsNoCase(name, "Manifest.ini") || equalsNoCase(name, "Manifest.int");
}

namespace {

// Each map the installer holds, read in place: fn(name, read, size) until it
// says it has what it wants (true).
template <class Fn> void forEachMap(const UmodPackage& p, Fn fn) {
    const int fd = ::open(p.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    for (const auto& f : p.directory.files) {
        const auto parts = pathParts(f.path); // "Maps\\DM-Foo.ut2"
        if (parts.empty() || fileTypeOf(parts.back()) != FileType::Map) continue;
        const ReadAt read = [fd, &f](uint64_t offset, char* buf, size_t size) -> ssize_t {
            if (offset >= f.size) return 0;
            const auto want = static_cast<size_t>(std::min<uint64_t>(size, f.size - offset));
            return ::pread(fd, buf, want, static_cast<off_t>(f.offset + offset));
        };
        if (fn(parts.back(), read, uint64_t{f.size})) break;
    }
    ::close(fd);
}

// The tables of each map the installer holds.
void readMaps(UmodPackage& p) {
    forEachMap(p, [&p](const std::string& name, const ReadAt& read, uint64_t size) {
        p.maps.push_back({name, readPackageImports(read, size), mapSong(read, size)});
        return false;
    });
}

} // namespace

std::optional<UmodPackage> loadUmod(const std::string& path, std::string* error) {
    auto directory = readUmod(path, error);
    if (!directory) return std::nullopt;
    UmodPackage p;
    p.path = path;
    p.directory = std::move(*directory);
    readManifest(p);
    readMaps(p);
    return p;
}

MapRead readUmodMap(const UmodPackage& package, const MapReadOptions& options) {
    MapRead out;
    forEachMap(package, [&](const std::string&, const ReadAt& read, uint64_t size) {
        out = readMap(read, size, options);
        return out.picture.kind == MapPicture::Kind::Picture;
    });
    return out;
}

std::string umodTarget(const std::string& userFolder, const std::string& umodPath) {
    if (umodPath.empty() || isManifest(umodPath)) return {};
    // A line break or other control character could forge a line of the log
    // or the Status list, as in a ZIP member's name.
    for (char c : umodPath)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
    const auto parts = pathParts(umodPath);
    std::string at = userFolder;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        if (i + 1 == parts.size()) {
            if (auto package = uz2PackageName(name); !package.empty()) name = package;
        }
        // "C:" or "", ".", "..": no name of a folder below the player's.
        if (!isPlainFileName(name) || name.find(':') != std::string::npos) return {};
        // A type folder the player's folder does not have yet is made as the
        // game spells it, whatever the installer's letter case.
        if (i == 0 && i + 1 < parts.size())
            if (auto canonical = canonicalTypeFolder(name); !canonical.empty()) name = canonical;
        // Folders are looked up in any letter case; the file's own name is
        // left to the placement, which reads each folder once (looking it
        // up here read the whole folder for every file).
        at = i + 1 < parts.size() ? findInFolder(at, name) : joinPath(at, name);
    }
    return at;
}

namespace {

bool isCompressed(const UmodFile& f) {
    return !uz2PackageName(fileNameOf(f.path)).empty();
}

// A compressed file of an installer, as the package it holds.
class CompressedMember : public ByteSource {
public:
    CompressedMember(const std::string& umod, const UmodFile& f)
        : m_raw(umod, f.offset, f.size), m_package(m_raw) {}
    ssize_t read(char* buf, size_t size) override {
        const ssize_t n = m_package.read(buf, size);
        return n < 0 ? fail(m_package.error()) : n;
    }

private:
    FileBytes m_raw;
    Uz2Package m_package;
};

// A file's bytes as the game gets them (a .uz2 file unpacked as it is read).
OpenBytes memberBytes(const UmodPackage& p, const UmodFile& f) {
    if (isCompressed(f))
        return [&p, &f]() -> std::unique_ptr<ByteSource> {
            return std::make_unique<CompressedMember>(p.path, f);
        };
    return [&p, &f]() -> std::unique_ptr<ByteSource> {
        return std::make_unique<FileBytes>(p.path, f.offset, f.size);
    };
}

} // namespace

UmodInstallResult installUmod(const UmodPackage& package, const std::string& userFolder,
                              const std::string& programFolder, const WorkSink& sink,
                              InstallRecorder& recorder) {
    UmodInstallResult result;
    RunLog log(runLogPath(programFolder));
    const WorkSink logged = log.logging(sink);
    auto say = [&](const std::string& line) { logged.status(line); };
    log.line("Processing UMOD file " + package.path);
    log.line("");
    const std::string from = " (" + fileNameOf(package.path) + ")";
    FilePlacer placer(logged, &recorder);
    const auto& files = package.directory.files;
    std::vector<std::string> targets;
    for (const auto& f : files)
        if (auto target = umodTarget(userFolder, f.path); !target.empty())
            targets.push_back(target);
    placer.expect(std::move(targets));
    size_t& done = result.done;
    result.total = files.size();
    for (const auto& f : files) {
        // Asked to stop: the files installed so far stay (and are recorded).
        if (sink.stopAsked()) {
            result.stopped = true;
            say("Stopped after " + std::to_string(done) + " of " + std::to_string(files.size()));
            break;
        }
        sink.reportProgress(++done, files.size());
        if (isManifest(f.path)) continue;
        auto failed = [&](const std::string& why) {
            say("**ERROR** " + f.path + " could not be installed: " + why);
            result.failures.push_back(f.path + ": " + why);
        };
        const std::string target = umodTarget(userFolder, f.path);
        if (target.empty()) {
            failed("it names no place in the game's folders");
            continue;
        }
        // A folder below the type folder that leads elsewhere is not followed.
        const size_t typeEnd = target.find('/', userFolder.size() + 1);
        if (typeEnd != std::string::npos) {
            if (const std::string link = linkBelow(target.substr(0, typeEnd), target);
                !link.empty()) {
                failed(link + " is a link to another place");
                continue;
            }
        }
        const Placement placed = placer.place(memberBytes(package, f), target);
        switch (placed.outcome) {
        case Placed::Copied:
        case Placed::Same:
            say(moveLine(f.path + from, placed.path));
            ++result.installed;
            break;
        case Placed::Kept:
            say(placed.path + " exists already and was not replaced");
            ++result.kept;
            break;
        case Placed::Failed:
            failed(placed.why);
            break;
        }
    }
    log.line("");
    return result;
}

} // namespace tv
