// A cell's value as text, by its own kind: numbers by the number writing rule, dates in the
// locale's date and time formats, money with at most four decimals, truth values as "True" or
// "False", error values as Excel writes them.
#pragma once

#include <QString>

#include <cstdint>

namespace workbook {

class SheetData;
struct Cell;

namespace fieldtext {

QString number(double value);
// At most four decimals, trailing zeros dropped; beyond the currency range, as a number.
QString currency(double value);
// A serial day number of the workbook's date system: the locale's date format (LC_TIME's
// D_FMT, a two-digit year widened to four), then a blank and its time format (T_FMT) unless
// the time of day is midnight. A serial outside the years 1900 (1904) to 9999 is written as
// a number.
QString dateTime(double serial, bool date1904);
QString boolean(bool value);
QString error(std::uint8_t code);

// The text of a cell; the empty text for no cell.
QString cellText(const SheetData &sheet, const Cell *cell);

} // namespace fieldtext
} // namespace workbook
