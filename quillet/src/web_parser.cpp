#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "browser_window.h"
#include "text_functions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <glob.h>
#include <unistd.h>

namespace quillet {

using namespace quillet::text;

namespace {

const QUrl kIdlePage(QStringLiteral("about:blank"));
// How long one document read may take before the page counts as hung.
constexpr int kScriptTimeoutMs = 10000;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& q) {
    return q.toStdString();
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

struct Rule {
    QString domain;
    int type;
    std::optional<QString> extra1, extra2;
};

// What one read of the document gave: its title and address (the usability
// test) and the fields asked for.
// A text as a JavaScript string literal (JSON-encoded), so nothing in it can
// end the literal or the script around it.
QString jsonString(const std::string& text) {
    QJsonArray holder{QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))};
    QByteArray json = QJsonDocument(holder).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

struct DocumentRead {
    bool usable = false;
    QVariantMap values;
    QString value(const char* key) const {
        return values.value(QString::fromLatin1(key)).toString();
    }
};

} // namespace

struct WebParser::Impl {
    WebParser* q = nullptr;
    QWebEngineProfile* profile = nullptr;
    BrowserWindow* window = nullptr;
    QPointer<BrowserPage> browser; // the page the browser shows and navigates
    QPointer<BrowserPage> current; // CurrentDocument
    QDateTime currentLoadedAt;     // when the current document's load began
    QDateTime browserLoadStarted;
    std::vector<Rule> rules;
    bool rulesSkip = false;
    QString lastPercent;
    bool loadDone = false;
    bool loadOk = false;
    QEventLoop* waiting = nullptr;

    Impl() {
        // Chromium refuses its sandbox to root; everyone else keeps it.
        if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        profile = new QWebEngineProfile(); // off the record: nothing is kept on disk
        profile->setHttpCacheType(QWebEngineProfile::NoCache);
        window = new BrowserWindow();
        newBrowserPage();
        browser->load(kIdlePage);
    }

    ~Impl() {
        delete window;
        delete browser.data();
        if (current != browser) delete current.data();
        delete profile;
    }

    // A fresh page for the next load, so a page that failed or is still
    // winding down cannot report into it. The current document's page is kept.
    void newBrowserPage() {
        BrowserPage* old = (browser && browser != current) ? browser.data() : nullptr;
        auto* page = new BrowserPage(profile, window); // Silent until RunScript
        page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        QObject::connect(page, &QWebEnginePage::loadProgress, page,
                         [this](int p) { onProgress(p, 100); });
        QObject::connect(page, &QWebEnginePage::loadFinished, page, [this, page](bool ok) {
            if (page != browser) return;
            loadDone = true;
            loadOk = ok;
            if (waiting) waiting->quit();
        });
        browser = page;
        window->Browser->setPage(page);
        delete old; // only after the view has let go of it
    }

    // ---- progress ---------------------------------------------------------------------
    void onProgress(int progress, int max) {
        if (lastPercent.isEmpty()) lastPercent = QStringLiteral("0");
        if (progress == -1 || (progress == 0 && lastPercent == QLatin1String("0"))) return;
        if (progress == 0) {
            lastPercent = QStringLiteral("0");
            raise(0, 100, QStringLiteral("0%"));
            return;
        }
        if (max == 0) return;
        double exact = static_cast<double>(progress) / max * 100.0;
        int p = static_cast<int>(std::nearbyint(exact)); // halves to the even number
        if (p > lastPercent.toInt() && p <= 100) {
            lastPercent = QString::number(p);
            raise(static_cast<short>(p), 100, lastPercent + '%');
        }
    }
    void raise(short value, short max, const QString& text) {
        if (q->ProgressChange) q->ProgressChange(value, max, s(text));
    }

