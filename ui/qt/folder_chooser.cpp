#include "folder_chooser.h"

#include "qt_text.h"

#include <QFile>
#include <QFileDialog>

namespace tv {

std::string chooseFolder(QWidget* parent, const std::string& title,
                         const std::string& startFolder) {
    QFileDialog dialog(parent);
    dialog.setWindowTitle(toDisplay(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (!startFolder.empty()) dialog.setDirectory(QFile::decodeName(startFolder.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return fromPathText(dialog.selectedFiles().constFirst());
}

} // namespace tv
