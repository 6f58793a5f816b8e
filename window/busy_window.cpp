#include "busy_window.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QVBoxLayout>

namespace tv {

BusyWindow::BusyWindow(const QString& animationFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("frmSplash");
    setModal(false);
    auto* frame = new QGroupBox(this);
    auto* animation = new QLabel(frame);
    animation->setObjectName("Animation1");
    m_movie = new QMovie(animationFile, QByteArray(), this);
    animation->setMovie(m_movie);
    m_text = new QLabel(frame);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(animation);
    row->addWidget(m_text);
    setGame(Game::UT2003);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
}

void BusyWindow::setGame(Game game) {
    m_text->setText(game == Game::UT2004 ? "Processing UT 2004 Cache Files........"
                                         : "Processing UT 2003 Cache Files........");
}

void BusyWindow::showBusy(Game game) {
    setGame(game);
    m_movie->start();
    show();
    raise();
    QApplication::processEvents();
}

void BusyWindow::unload() {
    m_movie->stop();
    hide();
}

} // namespace tv
