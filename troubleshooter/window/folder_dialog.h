#pragma once

#include "troubleshooter/troubleshooter.h"

#include <string>

class QWidget;

namespace tv {

// The folder chooser the troubleshooter asks for (hidden folders shown,
// starting in the request's folder) over `parent`; the chosen folder, or
// empty when cancelled.
std::string askForFolder(QWidget* parent, const FolderDialogRequest& request);

} // namespace tv
