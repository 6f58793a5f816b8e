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

// ---- dates ---------------------------------------------------------------------------

QString ordinalSuffix(int n) {
    if (n < 1) return {};
    int d = n <= 20 ? n : n % 10;
    if (n > 20 && d == 0) return QStringLiteral("th");
    if (d == 1) return QStringLiteral("st");
    if (d == 2) return QStringLiteral("nd");
    if (d == 3) return QStringLiteral("rd");
    return QStringLiteral("th");
}

static QString dateSeparator() {
    QString shortFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
    for (QChar c : shortFormat)
        if (c == '/' || c == '.' || c == '-') return QString(c);
    return QStringLiteral("/");
}

QString formatTime12(const QTime& time, bool withSeconds) {
    QLocale locale = QLocale::system();
    int hour = time.hour() % 12;
    if (hour == 0) hour = 12;
    QString ampm = time.hour() < 12 ? locale.amText() : locale.pmText();
    if (ampm.isEmpty()) ampm = time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    QString out =
        QStringLiteral("%1:%2").arg(hour, 2, 10, QChar('0')).arg(time.minute(), 2, 10, QChar('0'));
    if (withSeconds) out += QStringLiteral(":%1").arg(time.second(), 2, 10, QChar('0'));
    return out + ' ' + ampm;
}

