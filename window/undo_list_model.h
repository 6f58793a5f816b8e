#pragma once

#include "store/undo_log.h"

#include <QAbstractTableModel>

#include <vector>

namespace tv {

// The Undo list: one row per record with a check box; "Date", "New Filename",
// "Old Filename".
class UndoListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRecords(std::vector<UndoRecord> records);
    void clear() { setRecords({}); }
    const std::vector<UndoRecord>& records() const { return m_records; }
    // The records whose rows are ticked, in list order.
    std::vector<UndoRecord> tickedRecords() const;
    void setTicked(int row, bool ticked);
    // Every row ticked or unticked at once.
    void setAllTicked(bool ticked);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    void applySort();

    std::vector<UndoRecord> m_records;
    std::vector<char> m_ticked;
    int m_sortColumn = -1; // none yet: the log's order
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tv
