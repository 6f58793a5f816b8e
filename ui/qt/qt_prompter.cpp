#include "qt_prompter.h"

#include "folder_chooser.h"

#include "qt_text.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSoundEffect>
#include <QUrl>

#include <cstdlib>

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
    // Every question of the program asks before changing something: Enter
    // takes the safe answer.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

Choice QtPrompter::choose(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Question, toDisplay(title), toDisplay(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Choice::Yes;
    case QMessageBox::No:
        return Choice::No;
    default:
        return Choice::Cancel;
    }
}

std::string QtPrompter::browseForFolder(const std::string& title) {
    // Where a player looks when the game was not found: dot folders shown.
    const char* home = std::getenv("HOME");
    return chooseFolder(m_parent, title, home ? home : "");
}

std::vector<std::string> QtPrompter::chooseFiles(const FileRequest& request) {
    // Qt's own dialog: its filters ignore letter case, so "*.ZIP" shows map.zip too.
    QFileDialog dialog(m_parent, toDisplay(request.title), toDisplay(request.initialFolder));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const auto& f : request.filters) {
        QString description = toDisplay(f.description).section('(', 0, 0).trimmed();
        filters << description + " (" + toDisplay(f.patterns).replace(';', ' ') + ")";
    }
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        int index = request.defaultFilter - 1;
        if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
    }
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save        ? QFileDialog::AnyFile
                       : request.several   ? QFileDialog::ExistingFiles
                       : request.mustExist ? QFileDialog::ExistingFile
                                           : QFileDialog::AnyFile);
    if (!request.defaultExt.empty()) dialog.setDefaultSuffix(toDisplay(request.defaultExt));
    if (!request.fileName.empty()) dialog.selectFile(toDisplay(request.fileName));
    // Room for the names, types and dates side by side, within a small screen.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 460)));
    std::vector<std::string> out;
    if (dialog.exec() != QDialog::Accepted) return out;
    for (const QString& f : dialog.selectedFiles())
        out.push_back(fromPathText(f));
    return out;
}

bool QtPrompter::isWindow(int64_t handle) const {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (handle != 0 && static_cast<int64_t>(w->internalWinId()) == handle) return true;
    return false;
}

bool QtShell::openInEditor(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

namespace {

// Whether the desktop names a program for mail links. Handing a mail link
// to xdg-open "succeeds" whether or not anything takes it, so the caller
// could not tell the user where else to write.
bool mailProgramKnown() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool QtShell::openDocument(const std::string& pathOrUrl) {
    QString s = QFile::decodeName(pathOrUrl.c_str());
    const bool mail = s.startsWith("mailto:");
    QUrl url = s.contains("://") || mail ? QUrl(s) : QUrl::fromLocalFile(s);
    if (mail && !mailProgramKnown()) return false;
    return QDesktopServices::openUrl(url);
}

bool QtShell::startProgram(const std::string& program) {
    return QProcess::startDetached(QFile::decodeName(program.c_str()), {});
}

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer() {
    delete m_effect;
}

void QtSoundPlayer::play(const std::string& wavFile) {
    if (!QFile::exists(QFile::decodeName(wavFile.c_str()))) return;
    if (!m_effect) m_effect = new QSoundEffect;
    m_effect->setSource(QUrl::fromLocalFile(QFile::decodeName(wavFile.c_str())));
    m_effect->play(); // returns at once; no device, no sound
}

} // namespace tv
