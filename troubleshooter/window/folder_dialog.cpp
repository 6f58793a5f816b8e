#include "folder_dialog.h"

#include "ui/qt/qt_text.h"

#include <QFile>
#include <QFileDialog>

namespace tv {

void prepareFolderDialog(QFileDialog& dialog, const FolderDialogRequest& request) {
    dialog.setWindowTitle(toDisplay(request.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // ~/.ut2004, ~/.wine and ~/.local/share/Steam are where the games are.
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (!request.startFolder.empty())
        dialog.setDirectory(QFile::decodeName(request.startFolder.c_str()));
}

std::string askForFolder(QWidget* parent, const FolderDialogRequest& request) {
    QFileDialog dialog(parent);
    prepareFolderDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return fromPathText(dialog.selectedFiles().constFirst());
}

} // namespace tv
