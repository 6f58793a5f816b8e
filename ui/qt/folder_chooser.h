#pragma once

#include <string>

class QWidget;

namespace tv {

// A folder chooser over `parent`: Qt's own dialog (a desktop's native one may
// keep dot folders hidden whatever it is told), folders only, hidden ones
// shown (~/.ut2004, ~/.wine and ~/.local/share/Steam are where the games
// are), starting in `startFolder` when one is given. The chosen folder, or
// empty when cancelled.
std::string chooseFolder(QWidget* parent, const std::string& title,
                         const std::string& startFolder = {});

} // namespace tv
