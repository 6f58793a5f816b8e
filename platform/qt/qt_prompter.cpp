#include "qt_prompter.h"

#include "qt_text.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace tv {

static QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

void QtPrompter::message(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox box(qtIcon(icon), toDisplay(title), toDisplay(text), QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtPrompter::question(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox box(qtIcon(icon), toDisplay(title), toDisplay(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

std::string QtPrompter::browseForFolder(const std::string& title) {
    QString dir = QFileDialog::getExistingDirectory(m_parent, toDisplay(title));
    return dir.isEmpty() ? std::string() : fromPathText(dir);
}

std::vector<std::string> QtPrompter::chooseFiles(const std::string& title,
                                                 const std::string& filter, bool several) {
    // "Description (*.x)|*.x" pairs become Qt's "Description (*.x)" entries.
    QStringList parts = toDisplay(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i].section('(', 0, 0).trimmed() + " (" + parts[i + 1].replace(';', ' ') +
                       ")";
    QString joined = filters.join(";;");
    std::vector<std::string> out;
    if (several) {
        for (const QString& f :
             QFileDialog::getOpenFileNames(m_parent, toDisplay(title), {}, joined))
            out.push_back(fromPathText(f));
    } else {
        QString f = QFileDialog::getOpenFileName(m_parent, toDisplay(title), {}, joined);
        if (!f.isEmpty()) out.push_back(fromPathText(f));
    }
    return out;
}

bool QtShell::openInEditor(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

bool QtShell::openDocument(const std::string& pathOrUrl) {
    QString s = QFile::decodeName(pathOrUrl.c_str());
    QUrl url = s.contains("://") || s.startsWith("mailto:") ? QUrl(s) : QUrl::fromLocalFile(s);
    return QDesktopServices::openUrl(url);
}

} // namespace tv
