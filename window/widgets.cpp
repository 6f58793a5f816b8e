#include "widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTreeView>

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

QGroupBox* makeFrame(QWidget* parent, const QString& caption) {
    return new QGroupBox(caption, parent);
}

void makeSortableList(QTreeView* view, QAbstractItemModel* model,
                      std::initializer_list<int> widths) {
    view->setModel(model);
    view->header()->setSectionsClickable(true);
    view->header()->setSortIndicatorShown(true);
    view->header()->setSortIndicator(-1, Qt::AscendingOrder);
    int column = 0;
    for (int w : widths)
        view->setColumnWidth(column++, twips(w));
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
