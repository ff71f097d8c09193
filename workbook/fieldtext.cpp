// Field text rules, and the reading back of a date typed as such a text. Dates go through
// strftime and strptime with the C library's LC_TIME formats, as the desktop writes them.
#include "workbook/fieldtext.h"

#include "common/numtext.h"
#include "workbook/calendar.h"
#include "workbook/sheetdata.h"

#include <cmath>
#include <cstdint>
#include <ctime>
#include <langinfo.h>
#include <utility>

namespace workbook::fieldtext {

namespace {

using calendar::Days1899_12_30;
using calendar::Days1904_01_01;
using calendar::daysFromCivil;
using calendar::isLeap;

bool validDate(int year, int month, int day) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    return month != 2 || day < 29 || isLeap(year);
}

int dayOfYear(int year, int month, int day) {
    static const int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return before[month - 1] + day - 1 + (month > 2 && isLeap(year) ? 1 : 0);
}

QString format(const char *pattern, const std::tm &tm) {
    char buffer[512];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
    return QString::fromLocal8Bit(buffer, qsizetype(n));
}

// The locale's date format with a two-digit year widened, so that no century is lost.
QByteArray dateFormat() {
    QByteArray f(nl_langinfo(D_FMT));
    if (f.isEmpty())
        f = "%m/%d/%y";
    f.replace("%y", "%Y");
    return f;
}

// Excel's 1900 system counts the non-existent 29 February 1900 as day 60.
constexpr double Last1900Serial = 2958466; // 10000-01-01
constexpr double Last1904Serial = 2957004;

} // namespace

QString number(double value, QChar separator) {
    return numtext::FloatToStr(value, separator);
}

namespace {

// The value times 10,000 rounded to the nearest whole number, a tie to the even one, computed
// from the value's exact binary digits: multiplied in floating point, 876248.78545 (in binary
// 876248.785449999966...) would become 8762487854.5 and round up. False beyond the currency
// range.
bool tenThousandths(double value, std::int64_t &units) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e14)
        return false;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent); // in [0.5, 1)
    // value = mantissa * 2^(exponent - 53), the mantissa a whole number below 2^53; times
    // 10,000 = 625 * 2^4 it is mantissa * 625 * 2^(exponent - 49), and mantissa * 625 < 2^63.
    const auto mantissa = std::uint64_t(std::ldexp(fraction, 53));
    const std::uint64_t scaled = mantissa * 625u;
    const int shift = 49 - exponent;
    std::uint64_t whole;
    if (shift <= 0) {
        whole = scaled << -shift; // below 9.2e18: the range check above
    } else if (shift >= 64) {
        whole = 0; // scaled / 2^64 is below a half
    } else {
        whole = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t(1) << shift) - 1);
        const std::uint64_t half = std::uint64_t(1) << (shift - 1);
        if (rest > half || (rest == half && (whole & 1)))
            ++whole;
    }
    units = value < 0 ? -std::int64_t(whole) : std::int64_t(whole);
    return true;
}

} // namespace

QString currency(double value, QChar separator) {
    std::int64_t units = 0;
    if (!tenThousandths(value, units))
        return number(value, separator);
    const bool negative = units < 0;
    const std::uint64_t magnitude = negative ? std::uint64_t(-units) : std::uint64_t(units);
    QString text = QString::number(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += separator + digits;
    }
    return negative ? u'-' + text : text;
}

namespace {

QString dateTimeText(double serial, bool date1904, bool early, QChar separator) {
    const double last = date1904 ? Last1904Serial : Last1900Serial;
    // Some days before the year 1, whichever the system: the year is checked once it is known.
    const double first = early ? -700000 : 0;
    if (!(serial >= first) || serial >= last)
        return number(serial, separator);
    double days = std::floor(serial);
    std::int64_t seconds = std::llround((serial - days) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += 1;
    }
    std::tm tm{};
    tm.tm_hour = int(seconds / 3600);
    tm.tm_min = int(seconds / 60 % 60);
    tm.tm_sec = int(seconds % 60);
    const QString time = format(nl_langinfo(T_FMT), tm);
    const auto serialDays = std::int64_t(days);
    // Serial 0 of the 1900 system is no day at all ("1900-01-00"): the value is a time only.
    if (!date1904 && serialDays == 0)
        return time;
    int year, month, day;
    std::int64_t since1970;
    if (date1904) {
        since1970 = Days1904_01_01 + serialDays;
    } else if (serialDays >= 61) {
        since1970 = Days1899_12_30 + serialDays;
    } else {
        since1970 = Days1899_12_30 + 1 + serialDays;
    }
    std::int64_t wideYear;
    calendar::civilFromDays(since1970, wideYear, month, day);
    if (wideYear < 1)
        return number(serial, separator);
    year = int(wideYear);
    if (!date1904 && serialDays == 60) {
        year = 1900;
        month = 2;
        day = 29;
    }
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_yday = dayOfYear(year, month, day);
    tm.tm_wday = int(((since1970 % 7) + 11) % 7); // 1970-01-01 was a Thursday
    const QString date = format(dateFormat().constData(), tm);
    if (seconds == 0)
        return date;
    return date + u' ' + time;
}

} // namespace

