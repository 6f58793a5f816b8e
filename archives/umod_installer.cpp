#include "umod_installer.h"

#include "engine/cache_run.h"
#include "engine/run_log.h"
#include "formats/ini.h"
#include "formats/uz2.h"
#include "platform/crash_point.h"
#include "platform/file_ops.h"
#include "platform/text_io.h"
#include "platform/text_util.h"

#include <functional>
#include <unistd.h>

namespace tv {

namespace {

// The manifest is small; a bigger one is no manifest.
constexpr size_t kMaxManifestBytes = 1 << 20;
// A compressed package is unpacked in memory: at most this big.
constexpr size_t kMaxUz2Bytes = size_t{256} << 20;

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

bool isManifest(const std::string& path) {
    const auto parts = pathParts(path);
    const std::string& name = parts.back();
    return equalsNoCase(name, "Manifest.ini") || equalsNoCase(name, "Manifest.int");
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
            continue;
        }
        const std::string key = trim(line.substr(0, line.find('=')));
        if (equalsNoCase(section, "[Setup]") || equalsNoCase(key, "File") ||
            equalsNoCase(key, "Copy"))
            continue;
        p.notCarriedOut.push_back(section + " " + line);
    }
}

} // namespace

std::optional<UmodPackage> loadUmod(const std::string& path, std::string* error) {
    auto directory = readUmod(path, error);
    if (!directory) return std::nullopt;
    UmodPackage p;
    p.path = path;
    p.directory = std::move(*directory);
    readManifest(p);
    return p;
}

std::string umodTarget(const std::string& userFolder, const std::string& umodPath) {
    if (umodPath.empty() || isManifest(umodPath)) return {};
    const auto parts = pathParts(umodPath);
    std::string at = userFolder;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        if (i + 1 == parts.size()) {
            if (auto package = uz2PackageName(name); !package.empty()) name = package;
        }
        // "C:" or "", ".", "..": no name of a folder below the player's.
        if (!isPlainFileName(name) || name.find(':') != std::string::npos) return {};
        at = findInFolder(at, name);
    }
    return at;
}

namespace {

// The folders on the way to `target`, made and said when missing.
void makeFoldersFor(const std::string& target, const std::function<void(const std::string&)>& say) {
    for (const std::string folder = folderOf(target); !folderExists(folder);) {
        std::string missing = folder;
        while (!folderExists(folderOf(missing)))
            missing = folderOf(missing);
        if (!makeFolder(missing)) return; // the copy then says why it failed
        say("Created folder " + missing);
    }
}

bool isCompressed(const UmodFile& f) {
    return !uz2PackageName(fileNameOf(f.path)).empty();
}

// A file's bytes as the game gets them (a .uz2 file unpacked).
std::optional<std::string> memberBytes(const UmodPackage& p, const UmodFile& f,
                                       std::string* error) {
    auto bytes = readUmodFile(p.path, f, kMaxUz2Bytes, error);
    if (!bytes || !isCompressed(f)) return bytes;
    return unpackUz2(*bytes, error, kMaxUz2Bytes);
}

bool sameAsBytes(const std::string& path, const std::optional<std::string>& bytes) {
    return bytes && fileSize(path) == static_cast<int64_t>(bytes->size()) &&
           readFile(path) == *bytes;
}

// A new file `target` with the member's bytes (never replacing one).
bool writeMember(const UmodPackage& p, const UmodFile& f, const std::string& target,
                 std::string* error) {
    if (!isCompressed(f)) return extractUmodFile(p.path, f, target, error);
    auto bytes = memberBytes(p, f, error);
    return bytes && writeNewFile(target, error, [&](int fd, std::string* why) {
               if (writeAll(fd, *bytes)) return true;
               if (why) *why = "Cannot write " + target;
               return false;
           });
}

} // namespace

UmodInstallResult installUmod(const UmodPackage& package, const std::string& userFolder,
                              const std::string& programFolder, const WorkSink& sink,
                              InstallRecorder& recorder) {
    UmodInstallResult result;
    RunLog log(runLogPath(programFolder));
    auto say = [&](const std::string& line) {
        sink.status(line);
        log.line(line);
    };
    log.line("Processing UMOD file " + package.path);
    log.line("");
    const std::string from = " (" + fileNameOf(package.path) + ")";
    for (const auto& f : package.directory.files) {
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
        makeFoldersFor(target, say);
        std::string error;
        if (auto there = lookupInFolder(folderOf(target), fileNameOf(target))) {
            // The same bytes count as installed; another file stays. A damaged
            // compressed file is a failure whatever is there.
            std::optional<std::string> unpacked;
            if (isCompressed(f) && !(unpacked = memberBytes(package, f, &error))) {
                failed(error);
                continue;
            }
            const bool same = isCompressed(f) ? sameAsBytes(*there, unpacked)
                                              : umodFileEquals(package.path, f, *there);
            if (same) {
                say(moveLine(f.path + from, *there));
                ++result.installed;
            } else {
                say(*there + " exists already and was not replaced");
                ++result.kept;
            }
        } else if (!recorder.pending(target, &error)) {
            failed("it could not be recorded in the undo log: " + error);
        } else if (removeLeftoversOf(target), writeMember(package, f, target, &error)) {
            crashPoint("umod: file written");
            recorder.written(target);
            say(moveLine(f.path + from, target));
            ++result.installed;
        } else {
            recorder.withdrawn(target);
            failed(error);
        }
    }
    log.line("");
    return result;
}

} // namespace tv
