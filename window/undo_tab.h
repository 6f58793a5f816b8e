#pragma once

#include <QWidget>

#include <string>

class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace tv {

class MapPreview;

class Prompter;

class BackgroundWork;
class Session;
class UndoListModel;

// "Undo": the recorded moves, and undo, empty and compact of the undo log;
// below them the archive installations, each with its files, to take back.
class UndoTab : public QWidget {
    Q_OBJECT
public:
    UndoTab(Session& session, BackgroundWork& work, Prompter& prompter, QWidget* parent = nullptr);
    // LoadUndoList: the records and the log's size afresh.
    void LoadUndoList();

signals:
    // An undo moved files back: the File List changed.
    void filesMovedBack();

private:
    void undoClicked();
    void undoInstallClicked();
    void showInstallations();
    // A file's row below an installation or a removal.
    static void addPath(QTreeWidgetItem* under, const std::string& path);
    void emptyClicked();
    void compactClicked();
    void sortClicked(int column);

    Session& m_session;
    Prompter& m_prompter;
    BackgroundWork& m_work;
    UndoListModel* m_model;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    QPushButton* cmdUndo;
    QPushButton* cmdEmptyDB;
    QPushButton* cmdCompactDB;
    QPushButton* cmdUndoCheckAll;
    QPushButton* cmdUndoUncheckAll;
    QTreeView* lvUndo;
    MapPreview* m_preview;
    // The chosen record's file, when it is a map, in the preview.
    void previewChosen();
    QTreeWidget* lvInstalls;     // one item per installation, its files below it
    QPushButton* cmdUndoInstall; // "Take &Back Installations"
    QLabel* lblDBSize;
};

} // namespace tv
