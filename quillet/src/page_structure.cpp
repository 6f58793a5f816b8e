// WebParser's members that read the page's structure: links, pictures,
// tables, forms and frames, and the one that runs the page's own scripts.
// Each member is one script run in the page (its arguments passed as JSON
// literals); what can be matched, trimmed or ruled on is done here.

#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "text_functions.h"
#include "web_parser_impl.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSet>
#include <QUrl>
#include <QVariantList>

namespace quillet {

using namespace quillet::text;
using namespace quillet::convert;

namespace {

QVariantList list(const std::optional<QVariant>& v) {
    return v ? v->toList() : QVariantList();
}
QString upperTrimmed(const QString& text) {
    return trimSpaces(text).toUpper();
}

// ---- scripts ----------------------------------------------------------------------------
// The page scripts are files of their own under quillet/scripts.

QString script(std::initializer_list<const char*> names) {
    return WebParser::Impl::pageScript(names);
}

// How long a submission has to start its navigation.
constexpr int kSubmitPauseMs = 1000;
constexpr int kSubmitPollMs = 50;

QJsonValue formValue(const FormRef& form) {
    if (const int* n = std::get_if<int>(&form)) return *n;
    return q(std::get<std::string>(form));
}

Pictures pictureFrom(const QVariant& v) {
    QVariantList f = v.toList();
    Pictures p;
    if (f.size() < 5) return p;
    p.URL = s(f[0].toString());
    p.Text = s(f[1].toString());
    p.Height = f[2].toInt();
    p.Width = f[3].toInt();
    p.LinkTo = s(f[4].toString());
    return p;
}

struct FrameInfo {
    std::optional<QString> name, location;
};
struct FramesRead {
    bool usable = false;
    std::vector<FrameInfo> frames;
    QString location;
    int frameElements = 0;
};

FramesRead readFrames(WebParser::Impl& d) {
    FramesRead r;
    auto v = d.evaluateCurrent(script({"frames"}));
    QVariantList top = list(v);
    if (top.size() < 3) return r;
    r.usable = true;
    for (const QVariant& f : top[0].toList()) {
        QVariantList pair = f.toList();
        FrameInfo info;
        if (pair.size() == 2) {
            if (!pair[0].isNull()) info.name = pair[0].toString();
            if (!pair[1].isNull()) info.location = pair[1].toString();
        }
        r.frames.push_back(info);
    }
    r.location = top[1].toString();
    r.frameElements = top[2].toInt();
    return r;
}

} // namespace

// ---- links and pictures -----------------------------------------------------------------
void WebParser::GrabLinks(std::vector<Links>& LinkArray) {
    d->beginCall();
    LinkArray.clear();
    QVariantList top = list(d->evaluateCurrent(script({"links"})));
    if (top.size() < 2) return;
    QString domain = Impl::domainOf(top[0].toString());
    for (const QVariant& v : top[1].toList()) {
        QVariantList pair = v.toList();
        if (pair.size() < 2) continue;
        bool invalid = false;
        QString byline = d->applyRules(pair[0].toString(), domain, invalid);
        if (invalid) continue;
        QString url = pair[1].toString();
        // An address is only tested: a case or date rule must not rewrite it.
        if (d->invalidByRules(url, domain)) continue;
        LinkArray.push_back({s(byline), s(url)});
    }
}

void WebParser::GrabPictures(std::vector<Pictures>& PictureArray) {
    d->beginCall();
    PictureArray.clear();
    for (const QVariant& v : list(d->evaluateCurrent(script({"pictures"}))))
        PictureArray.push_back(pictureFrom(v));
}

Pictures WebParser::GetPictureByName(const std::string& PictureByline, short Instance) {
    d->beginCall();
    if (Instance < 1) return {};
    QString wanted = upperTrimmed(q(PictureByline));
    int seen = 0;
    for (const QVariant& v : list(d->evaluateCurrent(script({"pictures"})))) {
        QVariantList f = v.toList();
        if (f.size() >= 5 && upperTrimmed(f[1].toString()) == wanted && ++seen == Instance)
            return pictureFrom(v);
    }
    return {};
}

Pictures WebParser::GetPictureByDimensions(int PictureWidth, int PictureHeight, short Instance) {
    d->beginCall();
    if (Instance < 1) return {};
    int seen = 0;
    for (const QVariant& v : list(d->evaluateCurrent(script({"pictures"})))) {
        Pictures p = pictureFrom(v);
        if (p.Width == PictureWidth && p.Height == PictureHeight && ++seen == Instance) return p;
    }
    return {};
}

Pictures WebParser::GetPictureByLink(const std::string& PictureLink, short Instance) {
    d->beginCall();
    if (Instance < 1) return {};
    std::vector<Pictures> pictures;
    GrabPictures(pictures);
    QString wanted = upperTrimmed(q(PictureLink));
    int seen = 0;
    for (const Pictures& p : pictures)
        if (upperTrimmed(q(p.LinkTo)) == wanted && ++seen == Instance) return p;
    return {};
}

Links WebParser::GetLinkInText(const std::string& ParagraphTextClip, short Instance) {
    d->beginCall();
    if (Instance < 1) return {};
    QJsonObject args{{QStringLiteral("clip"), q(ParagraphTextClip)},
                     {QStringLiteral("n"), Instance}};
    QVariantList pair = list(d->evaluateCurrent(script({"link_in_text"}), args));
    if (pair.size() < 2) return {};
    return {s(pair[0].toString()), s(pair[1].toString())};
}

std::string WebParser::GetURLFromText(const std::string& LinkByline, short Instance) {
    d->beginCall();
    if (Instance < 1) return {};
    QVariantList top = list(d->evaluateCurrent(script({"links"})));
    if (top.size() < 2) return {};
    QString wanted = upperTrimmed(q(LinkByline));
    int seen = 0;
    for (const QVariant& v : top[1].toList()) {
        QVariantList pair = v.toList();
        if (pair.size() >= 2 && upperTrimmed(pair[0].toString()) == wanted && ++seen == Instance)
            return s(pair[1].toString());
    }
    return {};
}

// ---- tables -------------------------------------------------------------------------------
std::string WebParser::GetCellText(short TableNo, short RowNo, short CellNo) {
    d->beginCall();
    if (TableNo < 1 || RowNo < 1 || CellNo < 1) return {};
    QJsonObject args{{QStringLiteral("t"), TableNo},
                     {QStringLiteral("r"), RowNo},
                     {QStringLiteral("c"), CellNo}};
    auto v = d->evaluateCurrent(script({"tables", "table_cell"}), args);
    return v ? s(v->toString()) : std::string();
}

short WebParser::GetRowCount(short TableNo) {
    d->beginCall();
    if (TableNo < 1) return 0;
    auto v = d->evaluateCurrent(script({"tables", "table_rows"}), {{QStringLiteral("t"), TableNo}});
    return v ? static_cast<short>(v->toInt()) : short(0);
}

short WebParser::GetCellCount(short TableNo, short RowNo) {
    d->beginCall();
    if (TableNo < 1 || RowNo < 1) return 0;
    auto v = d->evaluateCurrent(script({"tables", "table_columns"}),
                                {{QStringLiteral("t"), TableNo}, {QStringLiteral("r"), RowNo}});
    return v ? static_cast<short>(v->toInt()) : short(0);
}

short WebParser::GetTableCount() {
    d->beginCall();
    auto v = d->evaluateCurrent(script({"tables", "table_count"}));
    return v ? static_cast<short>(v->toInt()) : short(0);
}

std::string WebParser::GetCellDump() {
    d->beginCall();
    QString dump;
    int t = 0;
    for (const QVariant& table : list(d->evaluateCurrent(script({"tables", "table_cells"})))) {
        ++t;
        int r = 0;
        for (const QVariant& row : table.toList()) {
            ++r;
            int c = 0;
            for (const QVariant& cell : row.toList()) {
                ++c;
                QString text = cell.toString();
                if (fullTrim(text).isEmpty()) continue;
                dump += QStringLiteral("<Table %1, Row %2, Cell %3:> ").arg(t).arg(r).arg(c) +
                        text + QStringLiteral("\r\n");
            }
        }
    }
    return s(dump);
}

// ---- forms --------------------------------------------------------------------------------
std::string WebParser::GetFormDump() {
    d->beginCall();
    QString dump;
    QSet<QString> lines; // compared without regard to case
    for (const QVariant& v : list(d->evaluateCurrent(script({"forms", "form_fields"})))) {
        QVariantList f = v.toList();
        if (f.size() < 4 || f[1].toString() == QLatin1String("UNSUPPORTED")) continue;
        QString line = QStringLiteral("<Form %1, Type '").arg(f[0].toInt()) +
                       f[1].toString().toLower() + QStringLiteral("', Field '") + f[2].toString() +
                       QStringLiteral("', Value '") + f[3].toString() + QStringLiteral("'>\r\n");
        if (lines.contains(line.toCaseFolded())) continue;
        lines.insert(line.toCaseFolded());
        dump += line;
    }
    return s(dump);
}

void WebParser::FormFieldSet(const std::string& FieldName, const std::string& Value,
                             const std::string& Selected, const FormRef& Form) {
    d->beginCall();
    d->evaluateCurrent(script({"forms", "field_set"}), {{QStringLiteral("f"), formValue(Form)},
                                                        {QStringLiteral("n"), q(FieldName)},
                                                        {QStringLiteral("v"), q(Value)},
                                                        {QStringLiteral("s"), q(Selected)}});
}

std::string WebParser::FormFieldGet(const std::string& FieldName, const std::string& Selected,
                                    const FormRef& Form) {
    d->beginCall();
    auto v =
        d->evaluateCurrent(script({"forms", "field_get"}), {{QStringLiteral("f"), formValue(Form)},
                                                            {QStringLiteral("n"), q(FieldName)},
                                                            {QStringLiteral("s"), q(Selected)}});
    return v ? s(v->toString()) : std::string();
}

bool WebParser::FormSubmit(const FormRef& Form, short TimeoutSeconds) {
    d->beginCall();
    BrowserPage* page = d->current;
    if (!page) return false;
    d->stopRequested = false;
    page->Silent = true;
    bool localPage = false;
    if (auto url = d->evaluateCurrent(script({"document_url"})))
        localPage = QUrl(url->toString()).isLocalFile();
    else
        return false; // not usable
    // A page read from the disk may be submitted off line; its form is ours.
    if (!localPage && !NetConnection().IsConnected()) return false;
    // The results arrive in the page that holds the current document, which
    // is then the one the browser shows.
    d->showPage(page);
    const QList<int> path = d->framePath;
    page->resetLoadState();
    auto submitted =
        d->evaluateCurrent(script({"forms", "submit"}), {{QStringLiteral("f"), formValue(Form)}});
    if (!submitted || !submitted->toBool()) return false;

    // A pause for the navigation to begin; none means nothing was sent.
    d->waitFor(
        page, [page] { return page->NavigationStarted; },
        QDateTime::currentMSecsSinceEpoch() + kSubmitPauseMs);
    if (!page->NavigationStarted) return false;

    const qint64 deadline =
        QDateTime::currentMSecsSinceEpoch() + static_cast<qint64>(TimeoutSeconds) * 1000;
    bool ok = false;
    if (page->MainFrameNavigationStarted) {
        // The top document is replaced: its load must start and finish.
        // The answer did not come in time (or could not be read): the
        // document the page was leaving is gone, so every member now gives
        // its empty result rather than some of them the old page.
        if (!d->waitFor(
                page, [page] { return page->LoadDone; }, deadline) ||
            !d->completed(page, deadline)) {
            d->noteFailure(
                page->Hung
                    ? page->HungReason
                    : QStringLiteral("the answer did not come within %1 s").arg(TimeoutSeconds));
            d->abandonCurrent();
            return false;
        }
        ok = true;
    } else {
        // Only a frame navigates: wait for its new document to be complete.
        auto frameDone = [page, &path] {
            QVariantList st = list(Impl::evaluate(page, path, script({"submitted_state"})));
            return st.size() == 2 && !st[0].toBool() && st[1].toString() == "complete";
        };
        ok =
            d->waitFor(page, frameDone, deadline, kSubmitPollMs) && Impl::read(page, {}, {}).usable;
        // Late: the page stays as it now stands, the frame's load stopped.
        if (!ok) page->triggerAction(QWebEnginePage::Stop);
        d->dropHungCurrent();
    }
    if (!ok) return false;
    d->setCurrent(page);
    d->currentLoadedAt = QDateTime::currentDateTime();
    return true;
}

// ---- frames -------------------------------------------------------------------------------
bool WebParser::FramesExist() {
    d->beginCall();
    auto v = d->evaluateCurrent(script({"frame_count"}));
    return v && v->toInt() > 0;
}

std::string WebParser::GetFrameDump() {
    d->beginCall();
    FramesRead r = readFrames(*d);
    QStringList lines;
    for (size_t i = 0; i < r.frames.size(); ++i) {
        const FrameInfo& f = r.frames[i];
        QString line = QStringLiteral("Frame %1: ").arg(i + 1);
        if (!f.name)
            line += QStringLiteral("{site on different domain, access denied}");
        else
            line += f.name->isEmpty() ? QStringLiteral("{none}") : *f.name;
        lines << line;
    }
    return s(lines.join(QStringLiteral("\r\n")));
}

void WebParser::FrameFocus(const std::string& FrameName) {
    d->beginCall();
    FramesRead r = readFrames(*d);
    QString wanted = q(FrameName);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        const FrameInfo& f = r.frames[i];
        if (f.name && f.name->compare(wanted, Qt::CaseInsensitive) == 0) {
            d->framePath.append(static_cast<int>(i));
            return;
        }
    }
}

