#pragma once

#include <QAbstractListModel>
#include <QWidget>

#include <array>
#include <vector>

class QLabel;
class QListView;
class QTimer;

namespace tv {

// The Status list's lines. Each line's width is measured once, when it
// comes, so laying out 100,000 lines never measures text again.
class StatusListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    struct Line {
        QString text;
        bool failure = false;
    };
    void append(std::vector<Line> lines, int lineHeight, const QFontMetrics& metrics);
    void clear();
    const QString& text(int row) const { return m_lines[static_cast<size_t>(row)].text; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Shown {
        QString text;
        bool failure;
        QSize size;
    };
    int measure(const QString& text, const QFontMetrics& metrics);

    std::vector<Shown> m_lines;
    // Advances of the printable ASCII characters in the list's font, and the
    // line height they were taken for.
    std::array<int, 0x7f - 0x20> m_advance{};
    int m_advanceHeight = -1;
};

// "Status": the lines of runs, backups, purges and archive processings.
// Lines are taken as they come and shown in batches (a few times a second),
// so a run of thousands of files is not held up by the list.
class StatusTab : public QWidget {
    Q_OBJECT
public:
    explicit StatusTab(QWidget* parent = nullptr);
    // A line for the list; failures stand out in red.
    void appendLine(const QString& line, bool failure);
    // The lines taken so far, all shown now.
    void flush();
    // The list's lines (after a flush), for whoever reads them back.
    QStringList lines();
    void clear();

    QListView* List1;
    QLabel* Label1;
    QLabel* lblGame; // which game and cache: the tab's header

private:
    StatusListModel* m_model;
    std::vector<StatusListModel::Line> m_pending;
    QTimer* m_flush;
};

} // namespace tv
