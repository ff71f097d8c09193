// The map's frame: a view of the China table drawn without words and compared with the
// reference picture, the graticule's step and the scale bar's length by zoom.
#include "map/land.h"
#include "map/mappoints.h"
#include "map/maprenderer.h"
#include "maptesting.h"
#include "testsupport.h"

#include <QTest>

using map::MapRenderer;
using map::MapView;

Q_DECLARE_METATYPE(map::MapView)

class TestMapRenderer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchesReference_data();
    void matchesReference();
    void graticuleAndScale_data();
    void graticuleAndScale();
};

void TestMapRenderer::matchesReference_data() {
    QTest::addColumn<QString>("reference");
    QTest::addColumn<MapView>("view");
    QTest::addColumn<int>("currentRow");
    // The points fitted as the window opens; Shanghai current.
    QTest::newRow("China fitted") << "map/china.png"
                                  << MapView(QSize(360, 260), map::project(105, 33), 3.2) << 2;
    // Zoomed in on Shanghai: the coast, the 1° graticule, the duplicate's orange ring; no row
    // current.
    QTest::newRow("Shanghai") << "map/shanghai.png"
                              << MapView(QSize(360, 260), map::project(121, 31.2), 7) << -1;
}

// Set KMLMAKER_WRITE_REFERENCE=1 to write the pictures anew (tests/data/map/make-reference.sh).
void TestMapRenderer::matchesReference() {
    QFETCH(QString, reference);
    QFETCH(MapView, view);
    QFETCH(int, currentRow);
    const maptesting::ChinaTable t;
    const map::MapPoints points = map::MapPoints::of(t.view, t.options);
    MapRenderer renderer(map::Land::builtIn());
    QImage image;
    renderer.render(image, view, points, currentRow, map::RenderOptions{false, true});
    const QString path = testsupport::dataFile(reference);
    if (qEnvironmentVariableIsSet("KMLMAKER_WRITE_REFERENCE"))
        QVERIFY(image.save(path, "PNG"));
    const QImage expected = QImage(path).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(expected.size(), image.size());
    // Antialiased edges may differ a little between Qt's versions: a pixel counts as different
    // past 48 in a channel, and one in two hundred may.
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb a = image.pixel(x, y), b = expected.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 48 || std::abs(qGreen(a) - qGreen(b)) > 48 ||
                std::abs(qBlue(a) - qBlue(b)) > 48)
                ++differing;
        }
    if (differing > image.width() * image.height() / 200)
        image.save(QFileInfo(reference).fileName(), "PNG");
    QVERIFY2(differing <= image.width() * image.height() / 200,
             qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

void TestMapRenderer::graticuleAndScale_data() {
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("lat");
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("metres");
    // 120 pixels at zoom 0 on the equator span 18,785 km: 10,000 km is the longest round bar.
    QTest::newRow("world") << 0.0 << 0.0 << 10 << 1e7;
    QTest::newRow("China") << 4.0 << 35.0 << 10 << 5e5;
    QTest::newRow("a province, 1°") << 7.0 << 35.0 << 1 << 1e5;
    QTest::newRow("a city") << 12.0 << 60.0 << 1 << 2e3;
}

void TestMapRenderer::graticuleAndScale() {
    QFETCH(double, zoom);
    QFETCH(double, lat);
    QFETCH(int, step);
    QFETCH(double, metres);
    const MapView view(QSize(800, 600), map::project(100, lat), zoom);
    QCOMPARE(MapRenderer::graticuleStep(view), step);
    QCOMPARE(MapRenderer::scaleBarMetres(view, 120), metres);
}

QTEST_MAIN(TestMapRenderer)
#include "tst_maprenderer.moc"
