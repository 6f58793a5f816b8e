#pragma once

#include <QWidget>

#include <string>

class QFileSystemWatcher;
class QLabel;
class QPoint;
class QPushButton;
class QTreeView;

namespace tv {

class ElidingLabel;
class FileListModel;
class MapPreview;
class Prompter;
class Session;

// "File List": the cached packages and the commands on them. The tab keeps
// its model in step with the session's rows and answers its own controls; a
// new scan (which shows the busy window) it asks the main window for.
class FileListTab : public QWidget {
    Q_OBJECT
public:
    FileListTab(Session& session, Prompter& prompter, QWidget* parent = nullptr);
    // The session's rows changed: the list shows them again (keeping its
    // sort and the sort's arrow).
    void rowsChanged();
    // After a scan: the label shows the cache folder.
    void showScan();
    void showCacheFolder(const std::string& folder);

signals:
    void rescanRequested();
    // A cache folder was chosen with "..." and scanned.
    void cacheFolderChosen();
    // A row went onto the never-move list.
    void neverMoveChanged();

private:
    void contextMenu(const QPoint& pos);
    void chooseCacheFolder();
    void sortClicked(int column);
    void fitStateColumn();
    // "Tick What It Needs" is offered for a row that needs cached packages.
    void offerNeeded();
    // The chosen row's map in the preview below the list.
    void previewChosen();
    // Cache.ini as the last scan read it (change time, size, file), and
    // whether it is so no more: another Tessvane or the watch after a game
    // moved files meanwhile, and the list is out of date.
    void makeStaleNote();
    void watchIndex();
    std::string indexStamp() const;
    void cacheFolderChanged();
    static constexpr int kStateColumn = 3;

    Session& m_session;
    Prompter& m_prompter;
    FileListModel* m_model;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    QPushButton* cmdCacheDir;
    QPushButton* cmdRescan;
    QPushButton* cmdUncheck;
    QPushButton* cmdCheck;
    QPushButton* cmdTickNeeds;
    QPushButton* cmdDelFiles;
    QTreeView* ListView1;
    ElidingLabel* lblCacheDir;
    QLabel* lblStale;
    MapPreview* m_preview;
    QFileSystemWatcher* m_cacheWatch;
    std::string m_scannedStamp;
};

} // namespace tv
