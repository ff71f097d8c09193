// The number text rules of the program: how a typed text becomes a number and how a number is
// written back, both with the decimal separator the caller passes (the window's, from the
// user's regional settings).
#pragma once

#include "common/softextended.h"

#include <QChar>
#include <QString>

namespace numtext {

// The system locale's decimal separator; "." when that is not exactly one character.
QChar systemDecimalSeparator();

// The type in which a number text is read and degrees, minutes and seconds are added up: x87's
// 80-bit long double where long double is that type, the same arithmetic done in integers
// elsewhere (or on x86 too, built with KMLMAKER_PORTABLE_EXTENDED), with the same results.
#if KMLMAKER_X87_LONG_DOUBLE && !defined(KMLMAKER_PORTABLE_EXTENDED)
using Extended = long double;
#else
using Extended = SoftExtended;
#endif

// The reading rule: blanks (the space character only), one optional sign, digits with at most
// one separator, an optional exponent, blanks. False when the text is not a number or the value
// is beyond the extended range; a value too small for that range reads as 0.
bool TextToFloat(const QString &text, QChar separator, Extended &value);

// TextToFloat, throwing CommandError "'<text>' is not a valid floating point value" on failure.
Extended StrToFloat(const QString &text, QChar separator);

// The same two computed in a chosen type, SoftExtended or (where it is x87's) long double: the
// tests and the benchmark hold one against the other.
template <class Real> bool readNumber(const QString &text, QChar separator, Real &value);
template <class Real> Real strToFloat(const QString &text, QChar separator);

// The writing rule: general format with 15 significant digits; plain notation from 0.0001 up to
// below 1E15, "E" notation outside it.
QString FloatToStr(double value, QChar separator);

// The same text written at out, which has room for FloatTextCapacity units; returns its end. No
// allocation: an export writes a long column of numbers straight into its output.
inline constexpr int FloatTextCapacity = 32;
char16_t *formatFloat(double value, QChar separator, char16_t *out);

} // namespace numtext
