#pragma once

#include <QString>

#include <string>

namespace tv {

// Texts from the game's 8-bit files and from file names: UTF-8 when they are
// valid UTF-8, else Latin-1, so every byte shows as some character.
QString toDisplay(const std::string& bytes);
// A path typed or chosen in a window, as the file system spells it.
std::string fromPathText(const QString& path);
// A text typed in a window for the game's 8-bit files: Latin-1 where every
// character fits, else UTF-8.
std::string fromText8(const QString& text);

} // namespace tv
