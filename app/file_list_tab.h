#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeView;

namespace tv {

// "File List": the cached packages and the commands on them.
class FileListTab : public QWidget {
    Q_OBJECT
public:
    explicit FileListTab(QWidget* parent = nullptr);
    QPushButton* cmdCacheDir;
    QPushButton* cmdRescan;
    QPushButton* cmdUncheck;
    QPushButton* cmdCheck;
    QPushButton* cmdDelFiles;
    QTreeView* ListView1;
    QLabel* lblCacheDir;
};

} // namespace tv
