#include "file_list_tab.h"

#include "widgets.h"

#include "engine/package_state.h"
#include "file_list_model.h"
#include "map_preview.h"
#include "platform/text_io.h"
#include "session/session.h"
#include "ui/prompter.h"
#include "ui/qt/qt_text.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <sys/stat.h>

namespace tv {

FileListTab::FileListTab(Session& session, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_session(session), m_prompter(prompter) {
    cmdCacheDir =
        makeButton(this, "cmdCacheDir", "...", "Click here to select an alternative directory");
    cmdRescan = makeButton(this, "cmdRescan", "R&e-Scan");
    cmdUncheck = makeButton(this, "cmdUncheck", "&Un-Check All");
    cmdCheck = makeButton(this, "cmdCheck", "&Check All");
    cmdTickNeeds =
        makeButton(this, "cmdTickNeeds", "Tick What It &Needs",
                   "Ticks the packages in the cache that the selected package needs to load");
    cmdTickNeeds->setEnabled(false);
    cmdDelFiles = makeButton(this, "cmdDelFiles", "&Delete");

    ListView1 = new QTreeView(this);
    ListView1->setObjectName("ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    // Long paths lose their middle, not their file name; the tool tip has it all.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

    makeStaleNote();
    m_preview = new MapPreview("filesMapPreview", this);

    // A long cache folder loses its middle rather than widening the window.
    lblCacheDir = makeElidingLabel(this, "lblCacheDir");
    lblCacheDir->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* cacheRow = new QHBoxLayout;
    cacheRow->addWidget(new QLabel("Cache Directory :", this));
    cacheRow->addWidget(lblCacheDir, 1);
    cacheRow->addWidget(cmdCacheDir);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRescan);
    buttons->addWidget(cmdUncheck);
    buttons->addWidget(cmdCheck);
    buttons->addWidget(cmdTickNeeds);
    buttons->addStretch(1);
    buttons->addWidget(cmdDelFiles);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(cacheRow);
    layout->addWidget(ListView1, 1);
    layout->addWidget(lblStale);
    layout->addWidget(m_preview);
    layout->addLayout(buttons);

    m_model = new FileListModel(
        m_session.fileList(), [this](size_t row, bool on) { m_session.setTicked(row, on); }, this);
    m_model->confirmDamagedTick = [this](const FileRow& row, const std::string& damage) {
        return m_prompter.question(row.text + " is damaged (" + damage +
                                   "): the game cannot load it, and a run puts it into the "
                                   "game's folders as it is. Tick it all the same?");
    };
    makeSortableList(ListView1, m_model, {0});
    fitStateColumn();

    connect(ListView1, &QWidget::customContextMenuRequested, this, &FileListTab::contextMenu);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &FileListTab::sortClicked);
    connect(cmdRescan, &QPushButton::clicked, this, &FileListTab::rescanRequested);
    connect(cmdCheck, &QPushButton::clicked, this, [this] { m_session.checkAll(); });
    connect(cmdUncheck, &QPushButton::clicked, this, [this] { m_session.uncheckAll(); });
    connect(cmdTickNeeds, &QPushButton::clicked, this, [this] {
        const QModelIndex current = ListView1->currentIndex();
        if (current.isValid()) m_session.tickWhatItNeeds(m_model->sessionRow(current.row()));
    });
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FileListTab::offerNeeded);
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FileListTab::previewChosen);
    connect(cmdDelFiles, &QPushButton::clicked, this,
            [this] { m_prompter.message("Not implemented yet..."); });
    connect(cmdCacheDir, &QPushButton::clicked, this, &FileListTab::chooseCacheFolder);
    connect(m_model, &FileListModel::tickedChanged, this, [this] { m_session.updateFoundText(); });
}

void FileListTab::rowsChanged() {
    m_model->reload();
    offerNeeded();
    previewChosen();
}

void FileListTab::previewChosen() {
    const QModelIndex current = ListView1->currentIndex();
    const auto& table = m_session.fileList().scanTable();
    const size_t row = current.isValid() ? m_model->sessionRow(current.row()) : table.size();
    if (row >= table.size() || table[row].file.empty() ||
        fileTypeOf(table[row].name) != FileType::Map) {
        m_preview->showNothing();
        return;
    }
    const ScanTableEntry& e = table[row];
    // The cache file's name is its GUID: with its size, the package itself.
    m_preview->showMap(joinPath(m_session.folders().cacheFolder, e.file), e.name,
                       e.file + ":" + std::to_string(e.size), m_session.folders());
}