    // ---- scripts ---------------------------------------------------------------------------
    static std::optional<QVariant> runScript(
        QWebEnginePage* page, const QString& script,
        quint32 world = QWebEngineScript::ApplicationWorld) {
        if (!page) return std::nullopt;
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
        if (!state->done) {
            QEventLoop loop;
            state->loop = &loop;
            QTimer::singleShot(kScriptTimeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
            state->loop = nullptr;
        }
        if (!state->done) return std::nullopt;
        return state->value;
    }

    // One round trip: the usability test and the fields, each an expression
    // of the document `d`.
    static DocumentRead read(QWebEnginePage* page,
                             std::initializer_list<std::pair<const char*, const char*>> fields) {
        QString script =
            QStringLiteral("(function(){try{var d=document;var r={t:d.title,u:d.URL};");
        for (const auto& [key, expr] : fields)
            script += QStringLiteral("try{r['%1']=(%2);}catch(e){r['%1']='';}")
                          .arg(QLatin1String(key), QLatin1String(expr));
        script += QStringLiteral("return r;}catch(e){return null;}})()");
        DocumentRead r;
        auto v = runScript(page, script);
        if (!v || v->typeId() != QMetaType::QVariantMap) return r;
        r.values = v->toMap();
        if (!r.values.contains(QStringLiteral("t")) || !r.values.contains(QStringLiteral("u")))
            return r;
        r.usable = !r.value("u").contains(QStringLiteral("res://"), Qt::CaseInsensitive);
        return r;
    }

    DocumentRead readCurrent(std::initializer_list<std::pair<const char*, const char*>> fields) {
        return read(current, fields);
    }

    // ---- loading ---------------------------------------------------------------------------
    // Waits for the browser's page to complete; false when the deadline passed.
    bool waitUntil(qint64 deadlineMs) {
        while (!loadDone) {
            qint64 left = deadlineMs - QDateTime::currentMSecsSinceEpoch();
            if (left < 0) return false; // strictly later than the deadline
            QEventLoop loop;
            waiting = &loop;
            QTimer::singleShot(static_cast<int>(left) + 1, &loop, &QEventLoop::quit);
            loop.exec();
            waiting = nullptr;
        }
        return true;
    }

    void goIdle() {
        browser->triggerAction(QWebEnginePage::Stop);
        browser->load(kIdlePage);
    }

    // Completion: the document can be read and is not one of the engine's own pages.
    bool completed() {
        browser->triggerAction(QWebEnginePage::Stop);
        if (loadOk && read(browser, {}).usable) {
            QCoreApplication::processEvents();
            return true;
        }
        goIdle();
        return false;
    }

    bool LoadPage(const QString& address, const QString& timeout, int attempts) {
        if (attempts < 1) attempts = 1;
        QUrl url = fileExistsPattern(address)
                       ? QUrl::fromLocalFile(QFileInfo(address).absoluteFilePath())
                       : QUrl::fromUserInput(address);
        for (int attempt = 0; attempt < attempts; ++attempt) {
            qint64 deadline = QDateTime::currentMSecsSinceEpoch() +
                              static_cast<qint64>(timeout.toDouble() / attempts * 1000.0);
            newBrowserPage();
            loadDone = false;
            loadOk = false;
            browserLoadStarted = QDateTime::currentDateTime();
            browser->load(url);
            if (waitUntil(deadline)) return completed();
            goIdle();
        }
        return false;
    }

    bool LoadSuccess(const QString& timeout) {
        qint64 deadline =
            QDateTime::currentMSecsSinceEpoch() + static_cast<qint64>(timeout.toDouble() * 1000.0);
        if (!waitUntil(deadline)) {
            goIdle();
            return false;
        }
        return completed();
    }

    bool open(const QString& address, short timeoutSeconds) {
        if (!NetConnection().IsConnected() && !fileExistsPattern(address)) return false;
        if (!LoadPage(address, QString::number(timeoutSeconds), 1)) return false;
        if (current && current != browser) delete current.data();
        current = browser;
        currentLoadedAt = browserLoadStarted;
        return true;
    }

    // ---- rules -------------------------------------------------------------------------------
    // The text after every rule that applies to `domain`; `invalid` when an
    // InvalidText rule matched.
    QString applyRules(QString text, const QString& domain, bool& invalid) const {
        invalid = false;
        if (rulesSkip || rules.empty()) return text;
        for (const Rule& r : rules) {
            bool applies = domain.contains(r.domain, Qt::CaseInsensitive) ||
                           trimSpaces(r.domain) == QLatin1String("all");
            if (!applies) continue;
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

    // ---- the page's text -----------------------------------------------------------------
    static QString domainOf(const DocumentRead& r) {
        QString d = r.value("domain");
        d.remove(QStringLiteral("http://"));
        d.remove('/');
        return d;
    }
    // The engine ends lines with LF; the text is handed out with CR LF.
    static QString pageText(const DocumentRead& r) {
        QString t = r.value("text");
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        t.replace('\n', QStringLiteral("\r\n"));
        return fullTrim(t);
    }
    static QString pageHtml(const DocumentRead& r) {
        QString h = fullTrim(r.value("html"));
        QString x = r.value("head");
        QString out = QStringLiteral("<HTML>\r\n");
        if (!x.isEmpty())
            out += QStringLiteral("<HEAD>\r\n") + x + QStringLiteral("\r\n</HEAD>\r\n");
        return out + h + QStringLiteral("\r\n</HTML>");
    }

    // Paragraph walk before or after the piece holding a word.
    QString paragraphNear(const QString& word, int instance, int number, int minimum, int step) {
        DocumentRead r = readCurrent({{"text", "d.body.outerText"}, {"domain", "d.domain"}});
        if (!r.usable) return {};
        QStringList pieces = pageText(r).split('\r');
        QString domain = domainOf(r);
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
};

WebParser::WebParser() : d(std::make_unique<Impl>()) {
    d->q = this;
}
WebParser::~WebParser() = default;

bool WebParser::OpenSite(const std::string& URL, short TimeoutSeconds, bool) {
    return d->open(q(URL), TimeoutSeconds);
}

bool WebParser::OpenSearch(const std::string& SpecialURL, const std::string& Keywords,
                           bool OpenInBrowserWindow, short TimeoutSeconds, bool) {
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
    DocumentRead r = d->readCurrent({{"text", "d.body.outerText"}, {"domain", "d.domain"}});
    if (!r.usable) return {};
    QString domain = Impl::domainOf(r);
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
    return s(d->paragraphNear(q(BeforeWord), WordInstance, ParagraphNumber, MinimumLength, -1));
}

std::string WebParser::GetParagraphAfter(const std::string& AfterWord, short WordInstance,
                                         short ParagraphNumber, int MinimumLength) {
    return s(d->paragraphNear(q(AfterWord), WordInstance, ParagraphNumber, MinimumLength, +1));
}

std::string WebParser::GetTextBetweenText(const std::string& OpenTag, const std::string& CloseTag,
                                          bool IncludeTags, short Instance, bool UseHTML) {
    DocumentRead r = UseHTML
                         ? d->readCurrent({{"html", "d.body.outerHTML"},
                                           {"head", "d.getElementsByTagName('HEAD')[0].innerHTML"}})
                         : d->readCurrent({{"text", "d.body.outerText"}});
    if (!r.usable) return {};
    QString source = UseHTML ? Impl::pageHtml(r) : Impl::pageText(r);
    return s(textBetween(source, q(OpenTag), q(CloseTag), IncludeTags, Instance));
}

std::string WebParser::PageHTML() {
    DocumentRead r = d->readCurrent(
        {{"html", "d.body.outerHTML"}, {"head", "d.getElementsByTagName('HEAD')[0].innerHTML"}});
    return r.usable ? s(Impl::pageHtml(r)) : std::string();
}

std::string WebParser::PageText() {
    DocumentRead r = d->readCurrent({{"text", "d.body.outerText"}});
    return r.usable ? s(Impl::pageText(r)) : std::string();
}

std::string WebParser::PageTitle() {
    DocumentRead r = d->readCurrent({});
    return r.usable ? s(r.value("t")) : std::string();
}

std::string WebParser::PageURL() {
    DocumentRead r = d->readCurrent({});
    return r.usable ? s(r.value("u")) : std::string();
}

std::string WebParser::Domain() {
    DocumentRead r = d->readCurrent({{"domain", "d.domain"}});
    return r.usable ? s(Impl::domainOf(r)) : std::string();
}

std::string WebParser::DomainCore() {
    DocumentRead r = d->readCurrent({{"domain", "d.domain"}});
    if (!r.usable) return {};
    return s(Impl::domainOf(r).remove(QStringLiteral("www.")));
}

std::string WebParser::PageLastUpdated() {
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
    struct Rule r {
        q(Domain), Rule, std::nullopt, std::nullopt
    };
    if (Extra1) r.extra1 = q(*Extra1);
    if (Extra2) r.extra2 = q(*Extra2);
    d->rules.push_back(std::move(r));
}

void WebParser::RulesClear() {
    d->rules.clear();
}
void WebParser::RulesSkip(bool skip) {
    d->rulesSkip = skip;
}
bool WebParser::RulesSkip() const {
    return d->rulesSkip;
}

std::string WebParser::GE_RemoveText(const std::string& Text, const std::string& TextToRemove) {
    return s(removeText(q(Text), q(TextToRemove)));
}

std::string WebParser::GE_RemoveTextBetween(const std::string& Text, const std::string& OpenTag,
                                            const std::string& CloseTag, bool SnipTags,
                                            std::string* RemovedText) {
    QString removed;
    QString out = removeTextBetween(q(Text), q(OpenTag), q(CloseTag), SnipTags,
                                    RemovedText ? &removed : nullptr);
    if (RemovedText && !removed.isNull()) *RemovedText = s(removed);
    return s(out);
}

std::string WebParser::GE_GetTextBeforeWord(const std::string& Text, const std::string& Word,
                                            bool IncludeWord) {
    return s(textBeforeWord(q(Text), q(Word), IncludeWord));
}

std::string WebParser::GE_GetTextAfterWord(const std::string& Text, const std::string& Word,
                                           bool IncludeWord) {
    return s(textAfterWord(q(Text), q(Word), IncludeWord));
}

std::optional<std::string> WebParser::GE_RemoveDates(const std::string& Text, int TypeToRemove,
                                                     short WithinCharacters) {
    auto r = removeDates(q(Text), TypeToRemove, WithinCharacters, QDate::currentDate());
    if (!r) return std::nullopt;
    return s(*r);
}

std::string WebParser::GE_FullTrim(const std::string& TrimText) {
    return s(fullTrim(q(TrimText)));
}

std::string WebParser::GE_CutIntro(const std::string& Text, short WithinCharacters) {
    return s(cutIntro(q(Text), WithinCharacters));
}

std::string WebParser::GE_Replace(const std::string& Text, const std::string& FindWhat,
                                  const std::string& ReplaceWith) {
    return s(replaceText(q(Text), q(FindWhat), q(ReplaceWith)));
}

bool WebParser::GE_SimilarSubjects(const std::string& Words1, const std::string& Words2) {
    return similarSubjects(q(Words1), q(Words2));
}

std::string WebParser::GE_GetCategory(const std::string& Title, const std::string& CategoryList) {
    return s(getCategory(q(Title), q(CategoryList)));
}

std::string WebParser::GE_RemoveLines(const std::string& Text, const std::string& WithString) {
    return s(removeLines(q(Text), q(WithString)));
}

std::string WebParser::GE_RemoveExcessSpaces(const std::string& Text) {
    return s(removeExcessSpaces(q(Text)));
}

std::string WebParser::GE_CutToSentences(const std::string& Text, short CutToSentence) {
    return s(cutToSentences(q(Text), CutToSentence));
}

std::string WebParser::GE_ConvertCase(const std::string& Text, int ConvertType) {
    return s(convertCase(q(Text), ConvertType));
}

void WebParser::RunScript(const std::string& ScriptFunction, const std::string& Language) {
    std::string language = Language;
    for (char& c : language)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!language.empty() && language != "javascript" && language != "jscript" &&
        language != "ecmascript")
        return; // a language the browser does not speak
    BrowserPage* page = d->current ? d->current.data() : d->browser.data();
    if (!page) return;
    // The page's dialogs may show from now on (while the window is visible).
    page->Silent = false;
    // In the page's own world, so the script reaches the page's functions;
    // errors stay in the page.
    Impl::runScript(page, QStringLiteral("try { (0, eval)(%1); } catch (e) {}")
                              .arg(jsonString(ScriptFunction)),
                    QWebEngineScript::MainWorld);
}

void WebParser::BrowserHide() {
    if (d->window) d->window->hide();
}

void WebParser::BrowserShow(const std::string& Title, bool Maximised) {
    if (!d->window) return;
    d->window->setWindowTitle(q(Title));
    d->window->setWindowState(Maximised ? Qt::WindowMaximized : Qt::WindowNoState);
    d->window->show();
    d->window->raise();
    d->window->activateWindow();
}

bool WebParser::BrowserReady() {
    return d->browser && d->loadDone && d->loadOk;
}

} // namespace quillet
