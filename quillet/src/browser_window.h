#pragma once

#include <QWebEnginePage>
#include <QWidget>

class QWebEngineView;

namespace quillet {

// A browser page that opens no windows of its own, notes every navigation
// about to begin, and answers the page's dialogs itself: with Silent on
// (every load sets it) alerts, confirmations, prompts and file choosers are
// dismissed at once (a confirmation or prompt answers no); with Silent off
// (after RunScript) they are shown, but only while the browser window is
// visible, so no dialog ever waits for a user who cannot see it.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile* profile, QWidget* window)
        : QWebEnginePage(profile), m_window(window) {}
    bool NavigationStarted = false;
    bool Silent = true;

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& origin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& value,
                          QString* result) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    bool dialogsShown() const;
    QWidget* m_window;
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
