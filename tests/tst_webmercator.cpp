// Web Mercator: known places to the world square and pixels and back, the latitudes past the
// edge, zooming about a pixel, and views fitted to a rectangle or the world.
#include "map/webmercator.h"

#include <QTest>

using map::MapView;

class TestWebMercator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void projection_data();
    void projection();
    void zoomKeepsThePointer();
    void fitted_data();
    void fitted();
};

void TestWebMercator::projection_data() {
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("lat");
    QTest::addColumn<QPointF>("pixel"); // in the 256-pixel world of zoom 0
    QTest::addColumn<double>("backLat");
    QTest::newRow("null island") << 0.0 << 0.0 << QPointF(128, 128) << 0.0;
    QTest::newRow("date line, the edge")
        << -180.0 << 85.05112877980659 << QPointF(0, 0) << 85.05112877980659;
    QTest::newRow("east, south edge")
        << 180.0 << -85.05112877980659 << QPointF(256, 256) << -85.05112877980659;
    // Tile 13/6744/3104 of the web maps holds Tiananmen; 116.3912757 E, 39.906217 N lies at
    // these pixels of zoom 0 (256 * (lon + 180) / 360, 256 * (1 - ln(tan + sec) / π) / 2).
    QTest::newRow("Beijing") << 116.3912757 << 39.906217 << QPointF(210.7671, 97.0033) << 39.906217;
    QTest::newRow("past the north edge")
        << 10.0 << 89.9 << QPointF(135.1111, 0) << 85.05112877980659;
    QTest::newRow("the south pole") << 0.0 << -90.0 << QPointF(128, 256) << -85.05112877980659;
}

void TestWebMercator::projection() {
    QFETCH(double, lon);
    QFETCH(double, lat);
    QFETCH(QPointF, pixel);
    QFETCH(double, backLat);
    const MapView world(QSize(256, 256), {0.5, 0.5}, 0);
    const QPointF p = world.pixelOf(lon, lat);
    QVERIFY2(std::abs(p.x() - pixel.x()) < 1e-3 && std::abs(p.y() - pixel.y()) < 1e-3,
             qPrintable(QStringLiteral("%1, %2").arg(p.x(), 0, 'f', 4).arg(p.y(), 0, 'f', 4)));
    // Eight zoom steps further in, a pixel there is 256 of these.
    const MapView near(QSize(640, 480), map::project(lon, lat), 8);
    QCOMPARE(near.pixelOf(lon, std::clamp(lat, -85.0511, 85.0511)).toPoint(), QPoint(320, 240));
    const QPointF back = map::unproject(near.toWorld(near.pixelOf(lon, lat)));
    QVERIFY(std::abs(back.x() - lon) < 1e-9);
    QVERIFY(std::abs(back.y() - backLat) < 1e-9);
}

void TestWebMercator::zoomKeepsThePointer() {
    MapView view(QSize(800, 600), map::project(105, 35), 4);
    const QPointF pointer(123, 456);
    const QPointF under = view.toWorld(pointer);
    view.zoomAbout(pointer, 2.5);
    QCOMPARE(view.zoom(), 6.5);
    const QPointF after = view.toPixel(under);
    QVERIFY(std::abs(after.x() - pointer.x()) < 1e-6 && std::abs(after.y() - pointer.y()) < 1e-6);
    view.zoomAbout(pointer, 100);
    QCOMPARE(view.zoom(), map::MaxZoom);
}

void TestWebMercator::fitted_data() {
    QTest::addColumn<QPointF>("westNorth"); // lon, lat
    QTest::addColumn<QPointF>("eastSouth");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<double>("zoom");
    // 73.5–135 E, 18–53.5 N in an 800 × 600 window with 40 pixels of margin: the height decides.
    QTest::newRow("China") << QPointF(73.5, 53.5) << QPointF(135, 18) << QMargins(40, 40, 40, 40)
                           << 4.0140;
    // The legend's 200 pixels kept clear at the right: the width decides.
    QTest::newRow("China beside the legend")
        << QPointF(73.5, 53.5) << QPointF(135, 18) << QMargins(40, 40, 200, 40) << 3.6786;
    QTest::newRow("one point") << QPointF(116.4, 39.9) << QPointF(116.4, 39.9)
                               << QMargins(40, 40, 40, 40) << 14.0;
    QTest::newRow("a street") << QPointF(116.400, 39.9001) << QPointF(116.401, 39.9)
                              << QMargins(40, 40, 40, 40) << 14.0;
}

void TestWebMercator::fitted() {
    QFETCH(QPointF, westNorth);
    QFETCH(QPointF, eastSouth);
    QFETCH(QMargins, margins);
    QFETCH(double, zoom);
    const QRectF world(map::project(westNorth.x(), westNorth.y()),
                       map::project(eastSouth.x(), eastSouth.y()));
    const MapView view = MapView::fitted(QSize(800, 600), world, margins);
    QVERIFY2(std::abs(view.zoom() - zoom) < 1e-3, qPrintable(QString::number(view.zoom())));
    const QRectF shown(view.toPixel(world.topLeft()), view.toPixel(world.bottomRight()));
    const QRectF inside =
        QRectF(0, 0, 800, 600).marginsRemoved(margins).adjusted(-1e-3, -1e-3, 1e-3, 1e-3);
    QVERIFY(inside.contains(shown.topLeft()) && inside.contains(shown.bottomRight()));
    QVERIFY(std::abs(shown.center().x() - inside.center().x()) < 1e-6);
    QVERIFY(std::abs(shown.center().y() - inside.center().y()) < 1e-6);

    const MapView whole = MapView::wholeWorld(QSize(800, 600));
    QCOMPARE(whole.toPixel({0, 0}), QPointF(100, 0));
    QCOMPARE(whole.toPixel({1, 1}), QPointF(700, 600));
}

QTEST_APPLESS_MAIN(TestWebMercator)
#include "tst_webmercator.moc"
