#pragma once

#include <QWebEnginePage>
#include <QWidget>

class QWebEngineView;

namespace quillet {

// A browser page that opens no windows of its own, notes every navigation
// about to begin and how its own loads go, and answers the page's dialogs
// itself: with Silent on (every load and submission sets it) alerts,
// confirmations, prompts and file choosers are dismissed at once (a
// confirmation or prompt answers no); with Silent off (after RunScript) they
// are shown, but only while the browser window is visible, so no dialog ever
// waits for a user who cannot see it.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile* profile, QWidget* window);
    bool NavigationStarted = false;          // in any frame
    bool MainFrameNavigationStarted = false; // of the top document
    bool Silent = true;
    // The top document's load: started, finished, and how it finished.
    bool LoadStarted = false;
    bool LoadDone = false;
    bool LoadOk = false;
    // A script did not end within the time limit, or the page's renderer
    // ended: nothing more is asked of the page. HungReason says which.
    bool Hung = false;
    QString HungReason;
    // Only http and https navigations (and the idle page) are followed.
    bool WebOnly = false;
    void resetLoadState();

signals:
    // A load started or finished: anyone waiting on this page looks again.
    void loadStateChanged();

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
// BrowserShow and BrowserHide. The browser view sits 50 units (twips) in from
// every edge; it is made on first need, since making it starts the browser
// engine, which a client that only uses the text functions never needs.
class BrowserWindow : public QWidget {
    Q_OBJECT
public:
    BrowserWindow();
    QWebEngineView* Browser = nullptr;
    QWebEngineView* createBrowser();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeBrowser();
};

} // namespace quillet
