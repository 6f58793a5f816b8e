#include "installed_packages.h"

#include "formats/zip_archive.h"
#include "platform/text_util.h"

#include <unordered_set>

namespace tv {

InstalledPackages::InstalledPackages(const CacheFolders& folders) {
    for (size_t t = 0; t + 1 < m_typeFolders.size(); ++t) {
        const std::string folder = folders.folderFor(static_cast<FileType>(t));
        if (!folder.empty()) m_typeFolders[t] = &indexOf(folder);
    }
    for (const auto& f : folders.packageFolders) {
        Place p{&indexOf(f.folder), f.pattern, {}};
        const bool plain = f.pattern.size() > 2 && f.pattern.compare(0, 2, "*.") == 0 &&
                           f.pattern.find_first_of("*?", 1) == std::string::npos;
        if (plain) p.extension = f.pattern.substr(1);
        m_places.push_back(std::move(p));
    }
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
    const FolderIndex* typeFolder = m_typeFolders[static_cast<size_t>(fileTypeOf(name))];
    if (typeFolder) {
        if (auto file = fileIn(*typeFolder, name); !file.empty()) return file;
    }
    const size_t dot = name.rfind('.');
    const std::string_view extension =
        dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
    for (const auto& p : m_places) {
        if (p.index == typeFolder) continue; // looked at first
        if (p.extension.empty() ? !wildcardMatch(p.pattern, name)
                                : !equalsNoCase(extension, p.extension))
            continue;
        if (auto file = fileIn(*p.index, name); !file.empty()) return file;
    }
    return {};
}

std::string InstalledPackages::findPackage(std::string_view name) const {
    for (const auto& p : m_places) {
        const size_t star = p.pattern.find('*');
        if (star == std::string::npos) continue;
        std::string file = p.pattern;
        file.replace(star, 1, name);
        if (auto there = fileIn(*p.index, file); !there.empty()) return there;
    }
    return {};
}

std::vector<InstalledPackages::Folder> InstalledPackages::folders() const {
    std::vector<Folder> out;
    for (const auto& p : m_places)
        out.push_back({p.index, p.pattern});
    return out;
}

std::vector<std::string> InstalledPackages::files(FileType type) const {
    std::vector<std::string> out;
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> seen;
    for (const auto& p : m_places) {
        for (const std::string& name : p.index->names()) {
            if (type != FileType::Unknown && fileTypeOf(name) != type) continue;
            const bool matches = p.extension.empty() ? wildcardMatch(p.pattern, name)
                                                     : endsWithNoCase(name, p.extension);
            if (!matches || !p.index->isFile(name) || !seen.insert(name).second) continue;
            out.push_back(joinPath(p.index->folder(), name));
        }
    }
    return out;
}

} // namespace tv
