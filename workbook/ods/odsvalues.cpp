// Dates by the civil-calendar day counts of the proleptic Gregorian calendar, which ISO 8601
// and OpenDocument use, without going through a time zone.
#include "workbook/ods/odsvalues.h"

#include "workbook/calendar.h"
#include "workbook/xml/xmlvalues.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace workbook::ods {

namespace {

using calendar::civilFromDays;
using calendar::Days1899_12_30;
using calendar::daysFromCivil;
using calendar::isLeap;
using xml::trimmed;

// Reads exactly n digits at p.
bool digits(const char *&p, const char *end, int n, int &value) {
    value = 0;
    for (int i = 0; i < n; ++i, ++p) {
        if (p == end || *p < '0' || *p > '9')
            return false;
        value = value * 10 + (*p - '0');
    }
    return true;
}

// A decimal number without sign or exponent ("15", "15.5"), as the parts of durations are.
bool decimal(const char *&p, const char *end, double &value) {
    const char *start = p;
    while (p < end && ((*p >= '0' && *p <= '9') || *p == '.'))
        ++p;
    if (p == start)
        return false;
    const auto r = std::from_chars(start, p, value);
    return r.ec == std::errc() && r.ptr == p;
}

} // namespace

bool parseDate(QByteArrayView raw, double &days) {
    raw = trimmed(raw);
    const char *p = raw.data();
    const char *end = p + raw.size();
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    std::int64_t year = 0;
    const char *yearStart = p;
    while (p < end && *p >= '0' && *p <= '9' && p - yearStart < 9)
        year = year * 10 + (*p++ - '0');
    if (p - yearStart < 4 || p == end || *p != '-')
        return false;
    if (negative)
        year = -year;
    ++p;
    int month, day;
    if (!digits(p, end, 2, month) || p == end || *p++ != '-' || !digits(p, end, 2, day))
        return false;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 ||
        day > lengths[month - 1] + (month == 2 && isLeap(year) ? 1 : 0))
        return false;
    double seconds = 0;
    if (p < end && *p == 'T') {
        ++p;
        int hour, minute, second;
        if (!digits(p, end, 2, hour) || p == end || *p++ != ':' || !digits(p, end, 2, minute) ||
            p == end || *p++ != ':' || !digits(p, end, 2, second))
            return false;
        if (hour > 24 || minute > 59 || second > 60)
            return false;
        seconds = hour * 3600.0 + minute * 60.0 + second;
        if (p < end && (*p == '.' || *p == ',')) {
            const char *fraction = ++p;
            double part = 0, scale = 1;
            while (p < end && *p >= '0' && *p <= '9') {
                part = part * 10 + (*p++ - '0');
                scale *= 10;
            }
            if (p == fraction)
                return false;
            seconds += part / scale;
        }
    }
    // A zone is ignored: a spreadsheet's dates are local.
    if (p < end && *p == 'Z') {
        ++p;
    } else if (p < end && (*p == '+' || *p == '-')) {
        int hours, minutes;
        ++p;
        if (!digits(p, end, 2, hours) || p == end || *p++ != ':' || !digits(p, end, 2, minutes))
            return false;
    }
    if (p != end)
        return false;
    days = double(daysFromCivil(year, month, day) - Days1899_12_30) + seconds / 86400.0;
    return true;
}

bool parseDuration(QByteArrayView raw, double &days) {
    raw = trimmed(raw);
    const char *p = raw.data();
    const char *end = p + raw.size();
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    if (p == end || *p++ != 'P' || p == end)
        return false;
    double seconds = 0;
    bool time = false, any = false;
    while (p < end) {
        if (*p == 'T') {
            if (time)
                return false;
            time = true;
            ++p;
            continue;
        }
        double v;
        if (!decimal(p, end, v) || p == end)
            return false;
        const char unit = *p++;
        any = true;
        if (!time && unit == 'D')
            seconds += v * 86400;
        else if (!time && unit == 'W')
            seconds += v * 7 * 86400;
        else if (time && unit == 'H')
            seconds += v * 3600;
        else if (time && unit == 'M')
            seconds += v * 60;
        else if (time && unit == 'S')
            seconds += v;
        else
            return false; // years and months have no fixed length
    }
    if (!any)
        return false;
    days = (negative ? -seconds : seconds) / 86400.0;
    return std::isfinite(days);
}

double serialFromDays(double days) {
    return days < 61 ? days - 1 : days;
}

double daysFromSerial(double serial) {
    return serial < 60 ? serial + 1 : serial;
}

QByteArray isoDate(double days) {
    double whole = std::floor(days);
    std::int64_t ms = std::llround((days - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += 1;
    }
    std::int64_t year;
    int month, day;
    civilFromDays(std::int64_t(whole) + Days1899_12_30, year, month, day);
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%s%04lld-%02d-%02d", year < 0 ? "-" : "",
                          static_cast<long long>(year < 0 ? -year : year), month, day);
    if (ms != 0) {
        n += std::snprintf(buffer + n, sizeof buffer - size_t(n), "T%02d:%02d:%02d",
                           int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60));
        if (ms % 1000 != 0)
            n += std::snprintf(buffer + n, sizeof buffer - size_t(n), ".%03d", int(ms % 1000));
    }
    return QByteArray(buffer, n);
}

QByteArray isoDuration(double days) {
    const bool negative = days < 0;
    std::int64_t ms = std::llround(std::fabs(days) * 86400000.0);
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%sPT%02lldH%02dM%02d", negative ? "-" : "",
                          static_cast<long long>(ms / 3600000), int(ms / 60000 % 60),
                          int(ms / 1000 % 60));
    if (ms % 1000 != 0)
        n += std::snprintf(buffer + n, sizeof buffer - size_t(n), ".%03d", int(ms % 1000));
    buffer[n++] = 'S';
    return QByteArray(buffer, n);
}

} // namespace workbook::ods
