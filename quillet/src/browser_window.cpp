#include "browser_window.h"

#include <QResizeEvent>
#include <QWebEngineView>

namespace quillet {

bool BrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    NavigationStarted = true;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

BrowserWindow::BrowserWindow() {
    setObjectName("frmBrowser");
    setWindowTitle(" > Browser");
    Browser = new QWebEngineView(this);
    Browser->setObjectName("Browser");
    resize(800, 600);
}

void BrowserWindow::resizeEvent(QResizeEvent* event) {
    // 50 twips at 15 twips to the pixel.
    const int margin = 50 / 15;
    Browser->setGeometry(margin, margin, std::max(0, width() - 2 * margin),
                         std::max(0, height() - 2 * margin));
    QWidget::resizeEvent(event);
}

} // namespace quillet
