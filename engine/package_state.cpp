#include "package_state.h"

#include "package_header.h"

#include "platform/file_ops.h"
#include "platform/text_io.h"

#include <array>
#include <memory>

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

PackageState packageState(const std::string& cacheFile, const std::string& installedFile,
                          FileType type) {
    const PackageFile cached = readPackageHeader(cacheFile);
    if (cached.kind == PackageFile::Kind::Unreadable) return PackageState::Unknown;
    const bool isPackage = cached.kind == PackageFile::Kind::Package;
    if (cached.size == 0 || (isPackageType(type) && !isPackage)) return PackageState::Damaged;
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

std::vector<PackageState> packageStates(const std::vector<ScanTableEntry>& table,
                                        const CacheFolders& folders,
                                        const std::function<bool()>& stop) {
    std::vector<PackageState> out(table.size(), PackageState::Unknown);
    const FolderIndex cache(folders.cacheFolder);
    // Each type folder read once, when first needed.
    std::array<std::unique_ptr<FolderIndex>, static_cast<size_t>(FileType::Unknown) + 1>
        typeFolders;
    for (size_t i = 0; i < table.size(); ++i) {
        if (stop && stop()) break;
        const ScanTableEntry& e = table[i];
        if (!isPlainFileName(e.name)) continue;
        auto file = cache.find(e.candidate);
        if (!file) file = cache.find(e.candidate2);
        if (!file) continue;
        const FileType type = fileTypeOf(e.name);
        std::string installed;
        const std::string folder = folders.folderFor(type);
        if (!folder.empty()) {
            auto& index = typeFolders[static_cast<size_t>(type)];
            if (!index) index = std::make_unique<FolderIndex>(folder);
            if (auto there = index->find(e.name); there && index->isFile(*there))
                installed = joinPath(folder, *there);
        }
        out[i] = packageState(joinPath(folders.cacheFolder, *file), installed, type);
    }
    return out;
}

} // namespace tv
