#include "widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>

namespace tv {

template <class W> static W* named(W* w, const char* name, const QString& tip) {
    w->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) w->setToolTip(tip);
    return w;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& tip) {
    return named(new QPushButton(caption, parent), name, tip);
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption,
                     const QString& tip) {
    return named(new QCheckBox(caption, parent), name, tip);
}

QRadioButton* makeOption(QWidget* parent, const char* name, const QString& caption,
                         const QString& tip) {
    auto* r = named(new QRadioButton(caption, parent), name, tip);
    // Option buttons are grouped by hand, so a group may also have none selected.
    r->setAutoExclusive(false);
    return r;
}

QLineEdit* makeText(QWidget* parent, const char* name, const QString& tip) {
    return named(new QLineEdit(parent), name, tip);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    return named(new QLabel(text, parent), name, {});
}

ElidingLabel* makeElidingLabel(QWidget* parent, const char* name) {
    return named(new ElidingLabel(parent), name, {});
}

QGroupBox* makeFrame(QWidget* parent, const QString& caption) {
    return new QGroupBox(caption, parent);
}

void makeSortableList(QTreeView* view, QAbstractItemModel* model,
                      std::initializer_list<int> stretching) {
    view->setModel(model);
    QHeaderView* header = view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int column : stretching)
        header->setSectionResizeMode(column, QHeaderView::Stretch);
}

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText); // a folder named "<b>" is no markup
}

QSize ElidingLabel::minimumSizeHint() const {
    QSize least = QLabel::minimumSizeHint();
    // A few characters either side of the ellipsis.
    least.setWidth(std::min(least.width(), 12 * fontMetrics().averageCharWidth()));
    return least;
}

bool ElidingLabel::elided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

bool ElidingLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || !toolTip().isEmpty()) return QLabel::event(event);
    if (elided())
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

void ElidingLabel::paintEvent(QPaintEvent* event) {
    // Whole, the label paints itself (and a selection in it).
    if (!elided()) return QLabel::paintEvent(event);
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect();
    style()->drawItemText(&painter, room, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                          foregroundRole());
}

void closeOnEscape(QWidget* window) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

void showCentred(QWidget* window) {
    if (!window->isVisible()) {
        if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();
        QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
        if (owner) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(owner->frameGeometry().center());
            window->move(frame.topLeft());
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tv
