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

TimeText readTimeText(QStringView original) {
    const QString folded = foldToAscii(original);
    const QStringView text(folded);
    TimeText out;
    qsizetype at = 0;
    const int year = digitsAt(text, at, 4);
    if (year < 0 || at != 4 || at >= text.size())
        return out;
    const QChar separator = text[at];
    const bool chinese = separator == u'年';
    if (separator != u'-' && separator != u'/' && !chinese)
        return out;
    ++at;
    const int month = digitsAt(text, at, 2);
    if (month < 0 || at >= text.size() || text[at] != (chinese ? QChar(u'月') : separator))
        return out;
    ++at;
    const int day = digitsAt(text, at, 2);
    if (day < 0)
        return out;
    if (chinese) {
        if (at >= text.size() || text[at] != u'日')
            return out;
        ++at;
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return out;
    QTime time(0, 0);
    if (at < text.size()) {
        if (text[at] == u'T') {
            ++at;
        } else if (text[at] == u' ') {
            while (at < text.size() && text[at] == u' ')
                ++at;
        } else {
            return out;
        }
        const int hour = digitsAt(text, at, 2);
        if (hour < 0 || at >= text.size() || text[at] != u':')
            return out;
        ++at;
        const int minute = digitsAt(text, at, 2);
        if (minute < 0)
            return out;
        int second = 0;
        if (at < text.size() && text[at] == u':') {
            ++at;
            second = digitsAt(text, at, 2);
            if (second < 0)
                return out;
        }
        if (at != text.size())
            return out;
        time = QTime(hour, minute, second);
        if (!time.isValid())
            return out;
    }
    out.ok = true;
    out.when = QDateTime(date, time, Qt::UTC); // a time without a zone: no local time looked up
    out.hasTime = time != QTime(0, 0);
    return out;
}

QString kmlWhen(const QDateTime &when) {
    return when.time() == QTime(0, 0) ? when.date().toString(Qt::ISODate)
                                      : when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace table
