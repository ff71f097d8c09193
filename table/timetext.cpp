// Dates and times as tables write them.
#include "table/timetext.h"

#include "table/coordinatetext.h"

namespace table {

namespace {

// Digits at text[at], at most maxDigits of them; -1 when there are none.
int digitsAt(QStringView text, qsizetype &at, int maxDigits) {
    int value = 0, n = 0;
    while (at < text.size() && n < maxDigits && text[at] >= u'0' && text[at] <= u'9') {
        value = value * 10 + (text[at++].unicode() - u'0');
        ++n;
    }
    return n == 0 ? -1 : value;
}

} // namespace

bool readTimeFields(QStringView original, TimeFields &out) {
    QString storage;
    const QStringView text = foldToAscii(original, storage);
    qsizetype at = 0;
    const int year = digitsAt(text, at, 4);
    if (year < 0 || at != 4 || at >= text.size())
        return false;
    const QChar separator = text[at];
    const bool chinese = separator == u'年';
    if (separator != u'-' && separator != u'/' && !chinese)
        return false;
    ++at;
    const int month = digitsAt(text, at, 2);
    if (month < 0 || at >= text.size() || text[at] != (chinese ? QChar(u'月') : separator))
        return false;
    ++at;
    const int day = digitsAt(text, at, 2);
    if (day < 0)
        return false;
    if (chinese) {
        if (at >= text.size() || text[at] != u'日')
            return false;
        ++at;
    }
    if (!QDate::isValid(year, month, day))
        return false;
    out = TimeFields{year, month, day, 0, 0, 0};
    if (at < text.size()) {
        if (text[at] == u'T') {
            ++at;
        } else if (text[at] == u' ') {
            while (at < text.size() && text[at] == u' ')
                ++at;
        } else {
            return false;
        }
        const int hour = digitsAt(text, at, 2);
        if (hour < 0 || at >= text.size() || text[at] != u':')
            return false;
        ++at;
        const int minute = digitsAt(text, at, 2);
        if (minute < 0)
            return false;
        int second = 0;
        if (at < text.size() && text[at] == u':') {
            ++at;
            second = digitsAt(text, at, 2);
            if (second < 0)
                return false;
        }
        if (at != text.size())
            return false;
        if (!QTime::isValid(hour, minute, second))
            return false;
        out.hour = hour;
        out.minute = minute;
        out.second = second;
    }
    return true;
}

TimeText readTimeText(QStringView text) {
    TimeText out;
    TimeFields f;
    if (!readTimeFields(text, f))
        return out;
    const QTime time(f.hour, f.minute, f.second);
    out.ok = true;
    // A time without a zone: no local time looked up.
    out.when = QDateTime(QDate(f.year, f.month, f.day), time, Qt::UTC);
    out.hasTime = time != QTime(0, 0);
    return out;
}

QString kmlWhen(const QDateTime &when) {
    return when.time() == QTime(0, 0) ? when.date().toString(Qt::ISODate)
                                      : when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace table
