// Dates and times as tables write them.
#include "table/timetext.h"

#include "table/coordinatetext.h"

#include <QDate>
#include <QTime>

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

int kmlWhen(const TimeFields &t, char (&out)[19]) {
    const auto twoDigits = [&out](int at, int n) {
        out[at] = char('0' + n / 10 % 10);
        out[at + 1] = char('0' + n % 10);
    };
    twoDigits(0, t.year / 100);
    twoDigits(2, t.year % 100);
    out[4] = out[7] = '-';
    twoDigits(5, t.month);
    twoDigits(8, t.day);
    if (t.hour == 0 && t.minute == 0 && t.second == 0)
        return 10;
    out[10] = 'T';
    twoDigits(11, t.hour);
    out[13] = out[16] = ':';
    twoDigits(14, t.minute);
    twoDigits(17, t.second);
    return 19;
}

} // namespace table