QString formatDate(const QDate& date, const QString& pattern) {
    QLocale locale = QLocale::system();
    if (pattern == QLatin1String("Long Date")) return locale.toString(date, QLocale::LongFormat);
    if (pattern == QLatin1String("Short Date")) return locale.toString(date, QLocale::ShortFormat);
    QString out;
    qsizetype i = 0;
    auto run = [&](QChar c) {
        qsizetype n = 0;
        while (i + n < pattern.size() && pattern[i + n] == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        QChar c = pattern[i];
        if (c == 'd') {
            qsizetype n = std::min<qsizetype>(run(c), 4);
            if (n == 1)
                out += QString::number(date.day());
            else if (n == 2)
                out += QStringLiteral("%1").arg(date.day(), 2, 10, QChar('0'));
            else if (n == 3)
                out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else
                out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            i += n;
        } else if (c == 'm') {
            qsizetype n = std::min<qsizetype>(run(c), 4);
            if (n == 1)
                out += QString::number(date.month());
            else if (n == 2)
                out += QStringLiteral("%1").arg(date.month(), 2, 10, QChar('0'));
            else if (n == 3)
                out += locale.monthName(date.month(), QLocale::ShortFormat);
            else
                out += locale.monthName(date.month(), QLocale::LongFormat);
            i += n;
        } else if (c == 'y') {
            qsizetype n = run(c);
            if (n >= 3)
                out += QString::number(date.year());
            else
                out += QStringLiteral("%1").arg(date.year() % 100, 2, 10, QChar('0'));
            i += n;
        } else if (c == '/') {
            out += dateSeparator();
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

QStringList dateSearchTexts(const QDate& date) {
    const QString o = ordinalSuffix(date.day());
    auto f = [&](const char* p) { return formatDate(date, QString::fromLatin1(p)); };
    return {
        f("dddd, mmmm d") + o + ", " + f("yyyy"),
        f("dddd, mmmm d") + o + " " + f("yyyy"),
        f("dddd mmmm d") + o + " " + f("yyyy"),
        f("dddd, mmmm d, yyyy"),
        f("dddd mmmm d, yyyy"),
        f("dddd d") + o + " " + f("yyyy"),
        f("dddd d mmmm yyyy"),
        f("dddd dd mmmm yyyy"),
        f("Long Date"),
        f("mmmm dd, yyyy"),
        f("mmmm d, yyyy"),
        f("mmmm dd yyyy"),
        f("mmmm d yyyy"),
        f("mmmm d") + o + " " + f("yyyy"),
        f("mmmm d") + o + ", " + f("yyyy"),
        f("dd mmmm yyyy"),
        f("d mmmm yyyy"),
        f("d") + o + ", " + f(" mmmm yyyy"),
        f("d") + o + ", " + f(" mmmm, yyyy"),
        f("Short Date"),
        f("d/m/yy"),
        f("d/m/yyyy"),
        f("m/d/yy"),
        f("m/d/yyyy"),
        f("d/mm/yy"),
        f("d/mm/yyyy"),
        f("mm/d/yy"),
        f("mm/d/yyyy"),
        f("dd/mm/yy"),
        f("dd/mm/yyyy"),
        f("mm/dd/yy"),
        f("mm/dd/yyyy"),
        f("d mmm yyyy"),
        f("dd mmm yyyy"),
        f("dd") + ordinalSuffix(f("dd").toInt()) + f(" mmm yyyy"),
        f("mmm d") + o + f(" yyyy"),
        f("mmm d") + o + f(", yyyy"),
        f("mmmm d yyyy"),
        f("ddd mmm d"),
        f("d") + o + f(" mmmm"),
        f("mmmm d") + o,
        f("mmmm d"),
        f("d mmmm"),
        f("mmm d") + o,
        f("d") + o + f(" mmm"),
        f("mmmm yyyy"),
        f("mmm. d"),
    };
}

// Letter case folded one UTF-16 unit at a time, so positions stay the same.
static QString foldCase(const QString& text) {
    QString out(text.size(), Qt::Uninitialized);
    QChar* o = out.data();
    for (QChar c : text)
        *o++ = c.toCaseFolded();
    return out;
}

// The same as 8-bit text, which searches faster; false when a character does
// not fit in 8 bits.
static bool foldCase8(const QString& text, QByteArray& out) {
    out.resize(text.size());
    char* o = out.data();
    for (QChar c : text) {
        char16_t f = c.toCaseFolded().unicode();
        if (f > 0xFF) return false;
        *o++ = static_cast<char>(f);
    }
    return true;
}

static QString foldNeedle(const QString& s, const QString*) {
    return foldCase(s);
}
static QByteArray foldNeedle(const QString& s, const QByteArray*) {
    QByteArray out;
    foldCase8(s, out); // the caller made sure every needle fits
    return out;
}

static uint32_t unitAt(const QString& s, qsizetype i) {
    return s[i].unicode();
}
static uint32_t unitAt(const QByteArray& s, qsizetype i) {
    return static_cast<uchar>(s[i]);
}

// Which three-character sequences occur in a text (a bit per hashed
// sequence: a collision only costs a needless search).
class Trigrams {
public:
    template <class Folded> void add(const Folded& t, qsizetype from, qsizetype to) {
        from = std::max<qsizetype>(0, from);
        to = std::min<qsizetype>(t.size(), to);
        for (qsizetype i = from; i + 2 < to; ++i)
            set(key(unitAt(t, i), unitAt(t, i + 1), unitAt(t, i + 2)));
    }
    void clear() { std::fill(m_bits.begin(), m_bits.end(), 0); }
    template <class Folded> bool mayContain(const Folded& p) const {
        if (p.size() < 3) return true;
        return test(key(unitAt(p, 0), unitAt(p, 1), unitAt(p, 2)));
    }

private:
    static uint32_t key(uint32_t a, uint32_t b, uint32_t c) {
        return (a ^ (b << 8) ^ (c << 16) ^ (b >> 8) ^ (c >> 4)) & 0xFFFFFF;
    }
    void set(uint32_t k) { m_bits[k >> 6] |= uint64_t(1) << (k & 63); }
    bool test(uint32_t k) const { return (m_bits[k >> 6] >> (k & 63)) & 1; }
    std::vector<uint64_t> m_bits = std::vector<uint64_t>(1 << 18);
};

// Removes every search text of `date` from `head`, letter case ignored, left
// to right. `folded` is `head` with its letter case folded (as QString, or as
// 8-bit QByteArray); it is searched, and both lose the same ranges.
template <class Folded>
static void removeDateFrom(QString& head, Folded& folded, const QStringList& searches,
                           Trigrams& present) {
    for (const QString& search : searches) {
        if (search.isEmpty()) continue;
        const Folded needle = foldNeedle(search, static_cast<const Folded*>(nullptr));
        // Most search texts begin with letters that are nowhere in the text.
        if (!present.mayContain(needle)) continue;
        qsizetype at = folded.indexOf(needle);
        if (at < 0) continue;
        QString keptHead;
        Folded keptFolded;
        keptHead.reserve(head.size());
        keptFolded.reserve(folded.size());
        qsizetype from = 0;
        while (at >= 0) {
            keptHead += QStringView(head).mid(from, at - from);
            keptFolded += folded.mid(from, at - from);
            from = at + needle.size();
            at = folded.indexOf(needle, from);
        }
        keptHead += QStringView(head).mid(from);
        keptFolded += folded.mid(from);
        head = std::move(keptHead);
        folded = std::move(keptFolded);
        // Joined pieces may form sequences that were nowhere before, and the
        // removed ones may have taken the last of others with them.
        present.clear();
        present.add(folded, 0, folded.size());
    }
}

// " ." becomes "." and then two spaces become one, each in one pass from the
// left, as a plain replacement does.
template <class Text> static void closeUpPass(Text& t, char first, char second, bool dropFirst) {
    qsizetype w = 0;
    const qsizetype n = t.size();
    auto* d = t.data();
    for (qsizetype r = 0; r < n;) {
        if (r + 1 < n && unitAt(t, r) == uint32_t(first) && unitAt(t, r + 1) == uint32_t(second)) {
            d[w++] = dropFirst ? d[r + 1] : d[r];
            r += 2;
        } else {
            d[w++] = d[r++];
        }
    }
    t.truncate(w);
}

template <class Text> static void closeUp(Text& t) {
    closeUpPass(t, ' ', '.', true);
    closeUpPass(t, ' ', ' ', true);
}

static bool fitsIn8Bits(const QStringList& searches) {
    QByteArray scratch;
    for (const QString& s : searches)
        if (!foldCase8(s, scratch)) return false;
    return true;
}

// The dates one after another on the whole head, folded once: spaces and
// full stops fold to themselves, so closing up keeps both copies in step.
template <class Folded>
static void removeDatesFrom(QString& head, Folded& folded, const std::vector<QStringList>& dates,
                            bool closeUpEach) {
    Trigrams present;
    present.add(folded, 0, folded.size());
    for (const QStringList& searches : dates) {
        removeDateFrom(head, folded, searches, present);
        if (closeUpEach) {
            closeUp(head);
            closeUp(folded);
        }
    }
}

static void removeDatesFrom(QString& head, const std::vector<QStringList>& dates,
                            bool closeUpEach) {
    bool narrow = true;
    for (const QStringList& d : dates)
        narrow = narrow && fitsIn8Bits(d);
    QByteArray folded8;
    if (narrow && foldCase8(head, folded8)) {
        removeDatesFrom(head, folded8, dates, closeUpEach);
    } else {
        QString folded = foldCase(head);
        removeDatesFrom(head, folded, dates, closeUpEach);
    }
}

QString removeDate(const QString& text, const QDate& date, int within) {
    qsizetype n = within;
    if (n <= 0 || n > text.size()) n = text.size();
    QString head = text.left(n);
    removeDatesFrom(head, {dateSearchTexts(date)}, false);
    QString joined = head + text.mid(n);
    closeUp(joined);
    return joined;
}

std::optional<QString> removeDates(const QString& text, int type, int within, const QDate& today) {
    switch (type) {
    case 1:
        return removeDate(text, today, within);
    case 2:
        return removeDate(text, today.addDays(1), within);
    case 3: {
        QString t = text;
        if (within > 0) {
            for (int back = 0; back <= 6; ++back)
                t = removeDate(t, today.addDays(-back), within);
            return t;
        }
        // The whole text each time: folded once for all seven days.
        std::vector<QStringList> days;
        for (int back = 0; back <= 6; ++back)
            days.push_back(dateSearchTexts(today.addDays(-back)));
        removeDatesFrom(t, days, true);
        return t;
    }
    default:
        return std::nullopt;
    }
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

QString fillTags(const QString& text, const std::vector<std::pair<QString, QString>>& tags) {
    // The tags folded once and grouped by their first character: for each
    // group the lengths its tags have and, for each folded text, the first
    // tag (in order) that has it. At a place of the text only the tags of
    // its character are looked at, one look-up per length.
    struct Group {
        std::vector<qsizetype> lengths; // ascending
        std::unordered_map<std::u16string_view, size_t> first;
    };
    std::vector<QString> folded;
    folded.reserve(tags.size());
    std::unordered_map<char16_t, Group> groups;
    for (size_t k = 0; k < tags.size(); ++k) {
        folded.push_back(foldUnits(tags[k].first));
        const QString& f = folded.back();
        if (f.isEmpty()) continue; // an empty tag is skipped
        Group& g = groups[f[0].unicode()];
        g.first.emplace(unitsOf(f), k); // keeps the earlier tag of the same text
        if (std::find(g.lengths.begin(), g.lengths.end(), f.size()) == g.lengths.end())
            g.lengths.insert(std::upper_bound(g.lengths.begin(), g.lengths.end(), f.size()),
                             f.size());
    }
    const QString foldedText = foldUnits(text);
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        auto g = groups.find(foldedText[i].unicode());
        size_t best = tags.size();
        qsizetype bestLength = 0;
        if (g != groups.end()) {
            for (qsizetype length : g->second.lengths) {
                if (length > n - i) break;
                auto hit = g->second.first.find(unitsOf(foldedText, i, length));
                if (hit != g->second.first.end() && hit->second < best) {
                    best = hit->second;
                    bestLength = length;
                }
            }
        }
        if (best < tags.size()) {
            // What a tag put in is never looked at again.
            out += tags[best].second;
            i += bestLength;
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace quillet::text
