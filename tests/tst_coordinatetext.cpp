// Coordinates as people write them in tables, read to degrees or refused.
#include "table/coordinatetext.h"

#include <QTest>

using namespace table;

Q_DECLARE_METATYPE(table::Axis)

class TestCoordinateText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void pair_data();
    void pair();
};

void TestCoordinateText::read_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    const Axis any = Axis::Either, lon = Axis::Longitude, lat = Axis::Latitude;
    const double dms = 116.0 + 23.0 / 60 + 31.3 / 3600;
    QTest::newRow("decimal") << "116.3920388" << any << true << 116.3920388;
    QTest::newRow("signed") << "-33.5" << any << true << -33.5;
    QTest::newRow("plus") << "+33.5" << any << true << 33.5;
    QTest::newRow("decimal comma") << "116,39" << any << true << 116.39;
    QTest::newRow("degree mark after decimals") << "116.39°" << any << true << 116.39;
    QTest::newRow("marked dms") << "116°23′31.3″" << any << true << dms;
    QTest::newRow("ascii marks") << "116°23'31.3\"" << any << true << dms;
    QTest::newRow("two apostrophes") << "116°23'31.3''" << any << true << dms;
    QTest::newRow("letters") << "116d23m31.3s" << any << true << dms;
    QTest::newRow("chinese marks") << "116度23分31.3秒" << any << true << dms;
    QTest::newRow("blanks between marked parts") << "116° 23′ 31.3″" << any << true << dms;
    QTest::newRow("blanks only") << "116 23 31.3" << any << true << dms;
    QTest::newRow("colons") << "116:23:31.3" << any << true << dms;
    QTest::newRow("last mark left out")
        << "39°54′27" << any << true << 39.0 + 54.0 / 60 + 27.0 / 3600;
    QTest::newRow("degrees and minutes") << "39°54.5′" << any << true << 39.0 + 54.5 / 60;
    QTest::newRow("hemisphere after") << "116°23′31.3″E" << lon << true << dms;
    QTest::newRow("west negates") << "116°23′31.3″ W" << lon << true << -dms;
    QTest::newRow("south before") << "S 33.5" << lat << true << -33.5;
    QTest::newRow("lower-case n") << "39.9n" << lat << true << 39.9;
    QTest::newRow("chinese hemisphere")
        << "北纬39度54分27秒" << lat << true << 39.0 + 54.0 / 60 + 27.0 / 3600;
    QTest::newRow("西经") << "西经116.5" << lon << true << -116.5;
    QTest::newRow("plus beside hemisphere") << "+116.5E" << lon << true << 116.5;
    QTest::newRow("full width") << u"１１６．５°Ｅ"_qs << lon << true << 116.5;
    QTest::newRow("unicode minus") << u"\u221233.5"_qs << any << true << -33.5;
    QTest::newRow("full-width minus") << u"\uFF0D33.5"_qs << any << true << -33.5;
    QTest::newRow("lower-case s is seconds") << "33°30′0s" << any << true << 33.5;

    QTest::newRow("minus beside hemisphere") << "-116.5E" << lon << false << 0.0;
    QTest::newRow("other axis") << "39.9N" << lon << false << 0.0;
    QTest::newRow("sixty minutes") << "39°60′" << any << false << 0.0;
    QTest::newRow("sixty seconds") << "39°59′60″" << any << false << 0.0;
    QTest::newRow("exponent") << "1e2" << any << false << 0.0;
    QTest::newRow("thousands separator") << "1,160.5" << any << false << 0.0;
    QTest::newRow("trailing point") << "116." << any << false << 0.0;
    QTest::newRow("leading point") << ".5" << any << false << 0.0;
    QTest::newRow("decimals before the last part") << "116.5°23′" << any << false << 0.0;
    QTest::newRow("marks out of order") << "116′23°" << any << false << 0.0;
    QTest::newRow("unmarked part before a mark") << "116 23′" << any << false << 0.0;
    QTest::newRow("colon between marked parts") << "116°:23′" << any << false << 0.0;
    QTest::newRow("two hemispheres") << "N39.9N" << any << false << 0.0;
    QTest::newRow("four parts") << "1 2 3 4" << any << false << 0.0;
    QTest::newRow("empty") << "" << any << false << 0.0;
    QTest::newRow("word") << "北京" << any << false << 0.0;
}

void TestCoordinateText::read() {
    QFETCH(QString, text);
    QFETCH(Axis, axis);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const Coordinate c = readCoordinate(text, axis);
    QCOMPARE(c.ok, ok);
    if (ok)
        QCOMPARE(c.value, value);
}

void TestCoordinateText::pair_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("first"); // empty: not split
    QTest::addColumn<QString>("second");
    QTest::newRow("semicolon") << "39.9;116.4"
                               << "39.9"
                               << "116.4";
    QTest::newRow("one comma") << "39.9, 116.4"
                               << "39.9"
                               << "116.4";
    QTest::newRow("full-width comma") << u"39.9，116.4"_qs << "39.9"
                                      << "116.4";
    QTest::newRow("decimal commas, blank") << "39,9 116,4"
                                           << "39,9"
                                           << "116,4";
    QTest::newRow("dms with blanks") << "39 54 27 116 23 31"
                                     << "39 54 27"
                                     << "116 23 31";
    QTest::newRow("hemispheres") << "39°54′27″N 116°23′31″E"
                                 << "39°54′27″N"
                                 << "116°23′31″E";
    QTest::newRow("one value") << "39.9"
                               << ""
                               << "";
    QTest::newRow("ambiguous blanks") << "39 54 116 23"
                                      << "39 54"
                                      << "116 23";
    QTest::newRow("two semicolons") << "1;2;3"
                                    << ""
                                    << "";
}

void TestCoordinateText::pair() {
    QFETCH(QString, text);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QString a, b;
    const bool split = splitCoordinatePair(text, a, b);
    QCOMPARE(split, !first.isEmpty());
    if (split) {
        QCOMPARE(a, first);
        QCOMPARE(b, second);
    }
}

QTEST_GUILESS_MAIN(TestCoordinateText)
#include "tst_coordinatetext.moc"
