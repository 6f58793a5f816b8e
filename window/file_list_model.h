#pragma once

#include "session/file_list.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

namespace tv {

// The File List: a check box per row, "Date", "Never Move?", "State" and
// "Needs" (how many packages it needs are nowhere to be found) columns, rows on the never-move list
// in red, other versions of installed packages in a colour of their own. It shows the session's
// rows in place, so a cache of any size fills at once, in an order of its own: sorting never
// reorders the session's rows.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `tick(row, on)` ticks a row of the list (the list itself is only read).
    FileListModel(const FileList& list, std::function<void(size_t, bool)> tick,
                  QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The rows changed underneath (a scan, check all, a never-move change);
    // the last sort is kept.
    void reload();
    // File name, Date, Never Move?, State, Needs.
    static constexpr int kColumns = 5;
    static constexpr int kNeedsColumn = 4;
    // The session's row shown at `viewRow`.
    size_t sessionRow(int viewRow) const { return m_order[static_cast<size_t>(viewRow)]; }

    // Asked before a damaged package is ticked by hand (with what is wrong
    // with it); not ticked unless it says yes.
    std::function<bool(const FileRow& row, const std::string& damage)> confirmDamagedTick;

signals:
    void tickedChanged();

private:
    const FileRow& row(const QModelIndex& index) const {
        return m_list.rows()[sessionRow(index.row())];
    }
    const std::vector<NeededPackage>& lacking(const QModelIndex& index) const {
        return m_list.lacking(sessionRow(index.row()));
    }
    void applySort();

    const FileList& m_list;
    std::function<void(size_t, bool)> m_tick;
    std::vector<size_t> m_order; // view row -> session row
    int m_sortColumn = -1;       // none yet: the order of Cache.ini
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tv
