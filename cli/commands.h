#pragma once

// tessvane-cli's commands, one getter each; cli.cpp lists them in the order
// the usage shows them.

#include "cli_context.h"

namespace tv::cli {

const Command& commandGames();
const Command& commandScan();
const Command& commandRun();
const Command& commandUndo();
const Command& commandPurge();
const Command& commandTidy();
const Command& commandNeeds();
const Command& commandCheck();
const Command& commandInfo();
const Command& commandPicture();
const Command& commandWatch();
const Command& commandUz2();
const Command& commandCleanTmp();
const Command& commandSetPurge();
const Command& commandZip();
const Command& commandCheckUpdate();
const Command& commandCompact();
const Command& commandEmptyUndo();
const Command& commandNeverMove();
const Command& commandDemo();
const Command& commandLibrary();
const Command& commandRemove();

} // namespace tv::cli
