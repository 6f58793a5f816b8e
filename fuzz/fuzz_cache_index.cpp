// Cache.ini as the game (or anyone) may have written it: every line parsed
// into an entry, rows built from them, and every name that is no plain file
// name kept from becoming a destination outside its folder.
#include "engine/cache_index.h"
#include "engine/cache_run.h"
#include "platform/text_io.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto lines = tv::splitLines(text);
    tv::CacheFolders folders;
    folders.cacheFolder = "/nonexistent-tessvane-fuzz/Cache";
    folders.cacheExt = "uxx";
    folders.maps = "/game/Maps";
    folders.system = "/game/System";
    folders.textures = "/game/Textures";
    std::vector<tv::FileRow> rows;
    std::vector<tv::ScanTableEntry> table;
    tv::readCacheIndex(lines, folders, rows, table);
    tv::uncheckDuplicates(rows);
    tv::uncheckErrorEntries(rows);
    for (const auto& line : lines) {
        auto entry = tv::parseCacheLine(line, folders.cacheExt);
        if (!entry) continue;
        for (auto mode : {tv::RunOptions::Mode::Norm, tv::RunOptions::Mode::Dir}) {
            tv::RunOptions options;
            options.mode = mode;
            options.moveDir = "/target";
            tv::FileType type = tv::fileTypeOf(entry->name);
            std::string destination = tv::destinationFor(type, entry->name, folders, options);
            if (destination.empty()) continue;
            // Whatever the line held, the destination lies directly in its folder.
            std::string folder = tv::destinationFolderFor(type, folders, options);
            if (!tv::isPlainFileName(entry->name) || tv::folderOf(destination) != folder ||
                tv::fileNameOf(destination) != entry->name)
                std::abort();
        }
    }
    return 0;
}
