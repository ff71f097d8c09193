// Headings as people write them, each taken to the role it names.
#include "table/headings.h"

#include <QTest>

using namespace table;

Q_DECLARE_METATYPE(table::Role)

class TestHeadings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void role_data();
    void role();
};

void TestHeadings::role_data() {
    QTest::addColumn<QString>("heading");
    QTest::addColumn<Role>("role");
    QTest::newRow("经度") << "经度" << Role::Longitude;
    QTest::newRow("unit in brackets") << "经度(°)" << Role::Longitude;
    QTest::newRow("full-width brackets") << u"纬度（度）"_qs << Role::Latitude;
    QTest::newRow("square unit") << "Elevation [m]" << Role::Altitude;
    QTest::newRow("case and blanks") << "  Longitude " << Role::Longitude;
    QTest::newRow("underscore") << "LAT_LON" << Role::CoordinatesLatLon;
    QTest::newRow("slash kept") << "Lat/Lon" << Role::CoordinatesLatLon;
    QTest::newRow("lon first") << "经度/纬度" << Role::CoordinatesLonLat;
    QTest::newRow("经纬度") << "经纬度" << Role::CoordinatesLonLat;
    QTest::newRow("dots and dashes") << "Time-Stamp." << Role::Time;
    QTest::newRow("full-width letters") << u"ＮＡＭＥ"_qs << Role::Name;
    QTest::newRow("备注") << "备注" << Role::Description;
    QTest::newRow("category") << "类别" << Role::Category;
    QTest::newRow("x") << "X" << Role::Longitude;
    QTest::newRow("unknown") << "人口" << Role::None;
    QTest::newRow("a word containing one") << "Latitude2" << Role::None;
    QTest::newRow("empty") << "" << Role::None;
}

void TestHeadings::role() {
    QFETCH(QString, heading);
    QFETCH(Role, role);
    QCOMPARE(roleOfHeading(heading), role);
}

QTEST_GUILESS_MAIN(TestHeadings)
#include "tst_headings.moc"
