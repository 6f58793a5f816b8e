#pragma once

#include "cache_index.h"

#include "platform/text_io.h"

#include <array>
#include <memory>
#include <string>
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
