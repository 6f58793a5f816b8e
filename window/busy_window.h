#pragma once

#include "games/game_install.h"

#include <QDialog>

class QLabel;
class QMovie;

namespace tv {

// frmSplash: "Processing UT 2003 Cache Files........" (UT 2004 for that game) with the search
// animation, shown without blocking while long operations run. Key presses
// and clicks on it do nothing.
class BusyWindow : public QDialog {
    Q_OBJECT
public:
    BusyWindow(const QString& animationFile, QWidget* parent = nullptr);
    // Shows it, naming the game worked on, and lets it paint once.
    void showBusy(Game game);
    void unload();

protected:
    void keyPressEvent(QKeyEvent*) override {}
    void mousePressEvent(QMouseEvent*) override {}
    void reject() override {}

private:
    void setGame(Game game);
    QMovie* m_movie;
    QLabel* m_text;
};

} // namespace tv
