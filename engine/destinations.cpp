#include "destinations.h"

#include "platform/text_io.h"

namespace tv {

std::string fileDirectlyIn(const std::string& folder, const std::string& name) {
    auto destination = joinPlain(folder, name);
    if (!destination || folderOf(*destination) != folderOf(joinPath(folder, "x"))) return {};
    return *destination;
}

std::string destinationFolderFor(FileType type, const CacheFolders& folders,
                                 const RunOptions& options) {
    if (type == FileType::Unknown) return {};
    switch (options.mode) {
    case RunOptions::Mode::Norm:
        return folders.folderFor(type);
    case RunOptions::Mode::Dir:
        return options.moveDir;
    case RunOptions::Mode::Dir2:
        // The subfolder may exist under another letter case.
        return findInFolder(options.moveDir2, typeSubfolder(type));
    }
    return {};
}

std::string destinationFor(FileType type, const std::string& name, const CacheFolders& folders,
                           const RunOptions& options) {
    const std::string folder = destinationFolderFor(type, folders, options);
    return folder.empty() ? std::string() : fileDirectlyIn(folder, name);
}

} // namespace tv
