#include "installed_packages.h"

#include "formats/zip_archive.h"

namespace tv {

InstalledPackages::InstalledPackages(const CacheFolders& folders) : m_folders(folders) {
    constexpr int kTypes = static_cast<int>(FileType::Unknown);
    for (int t = 0; t < kTypes; ++t) {
        const std::string folder = folders.folderFor(static_cast<FileType>(t));
        if (!folder.empty()) indexOf(folder);
    }
    for (const auto& f : folders.packageFolders)
        m_places.push_back({&indexOf(f.folder), f.pattern});
}

const FolderIndex& InstalledPackages::indexOf(const std::string& folder) {
    for (const auto& index : m_indexes)
        if (index->folder() == folder) return *index;
    return *m_indexes.emplace_back(std::make_unique<FolderIndex>(folder));
}

std::string InstalledPackages::fileIn(const FolderIndex& index, const std::string& name) {
    auto there = index.find(name);
    if (!there || !index.isFile(*there)) return {};
    return joinPath(index.folder(), *there);
}

std::string InstalledPackages::find(const std::string& name) const {
    const std::string folder = m_folders.folderFor(fileTypeOf(name));
    if (!folder.empty()) {
        for (const auto& index : m_indexes)
            if (index->folder() == folder) {
                if (auto file = fileIn(*index, name); !file.empty()) return file;
                break;
            }
    }
    for (const auto& p : m_places)
        if (wildcardMatch(p.pattern, name))
            if (auto file = fileIn(*p.index, name); !file.empty()) return file;
    return {};
}

} // namespace tv
