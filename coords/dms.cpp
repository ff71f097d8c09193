// The degrees-minutes-seconds conversion behind the first page's converter button.
#include "coords/dms.h"

#include "common/commanderror.h"
#include "coords/numtext.h"

#include <cmath>

double DmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds) {
    // This order decides which text the error names when several are bad.
    const long double d = numtext::StrToFloat(degrees);
    const long double s = numtext::StrToFloat(seconds);
    const long double m = numtext::StrToFloat(minutes);
    // "-116° 30′" is west of -116, so the minutes and seconds take the sign of the degrees;
    // testing the sign bit makes "-0" degrees count as negative too.
    const long double fraction = (m * 60 + s) / 3600;
    const long double result = std::signbit(d) ? d - fraction : d + fraction;
    const double stored = static_cast<double>(result);
    if (!std::isfinite(stored))
        throw CommandError(QStringLiteral("Floating point overflow"));
    return stored;
}
