#include "package_state.h"

#include "formats/package_header.h"
#include "formats/package_imports.h"
#include "installed_packages.h"

#include "platform/file_ops.h"
#include "platform/text_io.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <unordered_map>

namespace tv {

const char* stateText(PackageState state) {
    switch (state) {
    case PackageState::New:
        return "new";
    case PackageState::Installed:
        return "installed";
    case PackageState::Identical:
        return "identical";
    case PackageState::OtherVersion:
        return "other version";
    case PackageState::Damaged:
        return "damaged";
    case PackageState::Unknown:
        break;
    }
    return "";
}

bool isPackageType(FileType type) {
    switch (type) {
    case FileType::Map:
    case FileType::Texture:
    case FileType::Sound:
    case FileType::StaticMesh:
    case FileType::Animation:
    case FileType::Code:
        return true;
    default:
        return false;
    }
}

namespace {

// The state of a cache file whose header (and tables) were read.
PackageState stateOf(const PackageRead& read, const std::string& cacheFile,
                     const std::string& installedFile, FileType type) {
    const PackageFile& cached = read.file;
    if (cached.kind == PackageFile::Kind::Unreadable) return PackageState::Unknown;
    const bool isPackage = cached.kind == PackageFile::Kind::Package;
    if (cached.size == 0 || (isPackageType(type) && !isPackage) ||
        read.imports.kind == PackageImports::Kind::Damaged)
        return PackageState::Damaged;
    if (installedFile.empty()) return PackageState::New;
    const PackageFile there = readPackageHeader(installedFile);
    if (there.kind == PackageFile::Kind::Unreadable) return PackageState::Unknown;
    const bool sameBytes = cached.size == there.size && sameContent(cacheFile, installedFile);
    if (isPackage && there.kind == PackageFile::Kind::Package && cached.header.hasGuid &&
        there.header.hasGuid) {
        if (cached.header.guid != there.header.guid) return PackageState::OtherVersion;
        return sameBytes ? PackageState::Identical : PackageState::Installed;
    }
    // Without a GUID on both sides only the bytes tell.
    return sameBytes ? PackageState::Identical : PackageState::OtherVersion;
}

} // namespace

std::string damageText(const PackageRead& read) {
    if (read.file.size == 0) return "empty";
    if (read.imports.kind != PackageImports::Kind::Damaged) return "no package header";
    if (read.imports.why.rfind("cut short at byte", 0) == 0) return read.imports.why;
    return "its tables are damaged: " + read.imports.why;
}

PackageState packageState(const std::string& cacheFile, const std::string& installedFile,
                          FileType type, int64_t cacheFileSize) {
    return stateOf(readPackage(cacheFile, cacheFileSize, isPackageType(type)), cacheFile,
                   installedFile, type);
}

PackagesFacts packageFacts(const std::vector<ScanTableEntry>& table, const CacheFolders& folders,
                           const std::function<bool()>& stop) {
    PackagesFacts out;
    out.entries.resize(table.size());
    // Every folder read once, before the work is shared out; the workers
    // only look names up in them.
    const PackageResolver resolver(folders, table);
    out.lookedIn = resolver.lookedIn();
    std::atomic<bool> stopped{false};
    auto work = [&](size_t first, size_t end) {
        // Most packages need the same few: each is looked up once.
        std::unordered_map<std::string, NeededPackage, FoldedHash, FoldedEqual> found;
        for (size_t i = first; i < end; ++i) {
            // Asked now and then: the question may cost a lock.
            if ((i - first) % 256 == 0 && stop && (stopped || stop())) {
                stopped = true;
                return;
            }
            const ScanTableEntry& e = table[i];
            // The scan found the cache file (and its size) already.
            if (!isPlainFileName(e.name) || e.file.empty() || e.size < 0) continue;
            const FileType type = fileTypeOf(e.name);
            // A name of no known type is never moved: it has no place to compare with.
            if (type == FileType::Unknown) continue;
            const std::string file = joinPath(folders.cacheFolder, e.file);
            const PackageRead read = readPackage(file, e.size, isPackageType(type));
            PackageFacts& facts = out.entries[i];
            facts.state = stateOf(read, file, resolver.installed().find(e.name), type);
            if (facts.state == PackageState::Damaged) facts.damage = damageText(read);
            for (const auto& name : read.imports.needs) {
                auto it = found.find(name);
                if (it == found.end()) it = found.emplace(name, resolver.resolve(name)).first;
                if (it->second.where != NeededPackage::Where::Installed)
                    facts.lacking.push_back(it->second);
            }
            // A map plays its music from Music/: a file it needs as well.
            if (type == FileType::Map && read.imports.kind == PackageImports::Kind::Package)
                if (const std::string song = mapSong(file); !song.empty())
                    if (auto music = resolver.resolveMusic(song);
                        music.where != NeededPackage::Where::Installed)
                        facts.lacking.push_back(std::move(music));
        }
    };
    // Mostly waiting on the file system: a few threads share the entries.
    const size_t threads =
        table.size() < 2048 ? 1 : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<std::thread> helpers;
    const size_t share = (table.size() + threads - 1) / threads;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work, std::min(table.size(), t * share),
                             std::min(table.size(), (t + 1) * share));
    work(0, std::min(table.size(), share));
    for (auto& h : helpers)
        h.join();
    return out;
}

} // namespace tv
