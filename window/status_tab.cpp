#include "status_tab.h"

#include "session/session.h"
#include "widgets.h"

#include <QFont>
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

int StatusListModel::measure(const QString& text, const QFontMetrics& metrics) {
    // Lines are mostly ASCII paths: their width is the sum of their
    // characters' advances, taken from a table (shaping every line of a
    // big run took longer than the run). Anything else is measured whole.
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7f) return metrics.horizontalAdvance(text);
        width += m_advance[u - 0x20];
    }
    return width;
}

void StatusListModel::append(std::vector<Line> lines, int lineHeight, const QFontMetrics& metrics) {
    if (lines.empty()) return;
    if (m_advanceHeight != lineHeight) {
        // A new font (or the first lines): the table is made again.
        m_advanceHeight = lineHeight;
        for (char16_t u = 0x20; u < 0x7f; ++u)
            m_advance[u - 0x20] = metrics.horizontalAdvance(QChar(u));
    }
    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    m_lines.reserve(m_lines.size() + lines.size());
    for (auto& l : lines) {
        const int width = measure(l.text, metrics) + kLinePadding;
        m_lines.push_back({std::move(l.text), l.failure, QSize(width, lineHeight)});
    }
    endInsertRows();
    // The oldest lines go once there are twice as many as are kept.
    if (m_lines.size() >= 2 * Session::kStatusLinesKept) {
        const size_t drop = m_lines.size() - Session::kStatusLinesKept;
        beginRemoveRows({}, 0, static_cast<int>(drop) - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<ptrdiff_t>(drop));
        endRemoveRows();
    }
}

void StatusListModel::clear() {
    beginResetModel();
    m_lines.clear();
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
    // A long cache folder loses its middle rather than widening the window.
    lblGame = new ElidingLabel(this);
    lblGame->setObjectName("lblGame");
    QFont bold = lblGame->font();
    bold.setBold(true);
    lblGame->setFont(bold);
    Label1 = new ElidingLabel(this);
    Label1->setObjectName("Label1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblGame);
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
