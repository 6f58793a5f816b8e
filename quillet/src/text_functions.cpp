#include "text_functions.h"

#include <unordered_map>

#include <string_view>

#include <algorithm>

#include <QHash>
#include <QLocale>
#include <QStringList>

#include <vector>

namespace quillet::text {

const QString kStandardTrimSet =
    QString(QChar(0)) + QChar(8) + QChar(9) + QChar(10) + QChar(13) + QChar(32);

QString fullTrim(const QString& text, const QString& characters) {
    qsizetype b = 0, e = text.size();
    while (b < e && characters.contains(text[b]))
        ++b;
    while (e > b && characters.contains(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

QString trimSpaces(const QString& text) {
    return fullTrim(text, QStringLiteral(" "));
}

bool containsText(const QString& text, const QString& part) {
    return text.contains(part, Qt::CaseInsensitive);
}

QString urlEncode(const QString& text) {
    QString out;
    out.reserve(text.size() * 3);
    for (QChar c : text) {
        ushort u = c.unicode();
        bool plain = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                     u == '*' || u == '+' || u == '-' || u == '.' || u == '/' || u == '@' ||
                     u == '_';
        if (plain) {
            out += c;
            continue;
        }
        // The character's 8-bit code, or its UTF-8 bytes beyond Latin-1.
        QByteArray bytes = u <= 0xFF ? QByteArray(1, static_cast<char>(u)) : QString(c).toUtf8();
        for (char b : bytes)
            out += '%' + QString::number(static_cast<unsigned char>(b), 16).toUpper();
    }
    return out;
}

// ---- words -----------------------------------------------------------------------------

static const QString kComparisonStopList =
    QStringLiteral(
        "says from that take lets will goes want some with this your come with take what come came "
        "went in for the to at on a say of and was said by an as or be is it really now we have "
        "just "
        "for you means can our you're where been has which its it's its' you've can't were we're "
        "than when could not whether should have haven't does doesn't which get those there they "
        "they're even while whilst through done such too after before may made some but are go "
        "their "
        "them going")
        .toUpper();

static QChar soundDigit(QChar c) {
    switch (c.toUpper().unicode()) {
    case 'B':
    case 'F':
    case 'P':
    case 'V':
        return '1';
    case 'C':
    case 'G':
    case 'J':
    case 'K':
    case 'Q':
    case 'S':
    case 'X':
    case 'Z':
        return '2';
    case 'D':
    case 'T':
        return '3';
    case 'L':
        return '4';
    case 'M':
    case 'N':
        return '5';
    case 'R':
        return '6';
    default:
        return QChar();
    }
}

// The sound code in a word: the first character upper-cased and three digits.
static uint64_t packedSoundCode(QStringView word) {
    char16_t code[4] = {u'0', u'0', u'0', u'0'};
    int n = 0;
    if (!word.isEmpty()) {
        code[n++] = word[0].toUpper().unicode();
        QChar before = soundDigit(word[0]);
        for (qsizetype i = 1; i < word.size() && n < 4; ++i) {
            QChar d = soundDigit(word[i]);
            if (!d.isNull() && d != before) code[n++] = d.unicode();
            before = d;
        }
    }
    return uint64_t(code[0]) | uint64_t(code[1]) << 16 | uint64_t(code[2]) << 32 |
           uint64_t(code[3]) << 48;
}

QString soundCode(const QString& word) {
    uint64_t c = packedSoundCode(word);
    QString out;
    for (int i = 0; i < 4; ++i)
        out += QChar(char16_t((c >> (16 * i)) & 0xFFFF));
    return out;
}

static QStringView trimSpacesView(QStringView v) {
    while (!v.isEmpty() && v.front() == ' ')
        v = v.mid(1);
    while (!v.isEmpty() && v.back() == ' ')
        v.chop(1);
    return v;
}

WordMatch compareWords(const QString& a, const QString& b) {
    WordMatch m;
    if (a.isEmpty() || b.isEmpty()) return m;
    // The first word of B for each sound code.
    QHash<uint64_t, QString> firstByCode;
    const QStringList wordsB = b.split(' ');
    for (qsizetype j = wordsB.size() - 1; j >= 0; --j) {
        QString w = trimSpaces(wordsB[j]);
        firstByCode.insert(packedSoundCode(w), w);
    }
    // A word of A counts unless it stands in the stop list; that test is
    // made only for words that sound like one of B.
    for (QStringView raw : QStringView(a).split(u' ')) {
        QStringView wa = trimSpacesView(raw);
        auto hit = firstByCode.constFind(packedSoundCode(wa));
        if (hit == firstByCode.constEnd()) continue;
        if (kComparisonStopList.contains(wa.toString().toUpper())) continue;
        m.found = true;
        m.wordA = wa.toString();
        m.wordB = *hit;
        return m;
    }
    return m;
}

bool similarSubjects(const QString& words1, const QString& words2) {
    return compareWords(words1, words2).found;
}

QString getCategory(const QString& title, const QString& categoryList) {
    WordMatch m = compareWords(categoryList, title);
    return m.found ? m.wordA : QString();
}

// Upper or lower case of a text in pieces of 1,024 characters: Qt grows the
// string a character at a time where a character's case takes more room
// (ß → SS, İ → i̇), which costs time with the square of the text's length.
// Casing here depends on no neighbour, so the pieces give the same text.
static QString caseInPieces(const QString& text, bool upper) {
    constexpr qsizetype kPiece = 1024;
    if (text.size() <= kPiece) return upper ? text.toUpper() : text.toLower();
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n = std::min(kPiece, text.size() - i);
        if (i + n < text.size() && text[i + n - 1].isHighSurrogate()) --n; // keep a pair whole
        const QString piece = text.mid(i, n);
        out += upper ? piece.toUpper() : piece.toLower();
        i += n;
    }
    return out;
}

QString properCase(const QString& text) {
    QString out = caseInPieces(text, false);
    bool startOfWord = true;
    for (QChar& c : out) {
        if (c.isSpace() || c.isNull()) {
            startOfWord = true;
        } else {
            if (startOfWord) c = c.toUpper();
            startOfWord = false;
        }
    }
    return out;
}

static bool isAsciiLetter(QChar c) {
    ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

static const char* const kHeadlineStopList[] = {
    "in",   "from", "that", "with", "says", "for", "the",     "to",   "at", "on",
    "a",    "with", "say",  "of",   "and",  "was", "said",    "from", "by", "an",
    "your", "as",   "this", "will", "or",   "be",  "Quillet", "is",   "it", "I"};

// Proper case on one stretch of a text, in place.
static void properCaseRange(QString& t, qsizetype from, qsizetype to) {
    bool startOfWord = true;
    for (qsizetype i = from; i < to; ++i) {
        QChar c = t[i];
        if (c.isSpace() || c.isNull()) {
            startOfWord = true;
            continue;
        }
        char16_t u = c.unicode();
        if (u < 128) { // the common case, without the Unicode tables
            if (startOfWord && u >= 'a' && u <= 'z')
                t[i] = QChar(char16_t(u - 32));
            else if (!startOfWord && u >= 'A' && u <= 'Z')
                t[i] = QChar(char16_t(u + 32));
        } else {
            t[i] = startOfWord ? c.toUpper() : c.toLower();
        }
        startOfWord = false;
    }
}

static QString newsHeadline(const QString& text) {
    bool anyLower = false;
    for (QChar c : text)
        if (c.unicode() >= 'a' && c.unicode() <= 'z') anyLower = true;
    const bool allCapitals = !trimSpaces(text).isEmpty() && !anyLower;
    QString out = text;
    // The words between single spaces, as [start, end) ranges.
    std::vector<std::pair<qsizetype, qsizetype>> words;
    for (qsizetype start = 0;;) {
        qsizetype sp = out.indexOf(' ', start);
        words.emplace_back(start, sp < 0 ? out.size() : sp);
        if (sp < 0) break;
        start = sp + 1;
    }
    if (allCapitals) {
        properCaseRange(out, 0, out.size());
    } else {
        for (auto [b, e] : words) {
            int capitals = 0;
            for (qsizetype i = b; i < e && capitals < 2; ++i)
                if (out[i].unicode() >= 'A' && out[i].unicode() <= 'Z') ++capitals;
            if (capitals < 2) properCaseRange(out, b, e);
        }
    }
    // Each stop word between two spaces takes the list's spelling. As with a
    // left-to-right replacement of " word ", of two such words in a row the
    // second shares the first one's space and stays as it is.
    qsizetype lastTaken = -2;
    const char* lastWord = nullptr;
    for (size_t i = 1; i + 1 < words.size(); ++i) {
        auto [b, e] = words[i];
        QStringView w = QStringView(out).mid(b, e - b);
        if (w.isEmpty() || w.size() > 7) continue;
        // Stop words begin with one of these letters.
        char16_t first = w[0].toLower().unicode();
        if (!(first == 'i' || first == 'f' || first == 't' || first == 'w' || first == 's' ||
              first == 'a' || first == 'o' || first == 'b' || first == 'y' || first == 'q'))
            continue;
        const char* stop = nullptr;
        for (const char* s : kHeadlineStopList) {
            if (w.compare(QLatin1String(s), Qt::CaseInsensitive) == 0) {
                stop = s;
                break;
            }
        }
        if (!stop) continue;
        if (lastTaken == static_cast<qsizetype>(i) - 1 && lastWord == stop) continue;
        for (qsizetype k = 0; k < w.size(); ++k)
            out[b + k] = QLatin1Char(stop[k]);
        lastTaken = static_cast<qsizetype>(i);
        lastWord = stop;
    }
    for (QChar mark : {QChar('('), QChar('\''), QChar('"')}) {
        for (qsizetype i = 0; i + 1 < out.size(); ++i) {
            if (out[i] != mark || !isAsciiLetter(out[i + 1])) continue;
            if (i == 0 || !isAsciiLetter(out[i - 1])) out[i + 1] = out[i + 1].toUpper();
        }
    }
    return out;
}

QString convertCase(const QString& text, int type) {
    switch (type) {
    case 1:
        return properCase(text);
    case 2:
        return caseInPieces(text, true);
    case 3:
        return caseInPieces(text, false);
    case 4:
        return newsHeadline(text);
    default:
        return {};
    }
}

// ---- text ---------------------------------------------------------------------------------

QString removeText(const QString& text, const QString& toRemove) {
    if (toRemove.isEmpty()) return text;
    QString t = text;
    return t.remove(toRemove, Qt::CaseInsensitive);
}

QString replaceText(const QString& text, const QString& findWhat, const QString& replaceWith) {
    if (findWhat.isEmpty()) return text;
    QString t = text;
    return t.replace(findWhat, replaceWith, Qt::CaseInsensitive);
}

QString removeTextBetween(const QString& text, const QString& openTag, const QString& closeTag,
                          bool snipTags, QString* removedText) {
    if (openTag.isEmpty() || closeTag.isEmpty()) return text;
    qsizetype o = text.indexOf(openTag, 0, Qt::CaseInsensitive);
    qsizetype c = text.indexOf(closeTag, 0, Qt::CaseInsensitive);
    if (o < 0 || c < 0 || o > c) return text;
    if (snipTags) {
        if (removedText) *removedText = trimSpaces(text.mid(o, c + closeTag.size() - o));
        return trimSpaces(text.left(o)) + text.mid(c + closeTag.size());
    }
    if (removedText)
        *removedText = trimSpaces(text.mid(o + openTag.size(), c - o - openTag.size()));
    return trimSpaces(text.left(o + openTag.size())) + text.mid(c);
}

QString textBeforeWord(const QString& text, const QString& word, bool includeWord) {
    if (text.isEmpty() || word.isEmpty()) return text;
    qsizetype p = text.indexOf(word, 0, Qt::CaseInsensitive);
    if (p < 0) return text;
    return trimSpaces(text.left(p) + (includeWord ? text.mid(p, word.size()) : QString()));
}

QString textAfterWord(const QString& text, const QString& word, bool includeWord) {
    if (text.isEmpty() || word.isEmpty()) return text;
    qsizetype p = text.indexOf(word, 0, Qt::CaseInsensitive);
    if (p < 0) return text;
    return trimSpaces((includeWord ? text.mid(p, word.size()) : QString()) +
                      text.mid(p + word.size()));
}

QString cutIntro(const QString& text, int withinCharacters) {
    if (withinCharacters <= 0) return text;
    // The text is cut at the first dash within reach, trimmed, and looked at
    // again; the cuts are kept as positions, so each character is looked at
    // once (a copy per dash made "- - - ..." take the square of its length).
    qsizetype start = 0, end = text.size();
    bool trimmed = false;
    for (;;) {
        const qsizetype reach = std::min<qsizetype>(end, start + withinCharacters);
        qsizetype p = -1;
        for (qsizetype i = start; i < reach; ++i) {
            if (text[i] == QChar(0x2014) || text[i] == '-') {
                p = i;
                break;
            }
        }
        if (p < 0) return trimmed ? text.mid(start, end - start) : text;
        start = p + 1;
        while (start < end && kStandardTrimSet.contains(text[start]))
            ++start;
        // The end is trimmed once: cutting at the front never changes it.
        while (end > start && kStandardTrimSet.contains(text[end - 1]))
            --end;
        trimmed = true;
    }
}

QString removeLines(const QString& text, const QString& withString) {
    const QString crlf = QStringLiteral("\r\n");
    const QString with = withString == crlf ? QStringLiteral(" ") : withString;
    const QString t = fullTrim(text);
    // One pass left to right: each line break becomes `with`, unless what is
    // already written ends with it.
    QString out;
    out.reserve(t.size());
    qsizetype i = 0;
    while (i < t.size()) {
        qsizetype p = t.indexOf(crlf, i);
        if (p < 0) {
            out += QStringView(t).mid(i);
            break;
        }
        out += QStringView(t).mid(i, p - i);
        if (with.isEmpty() || !out.endsWith(with)) out += with;
        i = p + 2;
    }
    if (!with.isEmpty())
        while (out.endsWith(with))
            out.chop(with.size());
    return out;
}

QString removeExcessSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == ' ' && out.endsWith(' ')) continue;
        out += c;
    }
    return fullTrim(out);
}

QString cutToSentences(const QString& text, int sentences) {
    QStringList pieces = text.split(QStringLiteral(". "));
    QString out;
    for (int i = 0; i < sentences && i < pieces.size(); ++i) {
        if (trimSpaces(pieces[i]).isEmpty()) continue;
        out += pieces[i];
        if (!out.endsWith('.')) out += QStringLiteral(". ");
    }
    return trimSpaces(out);
}

// InStr: 1-based position of `needle` in `haystack` from 1-based `start`,
// letter case ignored; 0 when absent. An empty needle is found at `start`.
static qsizetype inStr(qsizetype start, const QString& haystack, const QString& needle) {
    if (start < 1) start = 1;
    if (needle.isEmpty()) return start <= haystack.size() + 1 ? start : 0;
    if (start > haystack.size()) return 0;
    qsizetype p = haystack.indexOf(needle, start - 1, Qt::CaseInsensitive);
    return p < 0 ? 0 : p + 1;
}

QString textBetween(const QString& source, const QString& openTag, const QString& closeTag,
                    bool includeTags, int instance) {
    qsizetype open = 0;
    for (int pass = 1; pass <= instance; ++pass)
        open = inStr(open + 1, source, openTag);
    if (open == 0) return {};
    qsizetype close = inStr(open + trimSpaces(openTag).size(), source, closeTag);
    if (close == 0 || open >= close) return {};
    QString piece;
    if (!includeTags) {
        qsizetype from = open + openTag.size();
        if (close < from) return {}; // the markers overlap
        piece = source.mid(from - 1, close - from);
    } else {
        piece = source.mid(open - 1, close + closeTag.size() - open);
    }
    return fullTrim(trimSpaces(piece));
}

// ---- page templates ---------------------------------------------------------------------

namespace {

// Each UTF-16 unit case folded on its own, as a case-insensitive comparison
// of two strings does; the length stays the same.
QString foldUnits(QStringView s) {
    QString out(s.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < s.size(); ++i)
        d[i] = QChar(QChar::toCaseFolded(s[i].unicode()));
    return out;
}

std::u16string_view unitsOf(const QString& s, qsizetype from = 0, qsizetype n = -1) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()) + from,
                               static_cast<size_t>(n < 0 ? s.size() - from : n));
}

} // namespace

