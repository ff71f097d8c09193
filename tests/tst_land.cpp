// The land built into the program: what it holds against the summary its script wrote beside
// it, and damaged bytes refused whole.
#include "map/land.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>

class TestLand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void builtInMatchesSummary();
    void damaged_data();
    void damaged();
};

namespace {

QByteArray resourceBytes() {
    QFile file(QStringLiteral(":/map/land-50m.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestLand::builtInMatchesSummary() {
    // make-land.py's summary: "polygons 1421", "area 30291.930538" …
    QFile summary(QStringLiteral(KML_TEST_DATA "/../../map/land/land-50m.txt"));
    QVERIFY(summary.open(QIODevice::ReadOnly | QIODevice::Text));
    QHash<QString, QString> values;
    while (!summary.atEnd()) {
        const QStringList words = QString::fromUtf8(summary.readLine()).trimmed().split(u' ');
        values.insert(words.first(), words.last());
    }
    const map::Land &land = map::Land::builtIn();
    QCOMPARE(land.polygonCount(), values.value(QStringLiteral("polygons")).toInt());
    QCOMPARE(land.ringCount(), values.value(QStringLiteral("rings")).toInt());
    QCOMPARE(land.pointCount(), values.value(QStringLiteral("points")).toInt());
    QVERIFY(std::abs(land.area() - values.value(QStringLiteral("area")).toDouble()) < 1e-3);
    QCOMPARE(resourceBytes().size(), values.value(QStringLiteral("bytes")).toLongLong());
    QVERIFY(land.polygonCount() > 1000);
    // Every level keeps the continents; the coarsest drops the islets.
    QVERIFY(land.level(0).size() < land.level(map::Land::MaxLevel).size());
    QVERIFY(land.level(0).size() > 50);
}

void TestLand::damaged_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray whole = resourceBytes();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("other magic") << QByteArray("KMLLAND2") + whole.mid(8);
    QTest::newRow("cut in the header") << whole.left(20);
    QTest::newRow("cut in a ring") << whole.left(whole.size() / 2);
    QTest::newRow("a byte more") << whole + '\0';
    QByteArray huge = whole.left(44);
    huge.append("\xff\xff\xff\xff\x0f", 5); // a polygon of 2^32 - 1 rings
    QTest::newRow("huge ring count") << huge;
}

void TestLand::damaged() {
    QFETCH(QByteArray, bytes);
    map::Land land;
    QVERIFY(land.read(resourceBytes()));
    QVERIFY(!land.read(bytes));
    QCOMPARE(land.polygonCount(), 0);
    QCOMPARE(land.pointCount(), 0);
}

QTEST_APPLESS_MAIN(TestLand)
#include "tst_land.moc"
