#pragma once

// WebParser's inner state, shared by the files that implement its members.

#include <quillet/web_parser.h>

#include "browser_window.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <QWebEngineScript>

#include <functional>
#include <optional>
#include <vector>

class QWebEngineProfile;

namespace quillet {

QString jsonLiteral(const QJsonValue& value);

// The public interface speaks UTF-8 std::string, the inside Qt strings.
namespace convert {
inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string s(const QString& q) {
    return q.toStdString();
}
} // namespace convert

struct Rule {
    QString domain;
    int type;
    std::optional<QString> extra1, extra2;
};

// What one read of the document gave: the fields asked for, and whether the
// document could be read at all (the usability test).
struct DocumentRead {
    bool usable = false;
    QVariantMap values;
    QString value(const char* key) const {
        return values.value(QString::fromLatin1(key)).toString();
    }
};

struct WebParser::Impl {
    WebParser* q = nullptr;
    BrowserWindow* window = nullptr;
    QWebEngineProfile* profile = nullptr; // with the browser, on first need
    QPointer<BrowserPage> browser;        // the page the browser shows and navigates
    // The current document: the top document of `current`, or the frame that
    // `framePath` leads to from it (frame indexes, each level counted from 0).
    // The path is followed afresh by every script, so a frame that went away
    // makes the document unusable rather than leaving a stale reference.
    QPointer<BrowserPage> current;
    QList<int> framePath;
    QDateTime currentLoadedAt; // when the current document's load began
    QDateTime browserLoadStarted;
    std::vector<Rule> rules;
    bool rulesSkip = false;
    QString lastPercent;

    // ---- bounds and failures
    QString callFailure;      // why the call under way got no answer
    int memoryLimitMB = 1024; // a renderer's bound; 0: none
    bool pageScripts = true;
    bool webOnly = false;
    int textLimit = -1; // characters a query carries out; -1: no bound
    QTimer* watchdog = nullptr;
    void beginCall() { callFailure.clear(); }
    void noteFailure(const QString& why) {
        if (callFailure.isEmpty()) callFailure = why;
    }
    // Ends a renderer that has grown past the bound (every 100 ms while the
    // browser exists; events run during every wait).
    void watchMemory();

    Impl();
    ~Impl();

    void ensureBrowser();
    void newBrowserPage();
    void showPage(BrowserPage* page);

    // ---- progress ---------------------------------------------------------------------
    void onProgress(int progress, int max);

    // ---- scripts ------------------------------------------------------------------------
    // The page script `names` (files under quillet/scripts, compiled in),
    // one after another: "tables" then "table_count" make one body.
    static QString pageScript(std::initializer_list<const char*> names);
    static std::optional<QVariant> runScript(QWebEnginePage* page, const QString& script,
                                             quint32 world = QWebEngineScript::ApplicationWorld);
    // One round trip to a document: follows `path` from the page's top
    // document, applies the usability test, then runs `body` as a function
    // of d (the document), w (its window) and A (`args`, passed as a JSON
    // literal, never spliced into the script). Nothing when the document is
    // unusable or did not answer; a null value when `body` threw.
    static std::optional<QVariant> evaluate(QWebEnginePage* page, const QList<int>& path,
                                            const QString& body,
                                            const QJsonObject& args = QJsonObject());
    std::optional<QVariant> evaluateCurrent(const QString& body,
                                            const QJsonObject& args = QJsonObject()) {
        auto v = evaluate(current, framePath, body, args);
        dropHungCurrent();
        return v;
    }
    // The usability test and the fields, each an expression of the document `d`.
    static DocumentRead read(QWebEnginePage* page, const QList<int>& path,
                             std::initializer_list<std::pair<const char*, const char*>> fields,
                             int textLimit = -1);
    DocumentRead readCurrent(std::initializer_list<std::pair<const char*, const char*>> fields) {
        DocumentRead r = read(current, framePath, fields, textLimit);
        dropHungCurrent();
        return r;
    }
    // The current document is gone (its page hung, or it was being left when
    // a submission timed out): every member gives its empty result from now
    // on, and the browser gets a fresh, idle page.
    void abandonCurrent();
    void dropHungCurrent() {
        // A query while the page is gone fails as the page did.
        if (!current && !goneReason.isEmpty()) noteFailure(goneReason);
        if (!current || !current->Hung) return;
        noteFailure(current->HungReason);
        abandonCurrent();
    }
    // Why the current document was given up, until the next load.
    QString goneReason;

    // ---- loading -----------------------------------------------------------------------------
    // Lets events run until `done` holds or the clock is strictly past the
    // deadline; looks again whenever the page's load state changes, and at
    // least every `pollMs`. false at once when StopLoading was called.
    bool waitFor(BrowserPage* page, const std::function<bool()>& done, qint64 deadlineMs,
                 int pollMs = 0);
    bool stopRequested = false;     // StopLoading: the wait under way gives up
    QEventLoop* waitLoop = nullptr; // the wait's loop, to end it at once
    void goIdle();
    bool completed(BrowserPage* page, qint64 deadlineMs);
    bool LoadPage(const QString& address, const QString& timeout, int attempts);
    bool open(const QString& address, short timeoutSeconds);
    void setCurrent(BrowserPage* page);

    // ---- rules -------------------------------------------------------------------------------
    QString applyRules(QString text, const QString& domain, bool& invalid) const;
    // Only the InvalidText rules: for texts the rules must not rewrite.
    bool invalidByRules(const QString& text, const QString& domain) const;

    // ---- the page's text -----------------------------------------------------------------
    static QString domainOf(const QString& domain);
    static QString pageText(const DocumentRead& r);
    static QString pageHtml(const DocumentRead& r);
    QString paragraphNear(const QString& word, int instance, int number, int minimum, int step);
};

} // namespace quillet
