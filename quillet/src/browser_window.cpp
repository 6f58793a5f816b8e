#include "browser_window.h"

#include <QResizeEvent>
#include <QWebEngineView>

namespace quillet {

BrowserPage::BrowserPage(QWebEngineProfile* profile, QWidget* window)
    : QWebEnginePage(profile), m_window(window) {
    connect(this, &QWebEnginePage::loadStarted, this, [this] {
        LoadStarted = true;
        LoadDone = false;
        emit loadStateChanged();
    });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        LoadDone = true;
        LoadOk = ok;
        emit loadStateChanged();
    });
    // A renderer that crashed or was ended answers nothing more; whoever
    // waits on the page hears of it at once.
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this](RenderProcessTerminationStatus, int) {
                Hung = true;
                if (HungReason.isEmpty()) HungReason = QStringLiteral("the page's renderer ended");
                LoadDone = true;
                LoadOk = false;
                emit loadStateChanged();
            });
}

void BrowserPage::resetLoadState() {
    NavigationStarted = false;
    MainFrameNavigationStarted = false;
    LoadStarted = false;
    LoadDone = false;
    LoadOk = false;
}

bool BrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const QString scheme = url.scheme().toLower();
    if (WebOnly && scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
        url.toString() != QLatin1String("about:blank"))
        return false;
    NavigationStarted = true;
    if (isMainFrame) MainFrameNavigationStarted = true;
    emit loadStateChanged();
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

bool BrowserPage::dialogsShown() const {
    return !Silent && m_window && m_window->isVisible();
}

void BrowserPage::javaScriptAlert(const QUrl& origin, const QString& message) {
    if (dialogsShown()) QWebEnginePage::javaScriptAlert(origin, message);
}

bool BrowserPage::javaScriptConfirm(const QUrl& origin, const QString& message) {
    return dialogsShown() && QWebEnginePage::javaScriptConfirm(origin, message);
}

bool BrowserPage::javaScriptPrompt(const QUrl& origin, const QString& message, const QString& value,
                                   QString* result) {
    return dialogsShown() && QWebEnginePage::javaScriptPrompt(origin, message, value, result);
}

QStringList BrowserPage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                     const QStringList& acceptedMimeTypes) {
    if (!dialogsShown()) return {};
    return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

BrowserWindow::BrowserWindow() {
    setObjectName("frmBrowser");
    setWindowTitle(" > Browser");
    resize(800, 600);
}

QWebEngineView* BrowserWindow::createBrowser() {
    if (!Browser) {
        Browser = new QWebEngineView(this);
        Browser->setObjectName("Browser");
        placeBrowser();
    }
    return Browser;
}

void BrowserWindow::placeBrowser() {
    if (!Browser) return;
    // 50 twips at 15 twips to the pixel.
    const int margin = 50 / 15;
    Browser->setGeometry(margin, margin, std::max(0, width() - 2 * margin),
                         std::max(0, height() - 2 * margin));
}

void BrowserWindow::resizeEvent(QResizeEvent* event) {
    placeBrowser();
    QWidget::resizeEvent(event);
}

} // namespace quillet
