#pragma once

#include <QByteArray>
#include <QString>

#include <string>

namespace tv {

// Texts from the game's 8-bit files and from file names: UTF-8 when they are
// valid UTF-8, else Latin-1, so every byte shows as some character.
QString toDisplay(const std::string& bytes);
// A path typed or chosen in a window, as the file system spells it.
std::string fromPathText(const QString& path);
// A path shown in a box that may have been edited: the path it was filled
// with while it still shows that (its bytes kept, UTF-8 or not), else what
// was typed.
std::string pathFromBox(const QString& shown, const std::string& filledWith);
// Bytes kept whole in an item's data (a path that may be no UTF-8).
inline QByteArray toBytes(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string fromBytes(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
// A text typed in a window for the game's 8-bit files: Latin-1 where every
// character fits, else UTF-8.
std::string fromText8(const QString& text);

} // namespace tv
