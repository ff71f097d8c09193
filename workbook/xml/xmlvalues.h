// Values as the XML of spreadsheet packages writes them in attributes and elements (XML Schema's
// double, unsigned int and boolean), read in place, and numbers written back the same way.
// Shared by the .xlsx and .ods formats.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace workbook::xml {

// The value without the blanks XML may put around it (space, tab, line feed, return).
QByteArrayView trimmed(QByteArrayView raw);

// A decimal number ("116.39", "+5E-05", blanks around it aside); false for anything else.
bool parseNumber(QByteArrayView raw, double &value);
// A whole number from 0 to 2^32 - 1 ("12"); false for anything else.
bool parseIndex(QByteArrayView raw, std::uint32_t &value);
// Whether a boolean value is true ("1", "true").
bool isTrue(QByteArrayView raw);

// The shortest text that reads back as the same number ("116.39", "5e-05").
QByteArray numberText(double value);

} // namespace workbook::xml