TagFiller::TagFiller(const Tags& tags) : m_tags(tags) {
    m_folded.reserve(tags.size()); // the groups keep views of these
    for (size_t k = 0; k < tags.size(); ++k) {
        m_folded.push_back(foldUnits(tags[k].first));
        const QString& f = m_folded.back();
        if (f.isEmpty()) continue; // an empty tag is skipped
        Group& g = m_groups[f[0].unicode()];
        g.first.emplace(unitsOf(f), k); // keeps the earlier tag of the same text
        if (std::find(g.lengths.begin(), g.lengths.end(), f.size()) == g.lengths.end())
            g.lengths.insert(std::upper_bound(g.lengths.begin(), g.lengths.end(), f.size()),
                             f.size());
        m_longest = std::max(m_longest, f.size());
    }
}

std::pair<size_t, qsizetype> TagFiller::tagAt(QStringView folded, qsizetype at) const {
    size_t best = m_tags.size();
    qsizetype bestLength = 0;
    auto g = m_groups.find(folded[at].unicode());
    if (g == m_groups.end()) return {best, bestLength};
    const auto* units = reinterpret_cast<const char16_t*>(folded.utf16());
    for (qsizetype length : g->second.lengths) {
        if (length > folded.size() - at) break;
        auto hit =
            g->second.first.find(std::u16string_view(units + at, static_cast<size_t>(length)));
        if (hit != g->second.first.end() && hit->second < best) {
            best = hit->second;
            bestLength = length;
        }
    }
    return {best, bestLength};
}

