// A table's points on the map: the rows placed with their categories, the problem rows' rings
// where they can be drawn, the status line, a click's row, and the legend's colours against
// the KML's styles.
#include "map/land.h"
#include "map/mappoints.h"
#include "map/maprenderer.h"
#include "maptesting.h"
#include "table/tablekml.h"

#include <QRegularExpression>
#include <QTest>

using map::MapPoints;
using map::RingKind;

class TestMapPoints : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placedRows();
    void rings_data();
    void rings();
    void hitTest_data();
    void hitTest();
    void legendColoursAreTheKmlStyles();
};

void TestMapPoints::placedRows() {
    const maptesting::ChinaTable t;
    const MapPoints points = MapPoints::of(t.view, t.options);
    // Sheet rows 1, 2, 3, 6 and 8 are placed (the duplicate and the row with a bad time too).
    QCOMPARE(points.sheetRow, (std::vector<int>{1, 2, 3, 6, 8}));
    QCOMPARE(points.categories, (QStringList{"城市", "港口", "山峰"}));
    QCOMPARE(points.category, (std::vector<int>{0, 1, 0, 1, 2}));
    QCOMPARE(points.name(2), QStringLiteral("上海"));
    QCOMPARE(points.status(), QStringLiteral("5 个地标，5 行有问题（1 行无法在图上标出）"));
    // Fitted to the placemarks: the (0, 0) ring is left out.
    QVERIFY(points.bounds()->contains(map::project(116.4, 39.9)));
    QVERIFY(!points.bounds()->contains(map::project(0, 0)));
}

void TestMapPoints::rings_data() {
    QTest::addColumn<int>("sheetRow");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QPointF>("lonLat");
    QTest::newRow("unreadable time, where it is")
        << 3 << int(RingKind::Problem) << QPointF(91.11, 29.65);
    QTest::newRow("swapped, where it would be")
        << 4 << int(RingKind::Swapped) << QPointF(104.07, 30.66);
    QTest::newRow("zero zero") << 5 << int(RingKind::Problem) << QPointF(0, 0);
    QTest::newRow("duplicate") << 6 << int(RingKind::Duplicate) << QPointF(121.47, 31.23);
}

void TestMapPoints::rings() {
    QFETCH(int, sheetRow);
    QFETCH(int, kind);
    QFETCH(QPointF, lonLat);
    const maptesting::ChinaTable t;
    const MapPoints points = MapPoints::of(t.view, t.options);
    QCOMPARE(points.ringRow, (std::vector<int>{3, 4, 5, 6}));
    const auto i = std::size_t(std::find(points.ringRow.begin(), points.ringRow.end(), sheetRow) -
                               points.ringRow.begin());
    QCOMPARE(int(points.ringKind[i]), kind);
    const QPointF expected = map::project(lonLat.x(), lonLat.y());
    QVERIFY(std::abs(points.ringX[i] - expected.x()) < 1e-12);
    QVERIFY(std::abs(points.ringY[i] - expected.y()) < 1e-12);
}

void TestMapPoints::hitTest_data() {
    QTest::addColumn<QPointF>("lonLat");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<int>("sheetRow");
    QTest::newRow("on Beijing") << QPointF(116.40, 39.90) << QPoint(0, 0) << 1;
    QTest::newRow("beside Urumqi") << QPointF(87.62, 43.83) << QPoint(3, -4) << 8;
    QTest::newRow("too far from Urumqi") << QPointF(87.62, 43.83) << QPoint(12, 0) << -1;
    // Shanghai and its duplicate share a pixel: the later row is drawn on top.
    QTest::newRow("Shanghai's pixel") << QPointF(121.47, 31.23) << QPoint(0, 0) << 6;
    QTest::newRow("the swapped row's ring") << QPointF(104.07, 30.66) << QPoint(7, 0) << 4;
    QTest::newRow("open sea") << QPointF(150, 10) << QPoint(0, 0) << -1;
}

void TestMapPoints::hitTest() {
    QFETCH(QPointF, lonLat);
    QFETCH(QPoint, offset);
    QFETCH(int, sheetRow);
    const maptesting::ChinaTable t;
    const MapPoints points = MapPoints::of(t.view, t.options);
    const map::MapView view(QSize(600, 400), map::project(105, 35), 4);
    map::Land land;
    map::MapRenderer renderer(land);
    QImage image;
    renderer.render(image, view, points, -1);
    const QPoint pixel = view.pixelOf(lonLat.x(), lonLat.y()).toPoint() + offset;
    QCOMPARE(renderer.rowAt(pixel), sheetRow);
}

void TestMapPoints::legendColoursAreTheKmlStyles() {
    const maptesting::ChinaTable t;
    const MapPoints points = MapPoints::of(t.view, t.options);
    table::TableResult result;
    QByteArray kml;
    table::writeTableKml(
        t.view, t.options, QStringLiteral("china"),
        [&](QByteArrayView piece) {
            kml.append(piece);
            return true;
        },
        result);
    const QRegularExpression style(QStringLiteral("<color>([0-9a-f]{8})</color>"));
    QStringList colours;
    for (const auto &match : style.globalMatch(QString::fromUtf8(kml)))
        colours << match.captured(1);
    QCOMPARE(colours.size(), points.styleCount());

    // The legend's swatches, drawn without words at the top right, one a line.
    map::Land land;
    map::MapRenderer renderer(land);
    QImage image;
    renderer.render(image, map::MapView(QSize(400, 300), {0.5, 0.5}, 0), points, -1,
                    map::RenderOptions{false, true});
    for (int c = 0; c < colours.size(); ++c) {
        const uint abgr = colours[c].toUInt(nullptr, 16);
        const QRgb kmlColour =
            qRgb(int(abgr & 0xff), int(abgr >> 8 & 0xff), int(abgr >> 16 & 0xff));
        // The legend box is 30 pixels wide and ends 8 from the edge; swatches 18 apart from 12.
        const QPoint swatch(400 - 8 - 30 + 4 + 11, 8 + 4 + 9 + 18 * c);
        QCOMPARE(QString::number(image.pixel(swatch), 16), QString::number(kmlColour, 16));
    }
}

QTEST_MAIN(TestMapPoints)
#include "tst_mappoints.moc"
