// A cell's value as text, by its own kind: numbers by the number writing rule with the decimal
// separator the caller passes (numbers, money, and dates beyond their range), dates in the
// locale's date and time formats, money with at most four decimals, truth values as "True" or
// "False", error values as Excel writes them.
#pragma once

#include "common/numtext.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace workbook {

class SheetData;
struct Cell;

namespace fieldtext {

QString number(double value, QChar separator);
// At most four decimals, trailing zeros dropped; beyond the currency range, as a number.
QString currency(double value, QChar separator);
// A serial day number of the workbook's date system: the locale's date format (LC_TIME's
// D_FMT, a two-digit year widened to four), then a blank and its time format (T_FMT) unless
// the time of day is midnight. A serial outside the years 1900 (1904) to 9999 is written as
// a number.
QString dateTime(double serial, bool date1904, QChar separator);
// The same for a date before the date system's first day (a Date cell's EarlyDate), its serial
// counted on below that day: written as its date and time back to the year 1.
QString earlyDateTime(double serial, bool date1904, QChar separator);
// The inverse of dateTime(): a text in the form a date cell is shown in (the locale's date
// format, a blank and its time format; either alone) as a serial of the workbook's date system,
// so that a date edited as shown is written as a date again. Nothing when it is no such date.
std::optional<double> dateSerial(const QString &text, bool date1904);
QString boolean(bool value);
QString error(std::uint8_t code);
// The code of the error value shown as text ("#DIV/0!" 0x07, blanks around it aside); none for
// a text that is no such error.
std::optional<std::uint8_t> errorCode(QStringView text);

// The text of a cell; the empty text for no cell.
QString cellText(const SheetData &sheet, const Cell *cell, QChar separator);

// Room for a cell's text where the sheet does not hold it as text.
struct TextScratch {
    char16_t number[numtext::FloatTextCapacity];
    QString other;
};

// The same text as cellText, as a view: of the sheet's own characters for a text cell, else of
// scratch. Valid until scratch or the sheet changes. A number costs no allocation, so a long
// export can read its columns this way.
QStringView cellTextView(const SheetData &sheet, const Cell *cell, QChar separator,
                         TextScratch &scratch);

} // namespace fieldtext
} // namespace workbook
