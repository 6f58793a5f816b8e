#include "undo_list_model.h"

#include "platform/dates.h"
#include "platform/text_util.h"
#include "ui/qt/qt_text.h"

#include <algorithm>
#include <numeric>

namespace tv {

void UndoListModel::setRecords(std::vector<UndoRecord> records) {
    beginResetModel();
    m_records = std::move(records);
    m_ticked.assign(m_records.size(), 0);
    applySort(); // the records read afresh keep the order the header shows
    endResetModel();
}

std::vector<UndoRecord> UndoListModel::tickedRecords() const {
    std::vector<UndoRecord> out;
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_ticked[i]) out.push_back(m_records[i]);
    return out;
}

void UndoListModel::setTicked(int row, bool ticked) {
    setData(index(row, 0), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

int UndoListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int UndoListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

static const std::string& cell(const UndoRecord& r, int column) {
    return column == 0 ? r.MoveDate : column == 1 ? r.NewFName : r.OldFName;
}

QVariant UndoListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    auto row = static_cast<size_t>(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return toDisplay(cell(m_records[row], index.column()));
    if (role == Qt::CheckStateRole && index.column() == 0)
        return m_ticked[row] ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool UndoListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || !index.isValid()) return false;
    m_ticked[static_cast<size_t>(index.row())] = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags UndoListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant UndoListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[] = {"Date", "New Filename", "Old Filename"};
    return section >= 0 && section < 3 ? QString::fromLatin1(titles[section]) : QVariant();
}

void UndoListModel::sort(int column, Qt::SortOrder order) {
    beginResetModel();
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
    endResetModel();
}

void UndoListModel::applySort() {
    if (m_sortColumn < 0) return;
    const int column = m_sortColumn;
    const Qt::SortOrder order = m_sortOrder;
    std::vector<size_t> idx(m_records.size());
    std::iota(idx.begin(), idx.end(), 0);
    // Dates sort by the day they name (a text that names none comes last, by text).
    std::vector<std::optional<int64_t>> days(m_records.size());
    if (column == 0)
        for (size_t i = 0; i < m_records.size(); ++i)
            days[i] = parseShortDate(m_records[i].MoveDate);
    auto less = [&](size_t a, size_t b) {
        if (column == 0 && (days[a] || days[b]) && days[a] != days[b]) {
            if (!days[a] || !days[b]) return days[a].has_value();
            return *days[a] < *days[b];
        }
        return lessNoCase(cell(m_records[a], column), cell(m_records[b], column));
    };
    std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
        return order == Qt::AscendingOrder ? less(a, b) : less(b, a);
    });
    std::vector<UndoRecord> records;
    std::vector<char> ticked;
    for (size_t i : idx) {
        records.push_back(std::move(m_records[i]));
        ticked.push_back(m_ticked[i]);
    }
    m_records = std::move(records);
    m_ticked = std::move(ticked);
}

void UndoListModel::setAllTicked(bool ticked) {
    if (m_records.empty()) return;
    std::fill(m_ticked.begin(), m_ticked.end(), ticked ? 1 : 0);
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

} // namespace tv