void WebParser::FrameRevert() {
    d->beginCall();
    // Back to the top whenever the page itself can be read, even when the
    // frame that had the focus has gone away.
    if (d->current && Impl::evaluate(d->current, {}, script({"alive"}))) d->framePath.clear();
}

std::string WebParser::FramesMainPage() {
    d->beginCall();
    FramesRead r = readFrames(*d);
    if (!r.usable) return {};
    if (r.frames.empty()) return PageURL();
    const QString crossSite = r.location + QStringLiteral("?cross_site");
    QString fileName = r.location.section('/', -1).toUpper();
    QString result;
    for (const FrameInfo& f : r.frames) {
        if (!f.name) return s(crossSite);
        if (f.name->toUpper().contains(QStringLiteral("MAIN")) ||
            fileName.contains(QStringLiteral("HOME"))) {
            if (!f.location) return s(crossSite);
            result = *f.location;
        }
    }
    if (result.isEmpty()) {
        // The last frame: counted by FRAME elements, or, on a page whose
        // frames are all inline, by the frames themselves.
        int count = r.frameElements > 0 ? r.frameElements : static_cast<int>(r.frames.size());
        if (count > static_cast<int>(r.frames.size())) return s(crossSite);
        const FrameInfo& last = r.frames[static_cast<size_t>(count - 1)];
        if (!last.location) return s(crossSite);
        result = *last.location;
    }
    return s(result);
}

// ---- scripts --------------------------------------------------------------------------------
void WebParser::RunScript(const std::string& ScriptFunction, const std::string& Language) {
    d->beginCall();
    QString language = q(Language).toLower();
    if (!language.isEmpty() && language != QLatin1String("javascript") &&
        language != QLatin1String("jscript") && language != QLatin1String("ecmascript"))
        return; // a language the browser does not speak
    BrowserPage* page = d->current ? d->current.data() : d->browser.data();
    if (!page) return;
    // The page's dialogs may show from now on (while the window is visible).
    page->Silent = false;
    QJsonArray steps;
    for (int i : d->framePath)
        steps.append(i);
    // In the page's own world, so the script reaches the page's functions;
    // errors stay in the page.
    Impl::runScript(page,
                    QStringLiteral("(function(P,S){try{var w=window;for(var i=0;i<P.length;i++)"
                                   "w=w.frames[P[i]];(0,w.eval)(S);}catch(e){}})(") +
                        jsonLiteral(steps) + ',' + jsonLiteral(q(ScriptFunction)) + ')',
                    QWebEngineScript::MainWorld);
    d->dropHungCurrent(); // a script that never ended: the call failed
}

} // namespace quillet
