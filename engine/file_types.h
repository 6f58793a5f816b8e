#pragma once

#include <string>
#include <string_view>

namespace tv {

// The kind of a cached package, decided by the end of its recorded name.
enum class FileType {
    Map,
    Texture,
    Music,
    Sound,
    StaticMesh,
    Animation,
    Localisation,
    Demo,
    Code,
    Unknown
};

// "UT2", "UTX", "OGG", "UAX", "USX", "UKX", "INT", "DEM" on the last three
// characters (any case), then a last character "U"; anything else is unknown
// and never moved.
FileType fileTypeOf(std::string_view name);

// The Dirs key of Tessvane.ini naming the type's game folder; empty for the
// System folder (which is fixed) and for unknown types.
const char* typeFolderKey(FileType type);
// The subfolder in a run to another folder with the game's structure, e.g. "Maps".
const char* typeSubfolder(FileType type);

// The seven file-type boxes of the File Selection frame, in the order the
// scan applies them.
enum class TypeBox { U, UAX, UMX, UT2, UTX, USX, UKX };
constexpr TypeBox kTypeBoxOrder[] = {TypeBox::U,   TypeBox::UAX, TypeBox::UMX, TypeBox::UT2,
                                     TypeBox::UTX, TypeBox::USX, TypeBox::UKX};
// Whether a box ticks a row with this text.
bool typeBoxTicks(TypeBox box, std::string_view rowText);

} // namespace tv
