// The Chinese web maps' datums against published reference pairs, and every point taken there
// and back landing where it started.
#include "table/datum.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace table;

Q_DECLARE_METATYPE(table::Datum)

class TestDatum : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void referencePairs_data();
    void referencePairs();
    void thereAndBack_data();
    void thereAndBack();
};

void TestDatum::referencePairs_data() {
    QTest::addColumn<int>("map"); // 0 WGS-84 to GCJ-02, 1 GCJ-02 to BD-09, 2 BD-09 to GCJ-02
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("toLon");
    QTest::addColumn<double>("toLat");
    QTest::addColumn<double>("within");
    // The values of the widely used coordtransform library's examples, and eviltransform's.
    QTest::newRow("Beijing to GCJ-02")
        << 0 << 116.404 << 39.915 << 116.41024449916938 << 39.91640428150164 << 1e-12;
    QTest::newRow("GCJ-02 to BD-09")
        << 1 << 116.404 << 39.915 << 116.41036949371029 << 39.92133699351021 << 1e-12;
    QTest::newRow("BD-09 to GCJ-02")
        << 2 << 116.404 << 39.915 << 116.39762729119315 << 39.90865673957631 << 1e-12;
    QTest::newRow("Shanghai to GCJ-02")
        << 0 << 121.5272106 << 31.1774276 << 121.531541859215 << 31.17530398364597 << 1e-9;
    QTest::newRow("Shenzhen to GCJ-02")
        << 0 << 113.912316 << 22.543847 << 113.9171764808363 << 22.540796131694766 << 1e-9;
    QTest::newRow("Seoul is inside the box") << 0 << 126.978 << 37.5665 << 0.0 << 0.0 << -1.0;
    QTest::newRow("Tokyo is outside") << 0 << 139.6917 << 35.6895 << 139.6917 << 35.6895 << 0.0;
}

void TestDatum::referencePairs() {
    QFETCH(int, map);
    QFETCH(double, lon);
    QFETCH(double, lat);
    QFETCH(double, toLon);
    QFETCH(double, toLat);
    QFETCH(double, within);
    const LonLat p{lon, lat};
    const LonLat got = map == 0 ? wgs84ToGcj02(p) : map == 1 ? gcj02ToBd09(p) : bd09ToGcj02(p);
    if (within < 0) { // moved, by some hundreds of metres
        QVERIFY(std::fabs(got.lon - lon) > 1e-4 || std::fabs(got.lat - lat) > 1e-4);
        return;
    }
    QVERIFY2(std::fabs(got.lon - toLon) <= within && std::fabs(got.lat - toLat) <= within,
             qPrintable(QStringLiteral("%1 %2").arg(got.lon, 0, 'g', 17).arg(got.lat, 0, 'g', 17)));
}

void TestDatum::thereAndBack_data() {
    QTest::addColumn<Datum>("datum");
    QTest::newRow("GCJ-02") << Datum::Gcj02;
    QTest::newRow("BD-09") << Datum::Bd09;
}

// Points over China's box and beyond it, taken to the datum and back: within 1e-7 degrees. Within
// a few hundred metres of the box's edges two points can have one image (see toWgs84): those
// are left out.
void TestDatum::thereAndBack() {
    QFETCH(Datum, datum);
    QRandomGenerator rng(7);
    double worst = 0;
    for (int i = 0; i < 20000; ++i) {
        const LonLat p{70 + rng.generateDouble() * 70, rng.generateDouble() * 58};
        const auto near = [](double v, double edge) { return std::fabs(v - edge) < 0.02; };
        if (near(p.lon, 72.004) || near(p.lon, 137.8347) || near(p.lat, 0.8293) ||
            near(p.lat, 55.8271))
            continue;
        const LonLat back = toWgs84(fromWgs84(p, datum), datum);
        worst = std::max({worst, std::fabs(back.lon - p.lon), std::fabs(back.lat - p.lat)});
    }
    QVERIFY2(worst < 1e-7, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(TestDatum)
#include "tst_datum.moc"
