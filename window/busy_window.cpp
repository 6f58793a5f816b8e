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
    auto* text = new QLabel("Processing UT 2003 Cache Files........", frame);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(animation);
    row->addWidget(text);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
}

void BusyWindow::showBusy() {
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