qsizetype TagFiller::settle(QStringView text, qsizetype keep, QString& out) {
    // Folded into a buffer kept from piece to piece.
    m_fold.resize(text.size());
    QChar* f = m_fold.data();
    for (qsizetype k = 0; k < text.size(); ++k)
        f[k] = QChar(QChar::toCaseFolded(text[k].unicode()));
    const QStringView folded(m_fold);
    const qsizetype n = text.size();
    qsizetype i = 0, plain = 0; // [plain, i) is copied as it stands
    while (i < n && n - i >= keep) {
        const auto [tag, length] = tagAt(folded, i);
        if (tag == m_tags.size()) {
            ++i;
            continue;
        }
        out += text.mid(plain, i - plain);
        out += m_tags[tag].second; // what a tag put in is never looked at again
        i += length;
        plain = i;
    }
    out += text.mid(plain, i - plain);
    return i;
}

void TagFiller::feed(QStringView piece, QString& out) {
    // Only what waited is copied; a piece is looked at where it is.
    QStringView text = piece;
    if (!m_waiting.isEmpty()) {
        m_waiting += piece;
        text = m_waiting;
    }
    const qsizetype done = settle(text, std::max<qsizetype>(m_longest, 1), out);
    m_waiting = text.mid(done).toString();
}

void TagFiller::finish(QString& out) {
    settle(m_waiting, 1, out);
    m_waiting.clear();
}

QString fillTags(const QString& text, const Tags& tags) {
    TagFiller filler(tags);
    QString out;
    out.reserve(text.size());
    filler.feed(text, out);
    filler.finish(out);
    return out;
}

} // namespace quillet::text
