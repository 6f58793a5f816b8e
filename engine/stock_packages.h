#pragma once
// The packages each game ships with, by file name.

#include "games/game_install.h"

#include <cstddef>
#include <string_view>

namespace tv {

// Whether a file of this name (any letter case) ships with the game.
bool isStockName(Game game, std::string_view fileName);
// How many names the game's list holds.
size_t stockNameCount(Game game);

} // namespace tv
