// What a cell's number format makes of its number: a date and time, a currency amount, or a
// plain number. Excel keeps dates and money as numbers; only the format tells them apart.
#pragma once

#include <QString>

#include <cstdint>

namespace workbook {

enum class NumberClass : std::uint8_t { Plain, Date, Currency };

// A format string as a FORMAT record holds it ("yyyy-mm-dd", "#,##0.00 [$€-407]", ...).
NumberClass classifyFormatString(const QString &format);

// A built-in format number for which the workbook has no FORMAT record.
NumberClass classifyBuiltInFormat(int index);

} // namespace workbook
