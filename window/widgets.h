#pragma once

#include <QLabel>
#include <QString>

#include <initializer_list>

class QAbstractItemModel;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;
class QWidget;

namespace tv {

// A label for a folder or a name of any length: it gives up width before
// the window does and then loses its text's middle. text() stays whole, and
// so does the tool tip of a text shown short.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidingLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    // Whether the text is shown short at the label's width now.
    bool elided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// Controls with their object name, caption and tool tip, as tests find them.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& tip = {});
QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption,
                     const QString& tip = {});
QRadioButton* makeOption(QWidget* parent, const char* name, const QString& caption,
                         const QString& tip = {});
QLineEdit* makeText(QWidget* parent, const char* name, const QString& tip = {});
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text = {});
ElidingLabel* makeElidingLabel(QWidget* parent, const char* name);
QGroupBox* makeFrame(QWidget* parent, const QString& caption);
// A report list whose header sorts on click and shows the sort's arrow. The
// `stretching` columns share the width the others leave; the others fit
// their contents and header, so every column stays in view.
void makeSortableList(QTreeView* view, QAbstractItemModel* model,
                      std::initializer_list<int> stretching);

// A window of its own beside the main window: Escape closes it.
void closeOnEscape(QWidget* window);
// Shows the window (centred on its owner's window the first time it opens,
// so it never lands in a corner of the screen) and brings it to the front.
void showCentred(QWidget* window);

} // namespace tv
