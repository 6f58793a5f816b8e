#pragma once
// Shell completion for tessvane-cli, written from its command table: the
// commands, each command's options as its help names them, the game numbers
// and cache entry names asked of tessvane-cli itself as one types.

#include "cli_context.h"

#include <string>
#include <vector>

namespace tv::cli {

// The options a command's help names ("--json", "--state", ...), in order, once each.
std::vector<std::string> optionsOf(const Command& command);

// The completion scripts for bash (share/bash-completion/completions), fish
// (share/fish/vendor_completions.d) and zsh (share/zsh/vendor-completions).
std::string bashCompletion(const std::vector<const Command*>& commands);
std::string fishCompletion(const std::vector<const Command*>& commands);
std::string zshCompletion(const std::vector<const Command*>& commands);

} // namespace tv::cli