QString dateTime(double serial, bool date1904, QChar separator) {
    return dateTimeText(serial, date1904, false, separator);
}

QString earlyDateTime(double serial, bool date1904, QChar separator) {
    return dateTimeText(serial, date1904, true, separator);
}

std::optional<double> dateSerial(const QString &text, bool date1904) {
    if (text.contains(QChar::Null)) // the C library would read only up to it
        return std::nullopt;
    const QByteArray date = dateFormat();
    const QByteArray timeFormat(nl_langinfo(T_FMT));
    const QByteArray local = text.toLocal8Bit();
    std::tm tm{};
    auto reads = [&](const QByteArray &format) {
        tm = std::tm{};
        const char *end = strptime(local.constData(), format.constData(), &tm);
        return end && *end == '\0';
    };
    bool hasDate = true;
    if (!reads(date + ' ' + timeFormat) && !reads(date)) {
        // A time alone is how serial 0 of the 1900 system is shown.
        if (date1904 || timeFormat.isEmpty() || !reads(timeFormat))
            return std::nullopt;
        hasDate = false;
    }
    if (tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return std::nullopt;
    const double time = (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
    if (!hasDate)
        return time;
    const int year = tm.tm_year + 1900, month = tm.tm_mon + 1, day = tm.tm_mday;
    if (year > 9999)
        return std::nullopt;
    const std::int64_t since1970 = daysFromCivil(year, month, day);
    std::int64_t serial;
    if (date1904) {
        if (year < 1904 || !validDate(year, month, day))
            return std::nullopt;
        serial = since1970 - Days1904_01_01;
    } else if (year == 1900 && month == 2 && day == 29) {
        serial = 60; // the day Excel's 1900 system counts though it never was
    } else {
        if (year < 1900 || !validDate(year, month, day))
            return std::nullopt;
        serial = since1970 - Days1899_12_30;
        if (serial < 61)
            --serial;
    }
    return double(serial) + time;
}

QString boolean(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

namespace {

const std::pair<std::uint8_t, const char *> ErrorNames[] = {
    {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
    {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"}};

} // namespace

QString error(std::uint8_t code) {
    for (const auto &[value, name] : ErrorNames)
        if (value == code)
            return QString::fromLatin1(name);
    return QStringLiteral("#N/A"); // a code no error has
}

std::optional<std::uint8_t> errorCode(QStringView text) {
    text = text.trimmed();
    for (const auto &[value, name] : ErrorNames)
        if (text == QLatin1String(name))
            return value;
    return std::nullopt;
}

QString cellText(const SheetData &sheet, const Cell *cell, QChar separator) {
    if (!cell)
        return QString();
    switch (cell->kind) {
    case CellKind::Empty:
        return QString();
    case CellKind::Number:
        return number(cell->number, separator);
    case CellKind::Date:
        return cell->code == EarlyDate ? earlyDateTime(cell->number, sheet.date1904, separator)
                                       : dateTime(cell->number, sheet.date1904, separator);
    case CellKind::Currency:
        return currency(cell->number, separator);
    case CellKind::Text:
        return sheet.text(*cell);
    case CellKind::Bool:
        return boolean(cell->code != 0);
    case CellKind::Error:
        return error(cell->code);
    }
    return QString();
}

QStringView cellTextView(const SheetData &sheet, const Cell *cell, QChar separator,
                         TextScratch &scratch) {
    if (!cell)
        return QStringView();
    switch (cell->kind) {
    case CellKind::Number:
        return QStringView(scratch.number,
                           numtext::formatFloat(cell->number, separator, scratch.number));
    case CellKind::Text:
        return sheet.strings.view(cell->text);
    default:
        scratch.other = cellText(sheet, cell, separator);
        return scratch.other;
    }
}

} // namespace workbook::fieldtext
