#pragma once

#include "troubleshooter/troubleshooter.h"

#include <string>

class QFileDialog;
class QWidget;

namespace tv {

// Sets up a folder dialog as the troubleshooter asks for it: Qt's own dialog
// (a desktop's native one may keep dot folders hidden whatever it is told),
// folders only, hidden ones shown, starting in the request's folder.
void prepareFolderDialog(QFileDialog& dialog, const FolderDialogRequest& request);
// Opens one over `parent`; the chosen folder, or empty when cancelled.
std::string askForFolder(QWidget* parent, const FolderDialogRequest& request);

} // namespace tv
