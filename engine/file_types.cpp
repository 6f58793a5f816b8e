#include "file_types.h"

#include "platform/text_util.h"

namespace tv {

FileType fileTypeOf(std::string_view name) {
    if (endsWithNoCase(name, "UT2")) return FileType::Map;
    if (endsWithNoCase(name, "UTX")) return FileType::Texture;
    if (endsWithNoCase(name, "OGG")) return FileType::Music;
    if (endsWithNoCase(name, "UAX")) return FileType::Sound;
    if (endsWithNoCase(name, "USX")) return FileType::StaticMesh;
    if (endsWithNoCase(name, "UKX")) return FileType::Animation;
    if (endsWithNoCase(name, "INT")) return FileType::Localisation;
    if (endsWithNoCase(name, "DEM")) return FileType::Demo;
    if (endsWithNoCase(name, "U")) return FileType::Code;
    return FileType::Unknown;
}

const char* typeFolderKey(FileType type) {
    switch (type) {
    case FileType::Map:
        return "Maps";
    case FileType::Texture:
        return "Textures";
    case FileType::Music:
        return "Music";
    case FileType::Sound:
        return "Sounds";
    case FileType::StaticMesh:
        return "StaticMeshes";
    case FileType::Animation:
        return "Animations";
    default:
        return "";
    }
}

const char* typeSubfolder(FileType type) {
    // The game's own folder names, and System for code, localisation and demos.
    if (type == FileType::Unknown) return "";
    const char* key = typeFolderKey(type);
    return *key ? key : "System";
}

bool typeBoxTicks(TypeBox box, std::string_view rowText) {
    // In the order of TypeBox; the music box ticks ogg files.
    static const char* const suffix[] = {"U", "UAX", "OGG", "UT2", "UTX", "USX", "UKX"};
    return endsWithNoCase(rowText, suffix[static_cast<int>(box)]);
}

} // namespace tv
