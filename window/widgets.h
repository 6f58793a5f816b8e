#pragma once

#include <QString>

#include <initializer_list>

class QAbstractItemModel;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;
class QWidget;

namespace tv {

// Controls with their object name, caption and tool tip, as tests find them.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& tip = {});
QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption,
                     const QString& tip = {});
QRadioButton* makeOption(QWidget* parent, const char* name, const QString& caption,
                         const QString& tip = {});
QLineEdit* makeText(QWidget* parent, const char* name, const QString& tip = {});
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text = {});
QGroupBox* makeFrame(QWidget* parent, const QString& caption);
// A report list whose header sorts on click, with its columns' widths in twips.
void makeSortableList(QTreeView* view, QAbstractItemModel* model,
                      std::initializer_list<int> widths);

// A window of its own beside the main window: Escape closes it.
void closeOnEscape(QWidget* window);
// Shows the window (centred on its owner's window the first time it opens,
// so it never lands in a corner of the screen) and brings it to the front.
void showCentred(QWidget* window);

// Column widths are given in twips (1/1440 inch); 15 twips make a pixel at 96 dpi.
inline int twips(int t) {
    return t / 15;
}

} // namespace tv
