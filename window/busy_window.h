#pragma once

#include <QDialog>

class QMovie;

namespace tv {

// frmSplash: "Processing UT 2003 Cache Files........" with the search
// animation, shown without blocking while long operations run. Key presses
// and clicks on it do nothing.
class BusyWindow : public QDialog {
    Q_OBJECT
public:
    BusyWindow(const QString& animationFile, QWidget* parent = nullptr);
    void showBusy(); // shows it and lets it paint once
    void unload();

protected:
    void keyPressEvent(QKeyEvent*) override {}
    void mousePressEvent(QMouseEvent*) override {}
    void reject() override {}

private:
    QMovie* m_movie;
};

} // namespace tv