void FileListTab::offerNeeded() {
    const QModelIndex current = ListView1->currentIndex();
    bool offered = false;
    if (current.isValid())
        for (const auto& p : m_session.fileList().lacking(m_model->sessionRow(current.row())))
            offered = offered || p.where == NeededPackage::Where::Cache;
    cmdTickNeeds->setEnabled(offered);
}

void FileListTab::showScan() {
    showCacheFolder(m_session.settings().cacheDir);
    m_preview->foldersChanged();
    // The folder (a new index renamed into place) and the index itself
    // (written where it is, as the game does while it downloads).
    const QStringList watched = m_cacheWatch->directories() + m_cacheWatch->files();
    if (!watched.isEmpty()) m_cacheWatch->removePaths(watched);
    const QString folder = QFile::decodeName(m_session.folders().cacheFolder.c_str());
    if (!folder.isEmpty()) m_cacheWatch->addPath(folder);
    watchIndex();
    m_scannedStamp = indexStamp();
    lblStale->hide();
}

// Hidden until the cache folder changes behind the list's back.
void FileListTab::makeStaleNote() {
    lblStale = new QLabel(
        QStringLiteral("The cache changed since this list was made: Re-Scan to see it as it is."),
        this);
    lblStale->setToolTip(QStringLiteral("Another Tessvane, the watch after a game or the game "
                                        "itself changed Cache.ini"));
    lblStale->setObjectName("lblStale");
    lblStale->setWordWrap(true);
    lblStale->setStyleSheet(QStringLiteral("font-weight: bold"));
    lblStale->hide();
    m_cacheWatch = new QFileSystemWatcher(this);
    connect(m_cacheWatch, &QFileSystemWatcher::directoryChanged, this,
            &FileListTab::cacheFolderChanged);
    connect(m_cacheWatch, &QFileSystemWatcher::fileChanged, this, &FileListTab::cacheFolderChanged);
}

std::string FileListTab::indexStamp() const {
    const std::string index = findInFolder(m_session.folders().cacheFolder, "Cache.ini");
    struct stat st {};
    if (::stat(index.c_str(), &st) != 0) return "none";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

void FileListTab::watchIndex() {
    const std::string index = findInFolder(m_session.folders().cacheFolder, "Cache.ini");
    const QString path = QFile::decodeName(index.c_str());
    if (fileExists(index) && !m_cacheWatch->files().contains(path)) m_cacheWatch->addPath(path);
}

void FileListTab::cacheFolderChanged() {
    watchIndex(); // an index renamed into place is another file to watch
    // This window's own work rescans when it ends.
    if (m_session.busy() || indexStamp() == m_scannedStamp) return;
    lblStale->show();
}

// The states arrive after the rows: their column is as wide as its widest
// state from the start, so the names do not shift when they come.
void FileListTab::fitStateColumn() {
    const QFontMetrics metrics(ListView1->font());
    int widest = 0;
    for (PackageState state : {PackageState::New, PackageState::Installed, PackageState::Identical,
                               PackageState::OtherVersion, PackageState::Damaged})
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(stateText(state))));
    // The cell's margins either side, with a little to spare.
    const int margins = 2 * (ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4);
    QHeaderView* header = ListView1->header();
    header->setSectionResizeMode(kStateColumn, QHeaderView::Fixed);
    header->resizeSection(kStateColumn,
                          std::max(header->sectionSizeHint(kStateColumn), widest + margins));
    header->setSectionResizeMode(FileListModel::kNeedsColumn, QHeaderView::Fixed);
    header->resizeSection(FileListModel::kNeedsColumn,
                          header->sectionSizeHint(FileListModel::kNeedsColumn));
}

void FileListTab::showCacheFolder(const std::string& folder) {
    lblCacheDir->setText(toDisplay(folder));
}

void FileListTab::contextMenu(const QPoint& pos) {
    QModelIndex index = ListView1->indexAt(pos);
    if (!index.isValid()) return;
    ListView1->setCurrentIndex(index);
    const size_t row = m_model->sessionRow(index.row());
    if (m_session.fileList().rows()[row].neverMove) return;
    if (!m_session.confirmAddRowToNeverMove(row) ||
        !m_session.told(m_session.addRowToNeverMove(row)))
        return;
    emit neverMoveChanged();
}

void FileListTab::chooseCacheFolder() {
    std::string folder = m_prompter.browseForFolder("Choose a folder:");
    if (folder.empty()) return;
    showCacheFolder(folder);
    m_session.chooseCacheFolder(folder);
    emit cacheFolderChosen();
}

void FileListTab::sortClicked(int column) {
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_model->sort(column, m_sortOrder);
    ListView1->header()->setSortIndicator(column, m_sortOrder);
}

} // namespace tv
