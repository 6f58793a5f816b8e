#include "status_tab.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace tv {

StatusTab::StatusTab(QWidget* parent) : QWidget(parent) {
    List1 = new QListWidget(this);
    List1->setObjectName("List1");
    // Whole lines: a long path scrolls sideways instead of being cut.
    List1->setTextElideMode(Qt::ElideNone);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(List1);
}

} // namespace tv
