// The values of OpenDocument cells as the sheet model holds them: numbers, ISO 8601 dates and
// durations as serial days of Excel's 1900 date system, error texts as error codes; and back,
// for writing.
#pragma once

#include "workbook/fieldtext.h"
#include "workbook/xml/xmlvalues.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace workbook::ods {

// A decimal number as office:value holds it ("116.39", "5E-05"); false for anything else.
using xml::parseNumber;

// An ISO 8601 date or date and time ("2024-05-01", "2024-05-01T13:30:00.5", a zone ignored) as
// days since 1899-12-30, the day OpenDocument's default null date names. False when it is not
// one.
bool parseDate(QByteArrayView raw, double &days);
// An ISO 8601 duration ("PT13H30M15.5S", "P1DT2H", "-PT1H") in days.
bool parseDuration(QByteArrayView raw, double &days);

// Days since 1899-12-30 as a serial of the 1900 system, which counts a 29 February 1900 that
// never was: serials before 1 March 1900 are one less than the days.
double serialFromDays(double days);
double daysFromSerial(double serial);

// "2024-05-01" or "2024-05-01T13:30:00" (with fractions of a second where there are any), for
// days since 1899-12-30.
QByteArray isoDate(double days);
// "PT13H30M00S", for a duration in days.
QByteArray isoDuration(double days);

// The number office:value is written with: the shortest text that reads back as the same
// number.
using xml::numberText;

// The code of an error value by its text, as the field texts show it; none for a text that is no
// such error (LibreOffice's own "Err:502").
using fieldtext::errorCode;

} // namespace workbook::ods
