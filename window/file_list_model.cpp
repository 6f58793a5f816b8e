#include "file_list_model.h"

#include "engine/package_state.h"

#include "ui/qt/qt_text.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "platform/text_util.h"

#include <algorithm>
#include <numeric>

namespace tv {

FileListModel::FileListModel(const FileList& list, std::function<void(size_t, bool)> tick,
                             QObject* parent)
    : QAbstractTableModel(parent), m_list(list), m_tick(std::move(tick)) {
    reload();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

namespace {

// Rows holding another version of an installed package: neither the
// never-move red nor the text's black.
const QColor kOtherVersionColour(176, 96, 0);
// Damaged packages: greyed, as the game cannot load them.
const QColor kDamagedColour(128, 128, 128);

bool explained(PackageState state) {
    return state == PackageState::OtherVersion || state == PackageState::Damaged;
}

QString stateToolTip(const FileRow& r, const std::string& damage) {
    const QString name = toDisplay(r.text);
    switch (r.state) {
    case PackageState::New:
        return name + QStringLiteral(" is not in the game's folders yet");
    case PackageState::Installed:
        return QStringLiteral("The same package (same GUID) is installed as ") + name;
    case PackageState::Identical:
        return QStringLiteral("An identical copy of ") + name +
               QStringLiteral(" is installed: the cache file is not needed");
    case PackageState::OtherVersion:
        return QStringLiteral("Another version of ") + name +
               QStringLiteral(" is installed. Keeping both versions apart avoids version "
                              "mismatches when you join servers: this one stays in the cache");
    case PackageState::Damaged:
        return name + QStringLiteral(" is damaged (") +
               toDisplay(damage.empty() ? std::string("not a package") : damage) +
               QStringLiteral("): the game cannot load it, so it is not ticked. Tick it to move "
                              "it anyway");
    case PackageState::Unknown:
        break;
    }
    return {};
}

size_t missingCount(const std::vector<NeededPackage>& lacking) {
    return static_cast<size_t>(std::count_if(lacking.begin(), lacking.end(), [](const auto& p) {
        return p.where == NeededPackage::Where::Missing;
    }));
}

// Each needed package that is not installed, with where it is, and where
// the game looks.
QString needsToolTip(const FileRow& r, const std::vector<NeededPackage>& lacking,
                     const std::string& lookedIn) {
    if (lacking.empty()) return {};
    QString tip = toDisplay(r.text) + QStringLiteral(" needs packages that are not installed:");
    bool cached = false;
    for (const auto& p : lacking) {
        cached = cached || p.where == NeededPackage::Where::Cache;
        tip += QStringLiteral("\n  ") + toDisplay(p.name) + QStringLiteral(": ");
        tip += p.where == NeededPackage::Where::Cache
                   ? QStringLiteral("in the cache as ") + toDisplay(p.cacheName)
                   : QStringLiteral("missing");
    }
    if (cached) tip += QStringLiteral("\nTick What It Needs ticks those in the cache.");
    return tip + QStringLiteral("\nLooked for in: ") + toDisplay(lookedIn);
}

} // namespace

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FileRow& r = row(index);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0) return toDisplay(r.text);
        if (index.column() == 1) return toDisplay(r.date());
        if (index.column() == 3) return QString::fromLatin1(stateText(r.state));
        if (index.column() == kNeedsColumn) {
            const size_t missing = missingCount(lacking(index));
            return missing > 0 ? QString::number(missing) : QString();
        }
        return r.neverMove ? QStringLiteral("True") : QString();
    case Qt::CheckStateRole:
        if (index.column() == 0) return r.ticked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == kNeedsColumn) return int(Qt::AlignCenter);
        return {};
    case Qt::ForegroundRole:
        if (r.neverMove) return QBrush(QColor(255, 0, 0));
        if (r.state == PackageState::OtherVersion) return QBrush(kOtherVersionColour);
        if (r.state == PackageState::Damaged) return QBrush(kDamagedColour);
        return {};
    case Qt::FontRole: {
        // A cue besides the colour: never-move rows bold (red and the other
        // version's brown look alike to many eyes), damaged ones italic.
        if (!r.neverMove && r.state != PackageState::Damaged) return {};
        QFont font;
        font.setBold(r.neverMove);
        font.setItalic(r.state == PackageState::Damaged);
        return font;
    }
    case Qt::ToolTipRole:
        if (index.column() == 0 && r.neverMove)
            return toDisplay(r.text) + QStringLiteral(" is on the never-move list");
        if (index.column() == kNeedsColumn)
            return needsToolTip(r, lacking(index), m_list.lookedIn());
        if (explained(r.state) || index.column() == 3)
            return stateToolTip(r, m_list.damage(sessionRow(index.row())));
        if (index.column() == 0) return toDisplay(r.text);
        if (index.column() == 1) return toDisplay(r.date());
        return {};
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || !index.isValid()) return false;
    const size_t at = sessionRow(index.row());
    const FileRow& r = m_list.rows()[at];
    if (r.neverMove) return false;
    const bool tick = value.value<Qt::CheckState>() == Qt::Checked;
    if (tick && !r.ticked && r.state == PackageState::Damaged && confirmDamagedTick &&
        !confirmDamagedTick(r, m_list.damage(at)))
        return false;
    m_tick(at, tick);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit tickedChanged();
    return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() != 0 || !index.isValid()) return f;
    // A never-move row is never moved, so it cannot be ticked either.
    if (row(index).neverMove) return f;
    return f | Qt::ItemIsUserCheckable;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[kColumns] = {"File Name  (color red = never move)", "Date",
                                                 "Never Move?", "State", "Needs"};
    return section >= 0 && section < kColumns ? QString::fromLatin1(titles[section]) : QVariant();
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    beginResetModel();
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
    endResetModel();
}

void FileListModel::applySort() {
    if (m_sortColumn < 0) return;
    auto key = [this](size_t i, size_t j) {
        const FileRow& a = m_list.rows()[i];
        const FileRow& b = m_list.rows()[j];
        if (m_sortColumn == 1) return a.modified < b.modified;
        if (m_sortColumn == 2) return a.neverMove < b.neverMove;
        if (m_sortColumn == 3) return a.state < b.state;
        if (m_sortColumn == kNeedsColumn)
            return missingCount(m_list.lacking(i)) < missingCount(m_list.lacking(j));
        return lessNoCase(a.text, b.text);
    };
    if (m_sortOrder == Qt::AscendingOrder)
        std::stable_sort(m_order.begin(), m_order.end(), key);
    else
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](size_t i, size_t j) { return key(j, i); });
}

void FileListModel::reload() {
    beginResetModel();
    m_order.resize(m_list.size());
    std::iota(m_order.begin(), m_order.end(), size_t{0});
    applySort();
    endResetModel();
}

} // namespace tv
