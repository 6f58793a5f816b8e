// A choice among the rows of a table (the installs found, ...), with a way
// to ask for something not listed and a way to leave.
#include "qt_prompter.h"
#include "qt_text.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tv {

namespace {

constexpr int kMaxColumnWidth = 360;

// The captions come as plain text; each gets an access key of its own: the
// first letter of one of its words that no caption before it took, else any
// such letter. An "&" of the caption stays a character.
QStringList withAccessKeys(const QStringList& captions) {
    QSet<QChar> taken;
    QStringList out;
    for (const QString& caption : captions) {
        auto free = [&](qsizetype i) {
            return caption[i].isLetterOrNumber() && !taken.contains(caption[i].toUpper());
        };
        qsizetype key = -1;
        for (qsizetype i = 0; i < caption.size() && key < 0; ++i)
            if (free(i) && (i == 0 || !caption[i - 1].isLetterOrNumber())) key = i;
        for (qsizetype i = 0; i < caption.size() && key < 0; ++i)
            if (free(i)) key = i;
        if (key >= 0) taken.insert(caption[key].toUpper());
        QString text;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            if (i == key || caption[i] == '&') text += '&';
            text += caption[i];
        }
        out << text;
    }
    return out;
}

QTreeWidget* makeTable(const ListRequest& request, QWidget* parent) {
    auto* table = new QTreeWidget(parent);
    table->setObjectName("lstChoices");
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTextElideMode(Qt::ElideMiddle); // a long path keeps its both ends
    QStringList headers;
    for (const auto& h : request.headers)
        headers << toDisplay(h);
    table->setHeaderLabels(headers);
    for (const auto& row : request.rows) {
        QStringList cells;
        for (const auto& c : row)
            cells << toDisplay(c);
        auto* item = new QTreeWidgetItem(table, cells);
        // The whole text when a cell is cut short.
        for (int i = 0; i < cells.size(); ++i)
            item->setToolTip(i, cells[i]);
    }
    // Every column in view: a long folder is cut in its middle (its tool tip
    // has it whole) rather than pushing the last columns out of sight.
    for (int i = 0; i < table->columnCount(); ++i) {
        table->resizeColumnToContents(i);
        table->setColumnWidth(i, std::min(table->columnWidth(i), kMaxColumnWidth));
    }
    if (table->topLevelItemCount() > 0) {
        const size_t first = request.selected < request.rows.size() ? request.selected : 0;
        table->setCurrentItem(table->topLevelItem(static_cast<int>(first)));
    }
    return table;
}

} // namespace

int QtPrompter::chooseFromList(const ListRequest& request) {
    QDialog dialog(m_parent);
    dialog.setObjectName("frmChooseFromList");
    dialog.setWindowTitle(toDisplay(request.title));
    auto* text = new QLabel(toDisplay(request.text), &dialog);
    text->setWordWrap(true);
    QTreeWidget* table = makeTable(request, &dialog);
    auto* buttons = new QDialogButtonBox(&dialog);
    const QStringList captions =
        withAccessKeys({toDisplay(request.chooseLabel), toDisplay(request.otherLabel),
                        toDisplay(request.leaveLabel)});
    QPushButton* choose = buttons->addButton(captions[0], QDialogButtonBox::AcceptRole);
    choose->setObjectName("cmdChoose");
    choose->setDefault(true);
    choose->setEnabled(table->currentItem() != nullptr);
    QPushButton* other = buttons->addButton(captions[1], QDialogButtonBox::ActionRole);
    other->setObjectName("cmdOther");
    QPushButton* leave = buttons->addButton(captions[2], QDialogButtonBox::RejectRole);
    leave->setObjectName("cmdLeave");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);

    int answer = kChoseNothing;
    QObject::connect(choose, &QPushButton::clicked, &dialog, [&] {
        if (!table->currentItem()) return;
        answer = table->indexOfTopLevelItem(table->currentItem());
        dialog.accept();
    });
    QObject::connect(table, &QTreeWidget::itemDoubleClicked, &dialog, [&](QTreeWidgetItem* item) {
        answer = table->indexOfTopLevelItem(item);
        dialog.accept();
    });
    QObject::connect(table, &QTreeWidget::currentItemChanged, &dialog,
                     [choose](QTreeWidgetItem* now) { choose->setEnabled(now != nullptr); });
    QObject::connect(other, &QPushButton::clicked, &dialog, [&] {
        answer = kChoseOther;
        dialog.accept();
    });
    QObject::connect(leave, &QPushButton::clicked, &dialog, &QDialog::reject);
    // Wide enough for the folders, within reason.
    int width = 40;
    for (int i = 0; i < table->columnCount(); ++i)
        width += table->columnWidth(i);
    dialog.resize(std::clamp(width, 520, 1000),
                  220 + 22 * std::min<int>(8, table->topLevelItemCount()));
    if (dialog.exec() != QDialog::Accepted) return kChoseNothing;
    return answer;
}

} // namespace tv
