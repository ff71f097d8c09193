// The degrees-minutes-seconds conversion behind the first page's converter button.
#include "coords/dms.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "common/softextended.h"

#include <cmath>

template <class Real>
double dmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds,
                    QChar separator) {
    // This order decides which text the error names when several are bad.
    const Real d = numtext::strToFloat<Real>(degrees, separator);
    const Real s = numtext::strToFloat<Real>(seconds, separator);
    const Real m = numtext::strToFloat<Real>(minutes, separator);
    // "-116° 30′" is west of -116, so the minutes and seconds take the sign of the degrees;
    // testing the sign bit makes "-0" degrees count as negative too.
    const Real fraction = (m * Real(60) + s) / Real(3600);
    using std::signbit;
    const Real result = signbit(d) ? d - fraction : d + fraction;
    const double stored = toDouble(result);
    if (!std::isfinite(stored))
        throw CommandError(QStringLiteral("Floating point overflow"));
    return stored;
}

template double dmsToDecimal<SoftExtended>(const QString &, const QString &, const QString &,
                                           QChar);
#if KMLMAKER_X87_LONG_DOUBLE
template double dmsToDecimal<long double>(const QString &, const QString &, const QString &, QChar);
#endif

double DmsToDecimal(const QString &degrees, const QString &minutes, const QString &seconds,
                    QChar separator) {
    return dmsToDecimal<numtext::Extended>(degrees, minutes, seconds, separator);
}
