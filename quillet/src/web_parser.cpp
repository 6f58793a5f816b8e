#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "browser_window.h"
#include "text_functions.h"
#include "web_parser_impl.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <csignal>
#include <glob.h>
#include <sys/types.h>
#include <unistd.h>

namespace quillet {

using namespace quillet::text;
using namespace quillet::convert;

namespace {

const QUrl kIdlePage(QStringLiteral("about:blank"));
// How long one document read may take before the page counts as hung.
constexpr int kScriptTimeoutMs = 10000;
constexpr int kWatchdogMs = 100;

// The resident memory of a process in KiB, or -1.
long residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
// How often a load that is over is looked at until its document is complete.
constexpr int kReadyPollMs = 20;

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// True when a directory search with `path` as its pattern finds a name.
bool fileExistsPattern(const QString& path) {
    if (path.isEmpty()) return false;
    glob_t g{};
    QByteArray pattern = QFile::encodeName(path);
    bool found = ::glob(pattern.constData(), 0, nullptr, &g) == 0 && g.gl_pathc > 0;
    globfree(&g);
    return found;
}

} // namespace

// A value as a JavaScript literal (JSON-encoded), so nothing in it can end
// the literal or the script around it.
QString jsonLiteral(const QJsonValue& value) {
    QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

WebParser::Impl::Impl() {
    window = new BrowserWindow();
}

WebParser::Impl::~Impl() {
    delete window;
    delete browser.data();
    if (current != browser) delete current.data();
    delete profile;
}

void WebParser::Impl::ensureBrowser() {
    if (profile) return;
    // Chromium refuses its sandbox to root; everyone else keeps it.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    profile = new QWebEngineProfile(); // off the record: nothing is kept on disk
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    window->createBrowser();
    watchdog = new QTimer(window);
    watchdog->setInterval(kWatchdogMs);
    QObject::connect(watchdog, &QTimer::timeout, window, [this] { watchMemory(); });
    watchdog->start();
    newBrowserPage();
    browser->load(kIdlePage);
}

// A fresh page for the next load, so a page that failed or is still winding
// down cannot report into it. The current document's page is kept.
void WebParser::Impl::watchMemory() {
    if (memoryLimitMB <= 0) return;
    for (BrowserPage* page : {browser.data(), current.data()}) {
        if (!page || page->Hung) continue;
        const qint64 pid = page->renderProcessPid();
        if (pid <= 0) continue;
        const long kib = residentKiB(pid);
        if (kib < 0 || kib <= static_cast<long>(memoryLimitMB) * 1024) continue;
        // The termination signal marks the page; the reason goes first.
        page->HungReason =
            QStringLiteral("the page used more than %1 MB of memory").arg(memoryLimitMB);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

void WebParser::Impl::newBrowserPage() {
    auto* page = new BrowserPage(profile, window); // Silent until RunScript
    page->WebOnly = webOnly;
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, pageScripts);
    page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    QObject::connect(page, &QWebEnginePage::loadProgress, page, [this, page](int p) {
        if (page == browser || page == current) onProgress(p, 100);
    });
    showPage(page);
}

// Makes `page` the one the browser shows; the one shown before goes unless it
// holds the current document.
void WebParser::Impl::showPage(BrowserPage* page) {
    if (browser == page) return;
    BrowserPage* old = (browser && browser != current) ? browser.data() : nullptr;
    browser = page;
    window->Browser->setPage(page);
    delete old; // only after the view has let go of it
}

void WebParser::Impl::abandonCurrent() {
    QPointer<BrowserPage> old = current;
    goneReason = callFailure.isEmpty() ? QStringLiteral("the page is gone") : callFailure;
    current = nullptr;
    framePath.clear();
    if (old) old->triggerAction(QWebEnginePage::Stop);
    // The shown page goes with the new one unless it is still current.
    if (old && old != browser) old->deleteLater();
    newBrowserPage();
    browser->load(kIdlePage);
}

void WebParser::Impl::setCurrent(BrowserPage* page) {
    if (current && current != page && current != browser) delete current.data();
    current = page;
    framePath.clear();
    goneReason.clear();
}

// ---- progress ---------------------------------------------------------------------------
void WebParser::Impl::onProgress(int progress, int max) {
    if (lastPercent.isEmpty()) lastPercent = QStringLiteral("0");
    if (progress == -1 || (progress == 0 && lastPercent == QLatin1String("0"))) return;
    if (progress == 0) {
        lastPercent = QStringLiteral("0");
        if (q->ProgressChange) q->ProgressChange(0, 100, "0%");
        return;
    }
    if (max == 0) return;
    double exact = static_cast<double>(progress) / max * 100.0;
    int p = static_cast<int>(std::nearbyint(exact)); // halves to the even number
    if (p > lastPercent.toInt() && p <= 100) {
        lastPercent = QString::number(p);
        if (q->ProgressChange) q->ProgressChange(static_cast<short>(p), 100, s(lastPercent + '%'));
    }
}

// ---- scripts ------------------------------------------------------------------------------
std::optional<QVariant> WebParser::Impl::runScript(QWebEnginePage* page, const QString& script,
                                                   quint32 world) {
    if (!page) return std::nullopt;
    auto* own = qobject_cast<BrowserPage*>(page);
    if (own && own->Hung) return std::nullopt; // it would not answer this time either
    const qint64 deadline = nowMs() + kScriptTimeoutMs;
    struct State {
        bool done = false;
        QVariant value;
        QEventLoop* loop = nullptr;
    };
    auto state = std::make_shared<State>();
    page->runJavaScript(script, world, [state](const QVariant& v) {
        state->value = v;
        state->done = true;
        if (state->loop) state->loop->quit();
    });
    // Waits for the answer, the time limit, or the renderer's end.
    while (!state->done && !(own && own->Hung) && nowMs() < deadline) {
        QEventLoop loop;
        state->loop = &loop;
        if (own) QObject::connect(own, &BrowserPage::loadStateChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(static_cast<int>(std::max<qint64>(1, deadline - nowMs())), &loop,
                           &QEventLoop::quit);
        loop.exec();
        state->loop = nullptr;
    }
    if (!state->done) {
        if (own && !own->Hung) {
            own->Hung = true;
            own->HungReason =
                QStringLiteral("the page did not answer within %1 s").arg(kScriptTimeoutMs / 1000);
        }
        return std::nullopt;
    }
    return state->value;
}

QString WebParser::Impl::pageScript(std::initializer_list<const char*> names) {
    static QHash<QString, QString> loaded;
    QString script;
    for (const char* name : names) {
        const QString key = QLatin1String(name);
        auto it = loaded.find(key);
        if (it == loaded.end()) {
            QFile file(QStringLiteral(":/quillet/scripts/") + key + QStringLiteral(".js"));
            // Compiled in: a missing one is a build fault, caught by every test.
            const bool opened = file.open(QIODevice::ReadOnly);
            Q_ASSERT(opened);
            it = loaded.insert(key, opened ? QString::fromUtf8(file.readAll()) : QString());
        }
        script += *it;
        script += QLatin1Char('\n');
    }
    return script;
}

std::optional<QVariant> WebParser::Impl::evaluate(QWebEnginePage* page, const QList<int>& path,
                                                  const QString& body, const QJsonObject& args) {
    if (!page) return std::nullopt;
    QJsonArray steps;
    for (int i : path)
        steps.append(i);
    // The frame (in_document.js) reaches and tests the document, then runs the body.
    static const QString frame = pageScript({"in_document"});
    QString script = frame;
    script.replace(QStringLiteral("__BODY__"), QLatin1Char('\n') + body + QLatin1Char('\n'));
    script += QLatin1Char('(') + jsonLiteral(steps) + QLatin1Char(',') + jsonLiteral(args) +
              QLatin1Char(')');
    auto v = runScript(page, script);
    if (!v || v->typeId() != QMetaType::QVariantMap) return std::nullopt;
    return v->toMap().value(QStringLiteral("v"));
}

DocumentRead
WebParser::Impl::read(QWebEnginePage* page, const QList<int>& path,
                      std::initializer_list<std::pair<const char*, const char*>> fields,
                      int textLimit) {
    QString body = QStringLiteral("var r={t:d.title,u:d.URL};");
    for (const auto& [key, expr] : fields) {
        // A bound on what is carried out: each text is cut in the page itself.
        const QString value = textLimit < 0
                                  ? QLatin1Char('(') + QLatin1String(expr) + QLatin1Char(')')
                                  : QStringLiteral("String(") + QLatin1String(expr) +
                                        QStringLiteral(").slice(0,") + QString::number(textLimit) +
                                        QLatin1Char(')');
        body += QStringLiteral("try{r['%1']=").arg(QLatin1String(key)) + value +
                QStringLiteral(";}catch(e){r['%1']='';}").arg(QLatin1String(key));
    }
    body += QStringLiteral("return r;");
    DocumentRead r;
    auto v = evaluate(page, path, body);
    if (!v) return r;
    r.usable = true;
    r.values = v->toMap();
    return r;
}

// ---- loading ---------------------------------------------------------------------------------
bool WebParser::Impl::waitFor(BrowserPage* page, const std::function<bool()>& done,
                              qint64 deadlineMs, int pollMs) {
    QPointer<BrowserPage> guard(page);
    while (!done()) {
        if (stopRequested) return false;
        qint64 left = deadlineMs - nowMs();
        if (left < 0) return false; // strictly later than the deadline
        QEventLoop loop;
        if (guard)
            QObject::connect(guard, &BrowserPage::loadStateChanged, &loop, &QEventLoop::quit);
        qint64 wait = left + 1;
        if (pollMs > 0) wait = std::min<qint64>(wait, pollMs);
        QTimer::singleShot(static_cast<int>(wait), &loop, &QEventLoop::quit);
        QEventLoop* outer = waitLoop;
        waitLoop = &loop;
        loop.exec();
        waitLoop = outer;
    }
    return true;
}

void WebParser::Impl::goIdle() {
    browser->triggerAction(QWebEnginePage::Stop);
    browser->load(kIdlePage);
}

// Completion: the load went well, the document is complete and can be read,
// and it is not one of the engine's own pages.
bool WebParser::Impl::completed(BrowserPage* page, qint64 deadlineMs) {
    auto complete = [page] {
        auto v = evaluate(page, {}, pageScript({"ready_state"}));
        // A page whose own script never ends will not answer: stop waiting.
        return page->Hung || (v && v->toString() == QLatin1String("complete"));
    };
    bool ok = page->LoadOk && waitFor(page, complete, deadlineMs, kReadyPollMs) && !page->Hung;
    page->triggerAction(QWebEnginePage::Stop);
    if (ok && read(page, {}, {}).usable) {
        QCoreApplication::processEvents();
        return true;
    }
    showPage(page);
    goIdle();
    return false;
}

bool WebParser::Impl::LoadPage(const QString& address, const QString& timeout, int attempts) {
    ensureBrowser();
    if (attempts < 1) attempts = 1;
    QUrl url = fileExistsPattern(address)
                   ? QUrl::fromLocalFile(QFileInfo(address).absoluteFilePath())
                   : QUrl::fromUserInput(address);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        qint64 deadline = nowMs() + static_cast<qint64>(timeout.toDouble() / attempts * 1000.0);
        newBrowserPage();
        BrowserPage* page = browser;
        page->Silent = true;
        page->resetLoadState();
        browserLoadStarted = QDateTime::currentDateTime();
        page->load(url);
        if (waitFor(
                page, [page] { return page->LoadDone; }, deadline)) {
            if (completed(page, deadline)) return true;
            noteFailure(page->Hung ? page->HungReason
                                   : QStringLiteral("the page could not be loaded or read"));
            continue;
        }
        noteFailure(stopRequested ? QStringLiteral("the load was stopped")
                    : page->Hung  ? page->HungReason
                                  : QStringLiteral("the page did not load within %1 s")
                                       .arg(static_cast<int>(timeout.toDouble())));
        goIdle();
        if (stopRequested) break;
    }
    return false;
}

bool WebParser::Impl::open(const QString& address, short timeoutSeconds) {
    stopRequested = false;
    if (!NetConnection().IsConnected() && !fileExistsPattern(address)) return false;
    if (!LoadPage(address, QString::number(timeoutSeconds), 1)) return false;
    setCurrent(browser);
    currentLoadedAt = browserLoadStarted;
    return true;
}

// ---- rules -------------------------------------------------------------------------------
namespace {
bool ruleApplies(const Rule& r, const QString& domain) {
    return domain.contains(r.domain, Qt::CaseInsensitive) ||
           trimSpaces(r.domain) == QLatin1String("all");
}
} // namespace

// The text after every rule that applies to `domain`; `invalid` when an
// InvalidText rule matched.
QString WebParser::Impl::applyRules(QString text, const QString& domain, bool& invalid) const {
    invalid = false;
    if (rulesSkip || rules.empty()) return text;
    for (const Rule& r : rules) {
        if (!ruleApplies(r, domain)) continue;
        switch (r.type) {
        case InvalidText:
            if (r.extra1 && text.contains(*r.extra1, Qt::CaseInsensitive)) {
                invalid = true;
                return text;
            }
            break;
        case RemoveText:
            if (r.extra1) text = removeText(text, *r.extra1);
            break;
        case RemoveDate:
            text = removeDates(text, PastWeek, 0, QDate::currentDate()).value_or(text);
            break;
        case RemoveTextBetween:
            if (r.extra1 && r.extra2)
                text = removeTextBetween(text, *r.extra1, *r.extra2, true, nullptr);
            break;
        case CutAtString:
            if (r.extra1) text = textBeforeWord(text, *r.extra1, false);
            break;
        case ChangeToHeadlineCase:
            text = convertCase(text, NewsHeadline);
            break;
        case ReplaceText:
            if (r.extra1) text = replaceText(text, *r.extra1, r.extra2.value_or(QString()));
            break;
        default:
            break;
        }
    }
    return text;
}

bool WebParser::Impl::invalidByRules(const QString& text, const QString& domain) const {
    if (rulesSkip) return false;
    for (const Rule& r : rules)
        if (r.type == InvalidText && r.extra1 && ruleApplies(r, domain) &&
            text.contains(*r.extra1, Qt::CaseInsensitive))
            return true;
    return false;
}

// ---- the page's text -----------------------------------------------------------------
QString WebParser::Impl::domainOf(const QString& domain) {
    QString d = domain;
    d.remove(QStringLiteral("http://"));
    d.remove('/');
    return d;
}

// The engine ends lines with LF; the text is handed out with CR LF.
QString WebParser::Impl::pageText(const DocumentRead& r) {
    QString t = r.value("text");
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace('\n', QStringLiteral("\r\n"));
    return fullTrim(t);
}

QString WebParser::Impl::pageHtml(const DocumentRead& r) {
    QString h = fullTrim(r.value("html"));
    QString x = r.value("head");
    QString out = QStringLiteral("<HTML>\r\n");
    if (!x.isEmpty()) out += QStringLiteral("<HEAD>\r\n") + x + QStringLiteral("\r\n</HEAD>\r\n");
    return out + h + QStringLiteral("\r\n</HTML>");
}

// Paragraph walk before or after the piece holding a word.
QString WebParser::Impl::paragraphNear(const QString& word, int instance, int number, int minimum,
                                       int step) {
    DocumentRead r = readCurrent({{"text", "d.body.outerText"}, {"domain", "d.domain"}});
    if (!r.usable) return {};
    QStringList pieces = pageText(r).split('\r');
    QString domain = domainOf(r.value("domain"));
    qsizetype at = -1;
    int seen = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces[i].contains(word, Qt::CaseInsensitive) && ++seen == instance) {
            at = i;
            break;
        }
    }
    if (at < 0) return {};
    QString last;
    int counted = 0;
    for (qsizetype i = at + step; i >= 0 && i < pieces.size(); i += step) {
        if (pieces[i].size() < minimum) continue;
        bool invalid = false;
        last = applyRules(fullTrim(pieces[i]), domain, invalid);
        if (!invalid && ++counted == number) return last;
    }
    return last;
}

WebParser::WebParser() : d(std::make_unique<Impl>()) {
    d->q = this;
}
WebParser::~WebParser() = default;

bool WebParser::OpenSite(const std::string& URL, short TimeoutSeconds, bool) {
    d->beginCall();
    return d->open(q(URL), TimeoutSeconds);
}

bool WebParser::LastCallFailed() const {
    return !d->callFailure.isEmpty();
}

std::string WebParser::LastCallFailure() const {
    return s(d->callFailure);
}

// The members that need no page (these settings, the rules, the text
// functions, the browser window's) always have their answer, also while the
// page is given up: each clears the failure of the call before it, so that
// LastCallFailed() speaks of them.
void WebParser::SetRendererMemoryLimit(int Megabytes) {
    d->beginCall();
    d->memoryLimitMB = std::max(0, Megabytes);
}

void WebParser::SetPageScriptsEnabled(bool Enabled) {
    d->beginCall();
    d->pageScripts = Enabled;
}

void WebParser::SetWebAddressesOnly(bool Only) {
    d->beginCall();
    d->webOnly = Only;
}

void WebParser::SetDocumentTextLimit(int Characters) {
    d->beginCall();
    d->textLimit = Characters < 0 ? -1 : Characters;
}

// Called while a load waits, and part of it: the load's failure stays.
void WebParser::StopLoading() {
    d->stopRequested = true;
    if (d->waitLoop) d->waitLoop->quit();
}

bool WebParser::OpenSearch(const std::string& SpecialURL, const std::string& Keywords,
                           bool OpenInBrowserWindow, short TimeoutSeconds, bool) {
    d->beginCall();
    QString special = q(SpecialURL);
    if (!NetConnection().IsConnected() && !fileExistsPattern(special)) return false;
    if (!special.contains(QStringLiteral("***"))) return false;
    QString address = special;
    address.replace(QStringLiteral("***"), urlEncode(q(Keywords)));
    if (!OpenInBrowserWindow) return d->open(address, TimeoutSeconds);
    QDesktopServices::openUrl(QUrl(address));
    return true;
}

std::string WebParser::GetParagraph(short ParagraphNumber, int MinimumLength) {
    d->beginCall();
    DocumentRead r = d->readCurrent({{"text", "d.body.outerText"}, {"domain", "d.domain"}});
    if (!r.usable) return {};
    QString domain = Impl::domainOf(r.value("domain"));
    int counted = 0;
    for (const QString& piece : Impl::pageText(r).split('\r')) {
        if (piece.size() <= MinimumLength) continue;
        bool invalid = false;
        QString text = d->applyRules(fullTrim(piece), domain, invalid);
        if (!invalid && ++counted == ParagraphNumber) return s(text);
    }
    return {};
}

std::string WebParser::GetParagraphBefore(const std::string& BeforeWord, short WordInstance,
                                          short ParagraphNumber, int MinimumLength) {
    d->beginCall();
    return s(d->paragraphNear(q(BeforeWord), WordInstance, ParagraphNumber, MinimumLength, -1));
}

std::string WebParser::GetParagraphAfter(const std::string& AfterWord, short WordInstance,
                                         short ParagraphNumber, int MinimumLength) {
    d->beginCall();
    return s(d->paragraphNear(q(AfterWord), WordInstance, ParagraphNumber, MinimumLength, +1));
}

std::string WebParser::GetTextBetweenText(const std::string& OpenTag, const std::string& CloseTag,
                                          bool IncludeTags, short Instance, bool UseHTML) {
    d->beginCall();
    DocumentRead r = UseHTML
                         ? d->readCurrent({{"html", "d.body.outerHTML"},
                                           {"head", "d.getElementsByTagName('HEAD')[0].innerHTML"}})
                         : d->readCurrent({{"text", "d.body.outerText"}});
    if (!r.usable) return {};
    QString source = UseHTML ? Impl::pageHtml(r) : Impl::pageText(r);
    return s(textBetween(source, q(OpenTag), q(CloseTag), IncludeTags, Instance));
}

std::string WebParser::PageHTML() {
    d->beginCall();
    DocumentRead r = d->readCurrent(
        {{"html", "d.body.outerHTML"}, {"head", "d.getElementsByTagName('HEAD')[0].innerHTML"}});
    return r.usable ? s(Impl::pageHtml(r)) : std::string();
}

std::string WebParser::PageText() {
    d->beginCall();
    DocumentRead r = d->readCurrent({{"text", "d.body.outerText"}});
    return r.usable ? s(Impl::pageText(r)) : std::string();
}

std::string WebParser::PageTitle() {
    d->beginCall();
    DocumentRead r = d->readCurrent({});
    return r.usable ? s(r.value("t")) : std::string();
}

std::string WebParser::PageURL() {
    d->beginCall();
    DocumentRead r = d->readCurrent({});
    return r.usable ? s(r.value("u")) : std::string();
}

std::string WebParser::Domain() {
    d->beginCall();
    DocumentRead r = d->readCurrent({{"domain", "d.domain"}});
    return r.usable ? s(Impl::domainOf(r.value("domain"))) : std::string();
}

std::string WebParser::DomainCore() {
    d->beginCall();
    DocumentRead r = d->readCurrent({{"domain", "d.domain"}});
    if (!r.usable) return {};
    return s(Impl::domainOf(r.value("domain")).remove(QStringLiteral("www.")));
}

std::string WebParser::PageLastUpdated() {
    d->beginCall();
    DocumentRead r = d->readCurrent({{"modified", "d.lastModified"}});
    if (!r.usable) return {};
    // The engine gives "MM/DD/YYYY hh:mm:ss", and the time of the load when the
    // server named no date: that counts as no date.
    QString modified = trimSpaces(r.value("modified"));
    QDateTime when = QDateTime::fromString(modified, QStringLiteral("MM/dd/yyyy HH:mm:ss"));
    if (modified.isEmpty() ||
        (when.isValid() && d->currentLoadedAt.isValid() && when >= d->currentLoadedAt.addSecs(-2)))
        return "No Date Available";
    QString fileDate = modified.section(' ', 0, 0);
    QStringList parts = fileDate.split('/');
    QString converted;
    int month = parts.size() >= 3 ? parts[0].toInt() - 1 : -1;
    if (month >= 0 && month <= 11) {
        static const char* const months = "JanFebMarAprMayJunJulAugSepOctNovDec";
        QString text = QString::fromLatin1(months + static_cast<ptrdiff_t>(month) * 3, 3) + ' ' +
                       parts[1] + ", " + parts[2];
        QDate date = QDate::fromString(text, QStringLiteral("MMM d, yyyy"));
        if (!date.isValid()) date = QDate::fromString(text, QStringLiteral("MMM dd, yyyy"));
        if (date.isValid()) converted = QLocale::system().toString(date, QLocale::LongFormat);
    }
    if (converted.contains(QStringLiteral("1601"))) return "No Date Available";
    return s(converted);
}

void WebParser::RulesAdd(RuleType Rule, const std::string& Domain,
                         std::optional<std::string> Extra1, std::optional<std::string> Extra2) {
    d->beginCall();
    struct Rule r {
        q(Domain), Rule, std::nullopt, std::nullopt
    };
    if (Extra1) r.extra1 = q(*Extra1);
    if (Extra2) r.extra2 = q(*Extra2);
    d->rules.push_back(std::move(r));
}

void WebParser::RulesClear() {
    d->beginCall();
    d->rules.clear();
}
void WebParser::RulesSkip(bool skip) {
    d->beginCall();
    d->rulesSkip = skip;
}
bool WebParser::RulesSkip() const {
    d->beginCall();
    return d->rulesSkip;
}

std::string WebParser::GE_RemoveText(const std::string& Text, const std::string& TextToRemove) {
    d->beginCall();
    return s(removeText(q(Text), q(TextToRemove)));
}

std::string WebParser::GE_RemoveTextBetween(const std::string& Text, const std::string& OpenTag,
                                            const std::string& CloseTag, bool SnipTags,
                                            std::string* RemovedText) {
    d->beginCall();
    QString removed;
    QString out = removeTextBetween(q(Text), q(OpenTag), q(CloseTag), SnipTags,
                                    RemovedText ? &removed : nullptr);
    if (RemovedText && !removed.isNull()) *RemovedText = s(removed);
    return s(out);
}

std::string WebParser::GE_GetTextBeforeWord(const std::string& Text, const std::string& Word,
                                            bool IncludeWord) {
    d->beginCall();
    return s(textBeforeWord(q(Text), q(Word), IncludeWord));
}

std::string WebParser::GE_GetTextAfterWord(const std::string& Text, const std::string& Word,
                                           bool IncludeWord) {
    d->beginCall();
    return s(textAfterWord(q(Text), q(Word), IncludeWord));
}

std::optional<std::string> WebParser::GE_RemoveDates(const std::string& Text, int TypeToRemove,
                                                     short WithinCharacters) {
    d->beginCall();
    auto r = removeDates(q(Text), TypeToRemove, WithinCharacters, QDate::currentDate());
    if (!r) return std::nullopt;
    return s(*r);
}

std::string WebParser::GE_FullTrim(const std::string& TrimText) {
    d->beginCall();
    return s(fullTrim(q(TrimText)));
}

std::string WebParser::GE_CutIntro(const std::string& Text, short WithinCharacters) {
    d->beginCall();
    return s(cutIntro(q(Text), WithinCharacters));
}

std::string WebParser::GE_Replace(const std::string& Text, const std::string& FindWhat,
                                  const std::string& ReplaceWith) {
    d->beginCall();
    return s(replaceText(q(Text), q(FindWhat), q(ReplaceWith)));
}

bool WebParser::GE_SimilarSubjects(const std::string& Words1, const std::string& Words2) {
    d->beginCall();
    return similarSubjects(q(Words1), q(Words2));
}

std::string WebParser::GE_GetCategory(const std::string& Title, const std::string& CategoryList) {
    d->beginCall();
    return s(getCategory(q(Title), q(CategoryList)));
}

std::string WebParser::GE_RemoveLines(const std::string& Text, const std::string& WithString) {
    d->beginCall();
    return s(removeLines(q(Text), q(WithString)));
}

std::string WebParser::GE_RemoveExcessSpaces(const std::string& Text) {
    d->beginCall();
    return s(removeExcessSpaces(q(Text)));
}

std::string WebParser::GE_CutToSentences(const std::string& Text, short CutToSentence) {
    d->beginCall();
    return s(cutToSentences(q(Text), CutToSentence));
}

std::string WebParser::GE_ConvertCase(const std::string& Text, int ConvertType) {
    d->beginCall();
    return s(convertCase(q(Text), ConvertType));
}

void WebParser::BrowserHide() {
    d->beginCall();
    if (d->window) d->window->hide();
}

void WebParser::BrowserShow(const std::string& Title, bool Maximised) {
    d->beginCall();
    if (!d->window) return;
    d->ensureBrowser();
    d->window->setWindowTitle(q(Title));
    d->window->setWindowState(Maximised ? Qt::WindowMaximized : Qt::WindowNoState);
    d->window->show();
    d->window->raise();
    d->window->activateWindow();
}

bool WebParser::BrowserReady() {
    d->beginCall();
    return d->browser && d->browser->LoadDone && d->browser->LoadOk;
}

} // namespace quillet
