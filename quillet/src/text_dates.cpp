// The date functions: dates written the ways pages write them, and taking
// such dates out of a text.
#include "text_functions.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace quillet::text {

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

} // namespace quillet::text
