// Degrees, minutes and seconds as typed on the first page, converted to decimal degrees.
#pragma once

#include <QChar>

class QString;

// Reads degrees, then seconds, then minutes by the reading rule with the decimal separator (the
// first bad text stops with its CommandError). A negative degrees value (negative zero included)
// carries its sign to the minutes and seconds. Throws CommandError "Floating point overflow" for
// a result beyond the range of double.
double DmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds,
                    QChar separator);

// The same computed in a chosen type, SoftExtended or (where it is x87's) long double: the tests
// and the benchmark hold one against the other.
template <class Real>
double dmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds,
                    QChar separator);
