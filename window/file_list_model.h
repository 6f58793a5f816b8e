#pragma once

#include "engine/cache_index.h"

#include <QAbstractTableModel>

#include <vector>

namespace tv {

// The File List: a check box per row, "Date" and "Never Move?" columns, rows
// on the never-move list in red. It shows the session's rows in place, so a
// cache of any size fills at once.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(std::vector<FileRow>& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The rows changed underneath (a scan, check all, a never-move change).
    void reload();

signals:
    void tickedChanged();

private:
    std::vector<FileRow>& m_rows;
};

} // namespace tv
