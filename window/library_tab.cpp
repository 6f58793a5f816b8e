#include "library_tab.h"

#include "background_work.h"
#include "map_preview.h"
#include "widgets.h"

#include "platform/dates.h"
#include "session/library.h"
#include "session/session.h"
#include "ui/qt/qt_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tv {

namespace {

enum Column { Name, Type, Size, Date, OriginColumn, State, UsedBy, Columns };

// Sizes and dates sort by their values, not their texts.
class Row : public QTreeWidgetItem {
public:
    explicit Row(size_t index) : m_index(index) {}
    size_t index() const { return m_index; }
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == Size || column == Date)
            return data(column, Qt::UserRole).toLongLong() <
                   other.data(column, Qt::UserRole).toLongLong();
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }

private:
    size_t m_index;
};

void fillRow(Row& row, const std::vector<LibraryEntry>& all, const LibraryEntry& e) {
    row.setText(Name, toDisplay(e.name));
    row.setToolTip(Name, toDisplay(e.path));
    row.setText(Type, typeName(e.type));
    row.setText(Size, QString::number(static_cast<qlonglong>(e.size)));
    row.setData(Size, Qt::UserRole, static_cast<qlonglong>(e.size));
    row.setText(Date, e.modified >= 0 ? toDisplay(shortDate(e.modified)) : QString());
    row.setData(Date, Qt::UserRole, static_cast<qlonglong>(e.modified));
    row.setText(OriginColumn, toDisplay(e.originText()));
    row.setToolTip(OriginColumn, toDisplay(e.archive.empty() ? e.originText() : e.archive));
    row.setText(State, e.damaged ? QString("damaged") : toDisplay(e.besideText()));
    std::vector<std::string> users = usedBy(all, e);
    if (e.serverPackage) users.push_back("ServerPackages");
    if (e.editPackage) users.push_back("EditPackages");
    QStringList used;
    for (const auto& u : users)
        used << toDisplay(u);
    row.setText(UsedBy, used.join(", "));
    row.setToolTip(UsedBy, used.join("\n"));
}

} // namespace

LibraryTab::LibraryTab(Session& session, BackgroundWork& work, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_session(session), m_work(work), m_prompter(prompter) {
    cboLibType = new QComboBox(this);
    cboLibType->setObjectName("cboLibType");
    cboLibType->addItem("Every type", QString());
    for (const char* t : {"map", "texture", "sound", "music", "staticmesh", "animation", "code"})
        cboLibType->addItem(t, QString(t));
    cboLibOrigin = new QComboBox(this);
    cboLibOrigin->setObjectName("cboLibOrigin");
    cboLibOrigin->addItem("Every origin", QString());
    for (const char* o : {"stock", "moved", "installed", "found", "cache"})
        cboLibOrigin->addItem(o, QString(o));
    lblLibCount = makeLabel(this, "lblLibCount");
    cmdLibRefresh = makeButton(this, "cmdLibRefresh", "Refre&sh");
    lvLibrary = new QTreeWidget(this);
    lvLibrary->setObjectName("lvLibrary");
    lvLibrary->setHeaderLabels({"Name", "Type", "Size", "Date", "Origin", "State", "Used by"});
    lvLibrary->setRootIsDecorated(false);
    lvLibrary->setUniformRowHeights(true);
    lvLibrary->setAllColumnsShowFocus(true);
    lvLibrary->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvLibrary->setSortingEnabled(true);
    lvLibrary->sortByColumn(Name, Qt::AscendingOrder);
    lvLibrary->header()->setSectionResizeMode(QHeaderView::Interactive);
    lvLibrary->header()->setStretchLastSection(true);
    m_preview = new MapPreview("libraryMapPreview", this);
    chkLibDelete = makeCheck(this, "chkLibDelete", "&Delete instead of moving into the cache");
    cmdLibRemove = makeButton(this, "cmdLibRemove", "Re&move",
                              "Moves the selected packages back into the cache as downloads");
    cmdLibRemoveUnused = makeButton(this, "cmdLibRemoveUnused", "Remove with What &Only It Needs",
                                    "Also removes what nothing else uses");

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Type:", this));
    top->addWidget(cboLibType);
    top->addWidget(new QLabel("Origin:", this));
    top->addWidget(cboLibOrigin);
    top->addWidget(lblLibCount, 1);
    top->addWidget(cmdLibRefresh);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdLibRemove);
    buttons->addWidget(cmdLibRemoveUnused);
    buttons->addWidget(chkLibDelete);
    buttons->addStretch(1);
    auto* below = new QHBoxLayout;
    below->addWidget(m_preview, 1, Qt::AlignTop);
    below->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lvLibrary, 1);
    layout->addLayout(below);

    connect(cboLibType, &QComboBox::currentIndexChanged, this, &LibraryTab::applyFilter);
    connect(cboLibOrigin, &QComboBox::currentIndexChanged, this, &LibraryTab::applyFilter);
    connect(cmdLibRefresh, &QPushButton::clicked, this, &LibraryTab::refresh);
    connect(lvLibrary, &QTreeWidget::currentItemChanged, this, &LibraryTab::previewChosen);
    connect(cmdLibRemove, &QPushButton::clicked, this, [this] { removeClicked(false); });
    connect(cmdLibRemoveUnused, &QPushButton::clicked, this, [this] { removeClicked(true); });
}

void LibraryTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_listed) refresh();
}

void LibraryTab::refresh() {
    m_listed = true;
    m_factsRead = false;
    const unsigned generation = ++m_generation;
    m_session.refreshFolders();
    auto sources =
        std::make_shared<const LibrarySources>(PackageLibrary(m_session, m_prompter).sources());
    lblLibCount->setText("Listing...");
    m_runner.start([sources] { return listLibrary(*sources); })
        .then(this, [this, sources, generation](std::vector<LibraryEntry> entries) {
            if (generation != m_generation) return;
            m_entries = entries;
            showEntries();
            // The facts of a copy: the rows stay usable meanwhile.
            m_runner
                .start([sources, entries = std::move(entries)]() mutable {
                    readLibraryFacts(entries, *sources);
                    return entries;
                })
                .then(this, [this, sources, generation](std::vector<LibraryEntry> read) {
                    if (generation != m_generation) return;
                    m_entries = std::move(read);
                    m_factsRead = true;
                    PackageLibrary(m_session, m_prompter).rememberStock(*sources, m_entries);
                    showEntries();
                    emit factsRead();
                });
        });
}

void LibraryTab::showEntries() {
    lvLibrary->setSortingEnabled(false);
    lvLibrary->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<int>(m_entries.size()));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        auto* row = new Row(i);
        fillRow(*row, m_entries, m_entries[i]);
        rows << row;
    }
    lvLibrary->addTopLevelItems(rows);
    lvLibrary->setSortingEnabled(true);
    if (m_factsRead) lvLibrary->header()->resizeSections(QHeaderView::ResizeToContents);
    applyFilter();
}

void LibraryTab::applyFilter() {
    const QString type = cboLibType->currentData().toString();
    const QString origin = cboLibOrigin->currentData().toString();
    int shown = 0;
    for (int i = 0; i < lvLibrary->topLevelItemCount(); ++i) {
        auto* row = static_cast<Row*>(lvLibrary->topLevelItem(i));
        const LibraryEntry& e = m_entries[row->index()];
        const bool hide = (!type.isEmpty() && type != typeName(e.type)) ||
                          (!origin.isEmpty() && origin != originName(e.origin));
        row->setHidden(hide);
        shown += hide ? 0 : 1;
    }
    lblLibCount->setText(QString("%1 of %2 files%3")
                             .arg(shown)
                             .arg(m_entries.size())
                             .arg(m_factsRead ? "" : "; reading their facts..."));
}

void LibraryTab::previewChosen() {
    auto* row = static_cast<Row*>(lvLibrary->currentItem());
    if (!row || row->index() >= m_entries.size() || m_entries[row->index()].type != FileType::Map) {
        m_preview->showNothing();
        return;
    }
    const LibraryEntry& e = m_entries[row->index()];
    m_preview->showMap(e.path, e.name,
                       e.path + ":" + std::to_string(e.size) + ":" + std::to_string(e.modified),
                       m_session.folders());
}

void LibraryTab::removeClicked(bool withUnused) {
    std::vector<std::string> paths;
    for (QTreeWidgetItem* item : lvLibrary->selectedItems())
        paths.push_back(m_entries[static_cast<Row*>(item)->index()].path);
    if (paths.empty()) {
        m_prompter.message("Please select the packages to remove.");
        return;
    }
    if (!m_factsRead) {
        m_prompter.message("The library is still reading what uses each package; "
                           "please try again in a moment.");
        return;
    }
    PackageLibrary library(m_session, m_prompter);
    RemoveRequest request{planRemoval(m_entries, paths, withUnused, m_session.folders()),
                          chkLibDelete->isChecked()};
    if (library.confirm(request)) return;
    m_work.start(
        [this, request] {
            PackageLibrary library(m_session, m_prompter);
            m_session.told(library.remove(request));
        },
        false,
        [this] {
            emit filesChanged();
            refresh();
        });
}

} // namespace tv
