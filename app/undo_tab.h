#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeView;

namespace tv {

// "Undo": the recorded moves, and undo, empty and compact of the undo log.
class UndoTab : public QWidget {
    Q_OBJECT
public:
    explicit UndoTab(QWidget* parent = nullptr);
    QPushButton* cmdUndo;
    QPushButton* cmdEmptyDB;
    QPushButton* cmdCompactDB;
    QTreeView* lvUndo;
    QLabel* lblDBSize;
};

} // namespace tv
