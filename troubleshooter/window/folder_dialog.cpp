#include "folder_dialog.h"

#include "ui/qt/folder_chooser.h"

namespace tv {

std::string askForFolder(QWidget* parent, const FolderDialogRequest& request) {
    return chooseFolder(parent, request.title, request.startFolder);
}

} // namespace tv
