// Civil dates of the proleptic Gregorian calendar as day counts from 1970-01-01, with no time
// zone in between: what the date systems of every workbook format (Excel's serial days,
// OpenDocument's ISO 8601 dates) are counted in.
#pragma once

#include <cstdint>

namespace workbook::calendar {

// The days from 1970-01-01 to the days each date system counts from.
inline constexpr std::int64_t Days1899_12_30 = -25569;
inline constexpr std::int64_t Days1904_01_01 = -24107;

constexpr bool isLeap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1970-01-01 to a civil date.
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The civil date of a count of days from 1970-01-01: daysFromCivil turned round.
constexpr void civilFromDays(std::int64_t days, std::int64_t &year, int &month, int &day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2);
}

} // namespace workbook::calendar
