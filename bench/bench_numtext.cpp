// The reading rule and the degrees-minutes-seconds conversion in x87's long double against the
// same in SoftExtended, which the program takes where long double is another type: a million
// texts of two kinds and a million triples, runs taken in turns, medians.
#include "benchsupport.h"
#include "common/numtext.h"
#include "common/softextended.h"
#include "coords/dms.h"

#include <QRandomGenerator>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int Count = 1000000;

// Longitudes and latitudes as a workbook's cells hold them when typed, up to 12 decimals.
QStringList coordinates(QRandomGenerator &random) {
    QStringList texts;
    texts.reserve(Count);
    for (int i = 0; i < Count; ++i) {
        const qint64 units =
            random.bounded(Q_INT64_C(-180000000000000), Q_INT64_C(180000000000000));
        texts << QString::number(double(units) / 1e12, 'f', int(random.bounded(13)));
    }
    return texts;
}

// Any double's shortest text, exponents across the whole range.
QStringList anyDoubles(QRandomGenerator &random) {
    QStringList texts;
    texts.reserve(Count);
    while (texts.size() < Count) {
        const quint64 bits = random.generate64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d))
            texts << QString::number(d, 'g', 17);
    }
    return texts;
}

// The results' bits folded together, so that both paths' results are compared and none is
// optimised away.
quint64 fold(quint64 sum, double d) {
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return (sum << 1 | sum >> 63) ^ bits;
}

template <class Real> quint64 readAll(const QStringList &texts) {
    quint64 sum = 0;
    for (const QString &text : texts) {
        Real v(0);
        if (numtext::readNumber(text, QChar(u'.'), v))
            sum = fold(sum, toDouble(v));
    }
    return sum;
}

// Consecutive texts as degrees, minutes and seconds.
template <class Real> quint64 convertAll(const QStringList &texts) {
    quint64 sum = 0;
    for (int i = 0; i + 2 < texts.size(); i += 3)
        sum = fold(sum, dmsToDecimal<Real>(texts[i], texts[i + 1], texts[i + 2], QChar(u'.')));
    return sum;
}

void compare(const char *what, const std::function<quint64()> &x87,
             const std::function<quint64()> &soft) {
    std::vector<double> x87Times, softTimes;
    quint64 x87Result = 0, softResult = 0;
    for (int run = 0; run < benchsupport::Runs; ++run) {
        QElapsedTimer t;
        t.start();
        x87Result = x87();
        x87Times.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        softResult = soft();
        softTimes.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const auto a = benchsupport::medianOf(x87Times), b = benchsupport::medianOf(softTimes);
    std::printf("%-28s x87 %7.1f ms  SoftExtended %7.1f ms  %.2fx%s\n", what, a.median, b.median,
                b.median / a.median, x87Result == softResult ? "" : "  RESULTS DIFFER");
}

} // namespace

int main() {
#if KMLMAKER_X87_LONG_DOUBLE
    QRandomGenerator random(20251208);
    const QStringList coords = coordinates(random);
    const QStringList doubles = anyDoubles(random);
    std::printf("%d texts each, medians of %d runs\n", Count, benchsupport::Runs);
    compare(
        "read coordinates", [&] { return readAll<long double>(coords); },
        [&] { return readAll<SoftExtended>(coords); });
    compare(
        "read any double", [&] { return readAll<long double>(doubles); },
        [&] { return readAll<SoftExtended>(doubles); });
    compare(
        "convert coordinate triples", [&] { return convertAll<long double>(coords); },
        [&] { return convertAll<SoftExtended>(coords); });
    return 0;
#else
    std::printf("long double is not x87's type here: nothing to compare\n");
    return 0;
#endif
}
