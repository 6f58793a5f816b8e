#pragma once
// A picture as a PNG file: 8-bit RGBA, no interlacing, its rows deflated
// through zlib. What the command line writes a map's picture as, without Qt.

#include "texture_image.h"

#include <string>

namespace tv {

// Empty when zlib could not deflate the rows (no memory).
std::string pngBytes(const Picture& picture);

} // namespace tv
