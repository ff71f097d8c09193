// Degrees, minutes and seconds as typed on the first page, converted to decimal degrees.
#pragma once

class QString;

// Reads degrees, then seconds, then minutes by the reading rule (the first bad text stops with
// its CommandError). A negative degrees value (negative zero included) carries its sign to the
// minutes and seconds. Throws CommandError "Floating point overflow" for a result beyond the
// range of double.
double DmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds);
