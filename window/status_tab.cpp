#include "status_tab.h"

#include <QLabel>

#include <QListView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace tv {

namespace {

// How often waiting lines are shown.
constexpr int kFlushMs = 100;
// Room around a line's text, as the list's own items have it.
constexpr int kLinePadding = 8;

} // namespace

void StatusListModel::append(std::vector<Line> lines, int lineHeight, const QFontMetrics& metrics) {
    if (lines.empty()) return;
    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    m_lines.reserve(m_lines.size() + lines.size());
    for (auto& l : lines) {
        // The list is as wide as its widest line, and every line is drawn
        // across that width: only a line that may be the widest is measured.
        int width = 0;
        if (l.text.size() * 4 >= m_longest * 3) {
            width = metrics.horizontalAdvance(l.text) + kLinePadding;
            m_widest = std::max(m_widest, width);
            m_longest = std::max(m_longest, l.text.size());
        } else {
            width =
                std::min(m_widest, static_cast<int>(l.text.size()) * metrics.averageCharWidth());
        }
        m_lines.push_back({std::move(l.text), l.failure, QSize(width, lineHeight)});
    }
    endInsertRows();
}

void StatusListModel::clear() {
    beginResetModel();
    m_lines.clear();
    m_longest = 0;
    m_widest = 0;
    endResetModel();
}

int StatusListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant StatusListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Shown& l = m_lines[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return l.text;
    case Qt::ForegroundRole:
        // Failures stand out from the move lines around them.
        return l.failure ? QVariant(QColor(Qt::red)) : QVariant();
    case Qt::SizeHintRole:
        return l.size;
    default:
        return {};
    }
}

StatusTab::StatusTab(QWidget* parent) : QWidget(parent) {
    List1 = new QListView(this);
    List1->setObjectName("List1");
    m_model = new StatusListModel(List1);
    List1->setModel(m_model);
    // Whole lines: a long path scrolls sideways instead of being cut.
    List1->setTextElideMode(Qt::ElideNone);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(List1);
    m_flush = new QTimer(this);
    m_flush->setSingleShot(true);
    m_flush->setInterval(kFlushMs);
    connect(m_flush, &QTimer::timeout, this, &StatusTab::flush);
}

void StatusTab::appendLine(const QString& line, bool failure) {
    m_pending.push_back({line, failure});
    if (!m_flush->isActive()) m_flush->start();
}

void StatusTab::flush() {
    m_flush->stop();
    if (m_pending.empty()) return;
    const QFontMetrics metrics(List1->font());
    const int height = metrics.height() + 2;
    m_model->append(std::move(m_pending), height, metrics);
    m_pending.clear();
    List1->scrollToBottom();
}

QStringList StatusTab::lines() {
    flush();
    QStringList out;
    for (int i = 0; i < m_model->rowCount(); ++i)
        out << m_model->text(i);
    return out;
}

void StatusTab::clear() {
    m_pending.clear();
    m_model->clear();
}

} // namespace tv
