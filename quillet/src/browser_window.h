#pragma once

#include <QWebEnginePage>
#include <QWidget>

class QWebEngineView;

namespace quillet {

// A browser page that opens no windows of its own and notes every navigation
// about to begin.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
    bool NavigationStarted = false;

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

// frmBrowser: the hidden window that holds the browser, shown only between
// BrowserShow and BrowserHide. The browser sits 50 units (twips) in from
// every edge.
class BrowserWindow : public QWidget {
    Q_OBJECT
public:
    BrowserWindow();
    QWebEngineView* Browser;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace quillet
