#pragma once

#include "cache_index.h"

#include "platform/text_io.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

// The packages the game reads, found by name: first in the folder a run
// moves a file of that name to, then in every folder of the configuration's
// Paths= (the player's and the game folder's) whose pattern takes the name.
// Each folder is read once, when this is made; lookups are safe from several
// threads at once.
class InstalledPackages {
public:
    explicit InstalledPackages(const CacheFolders& folders);

    // The installed file of this name (any letter case) that the game
    // finds; empty when there is none.
    std::string find(const std::string& name) const;
    // The installed file the game loads for the package `name` (without an
    // extension, as another package imports it): the first folder of
    // Paths= whose pattern, with the name put in, names a file there (any
    // letter case); empty when there is none.
    std::string findPackage(std::string_view name) const;
    // Every folder of Paths=, listed, in the game's order (a folder named
    // twice once); each with its pattern.
    struct Folder {
        const FolderIndex* index;
        std::string pattern;
    };
    std::vector<Folder> folders() const;
    // Every installed file the game loads whose type is `type` (Unknown:
    // every type): per name (any letter case), the first in the game's
    // order.
    std::vector<std::string> files(FileType type = FileType::Unknown) const;

private:
    const FolderIndex& indexOf(const std::string& folder);
    static std::string fileIn(const FolderIndex& index, const std::string& name);

    struct Place {
        const FolderIndex* index;
        std::string pattern;
        std::string extension; // ".utx" of a pattern "*.utx": compared without a match
    };
    std::vector<std::unique_ptr<FolderIndex>> m_indexes; // one per folder
    std::array<const FolderIndex*, static_cast<size_t>(FileType::Unknown) + 1> m_typeFolders{};
    std::vector<Place> m_places; // in the game's order
};

} // namespace tv
