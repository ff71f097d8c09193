// A table's KML: the document compared with its golden copy and read back by GDAL's KML and
// LIBKML drivers; the problems of the rows, each with its row, column and text; the datum.
#include "table/tablefile.h"
#include "table/tablekml.h"
#include "table/tableview.h"
#include "tabletesting.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace table;
using tabletesting::sheetOf;
using workbook::SheetData;

class TestTableKml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void document();
    void readByGdal_data();
    void readByGdal();
    void problems_data();
    void problems();
    void datum();
    void colours();
    void cancelledSave();
    void pieces_data();
    void pieces();
    void cancelledMidway();
};

namespace {

// A table as people make one: a title row, headings in Chinese in their own order, DMS text,
// a category with an empty value, an altitude with its unit, dates as text and as date cells,
// and two columns for the balloon.
const QList<QStringList> stations = {
    {"气象站一览"},
    {"站名", "类别", "纬度", "经度", "海拔", "日期", "备注", "人口", "A&B"},
    {"北京", "国家站", "39°48′N", "116°28′E", "31.3米", "2024-05-01", "<b>首都</b>", "#21893000",
     "x<y"},
    {"上海", "基本站", "31.2", "121.45", "#4.5", "@45413.5", "a & b", "", ""},
    {"拉萨", "", "29 40 12", "91 08 24", "3650m", "2024年5月1日 08:30", "", "#867891", "\"q\""},
    {"广州", "国家站", "23.13", "113.26", "", "", "", "", ""},
};

QByteArray kmlOf(const SheetData &sheet, TableOptions options, TableResult &result) {
    const TableView table(sheet);
    options.roles = findRoles(table, options.roles);
    QByteArray out;
    writeTableKml(
        table, options, QStringLiteral("stations.xlsx: 站点"),
        [&](QByteArrayView piece) {
            out.append(piece);
            return true;
        },
        result);
    return out;
}

// Rows spread over four folders of different sizes, with rows left out, the same place in both
// halves of the rows, times as text and as date cells, and cells missing here and there.
QList<QStringList> spreadRows() {
    QList<QStringList> rows = {
        {"名称", "类别", "经度", "纬度", "时间", "海拔", "备注", "编号", "负责人"}};
    const char *kinds[] = {"甲", "乙", "乙", "丙", "甲", "丁", "乙"};
    for (int r = 0; r < 29; ++r) {
        const QString n = QString::number(r);
        const QString kind = r % 11 == 3 ? QString() : QString::fromUtf8(kinds[r % 7]);
        const QString lon =
            r % 9 == 4 ? QStringLiteral("东经") : "#" + QString::number(100 + r % 13 * 0.5);
        const QString time = r % 3 == 0   ? QStringLiteral("@45413.25")
                             : r % 3 == 1 ? QStringLiteral("2024-5-") + n
                                          : QString();
        const QString altitude = r % 4 == 0 ? QString() : n + QStringLiteral("米");
        const QString note = r % 5 == 0 ? "<b>" + n + "</b>" : QString();
        const QString id = (r % 2 ? QStringLiteral("#") : QStringLiteral("x&")) + n;
        rows.append({"点" + n, kind, lon, "#" + QString::number(30 + r % 13 * 0.25), time, altitude,
                     note, id});
    }
    return rows;
}

// The document and problems as one thread writes them in one piece.
QByteArray plainKml(const SheetData &sheet, TableResult &result) {
    const TableView table(sheet);
    TableOptions options;
    options.roles = findRoles(table);
    QByteArray out;
    writeTableKml(
        table, options, QStringLiteral("t"),
        [&](QByteArrayView piece) {
            out.append(piece);
            return true;
        },
        result, {}, KmlMaking{1, 1 << 20, 1 << 20});
    return out;
}

QStringList problemLines(const TableResult &result) {
    QStringList lines;
    for (const Problem &p : result.problems)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(p.row)
                     .arg(p.column)
                     .arg(int(p.kind))
                     .arg(p.sameAs)
                     .arg(p.text);
    return lines;
}

} // namespace

void TestTableKml::document() {
    TableResult result;
    const QByteArray kml = kmlOf(sheetOf(stations), TableOptions(), result);
    QCOMPARE(result.placemarks, qint64(4));
    QCOMPARE(result.problems.size(), std::size_t(0));
    const QByteArray golden = testsupport::golden(QStringLiteral("table/stations.kml"));
    if (kml != golden)
        testsupport::writeFile(QStringLiteral("stations.kml"), kml);
    QCOMPARE(kml, golden);
}

void TestTableKml::readByGdal_data() {
    QTest::addColumn<QString>("driver");
    QTest::newRow("KML") << "KML";
    QTest::newRow("LIBKML") << "LIBKML";
}

// Every layer's features with their names, fields and points, as ogrinfo lists them.
void TestTableKml::readByGdal() {
    QFETCH(QString, driver);
    if (QStandardPaths::findExecutable(QStringLiteral("ogrinfo")).isEmpty())
        QSKIP("ogrinfo (gdal-bin) is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stations.kml"));
    QVERIFY(
        testsupport::writeFile(path, testsupport::golden(QStringLiteral("table/stations.kml"))));
    QProcess ogr;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LIBKML_LAUNDER_FIELD_NAMES"), QStringLiteral("NO"));
    ogr.setProcessEnvironment(env);
    // The other driver skipped, so that this one reads the file.
    const QString other = driver == u"KML" ? QStringLiteral("LIBKML") : QStringLiteral("KML");
    ogr.start(QStringLiteral("ogrinfo"),
              {QStringLiteral("--config"), QStringLiteral("GDAL_SKIP"), other,
               QStringLiteral("-ro"), QStringLiteral("-al"), path});
    QVERIFY(ogr.waitForFinished(60000));
    const QString listing = QString::fromUtf8(ogr.readAllStandardOutput());
    QCOMPARE(ogr.exitCode(), 0);
    QVERIFY2(listing.contains(u"Layer name: 国家站"), qPrintable(listing));
    QVERIFY(listing.contains(u"Layer name: (未分类)"));
    QVERIFY(listing.contains(u"Name (String) = 北京"));
    QVERIFY(listing.contains(u"POINT Z (116.466666666667 39.8 31.3)"));
    QVERIFY(listing.contains(u"POINT (113.26 23.13)"));
    QVERIFY(listing.contains(u"POINT Z (91.14 29.67 3650)"));
    if (driver == u"LIBKML") {
        QVERIFY2(listing.contains(u"人口 (String) = 21893000"), qPrintable(listing));
        QVERIFY(listing.contains(u"A&B (String) = x<y"));
        QVERIFY(listing.contains(u"timestamp (DateTime) = 2024/05/01 08:30:00"));
    }
}

void TestTableKml::problems_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QStringList>("problems"); // row, heading, words, text
    const QStringList head = {"名称", "经度", "纬度", "时间", "高度"};
    QTest::newRow("every kind") << QList<QStringList>{head,
                                                      {"a", "", "#39.9"},
                                                      {"b", "116.4", "north"},
                                                      {"c", "#39.9", "#116.4"},
                                                      {"d", "#200.5", "#39.9"},
                                                      {"e", "#0", "#0"},
                                                      {"f", "#116.4", "#39.9", "明天", "高"},
                                                      {"g", "116.4", "39.9"},
                                                      {"h", "116.4E", "39.9N"}}
                                << QStringList{"2\t经度\t缺少坐标\t",
                                               "3\t纬度\t无法识别的坐标\tnorth",
                                               "4\t纬度\t疑似经纬度颠倒\t116.4",
                                               "5\t经度\t超出范围\t200.5",
                                               "6\t经度\t坐标为(0, 0)\t0",
                                               "7\t时间\t无法识别的时间\t明天",
                                               "7\t高度\t无法识别的高度\t高",
                                               "8\t经度\t重复坐标（同第7行）\t116.4",
                                               "9\t经度\t重复坐标（同第7行）\t116.4E"};
    QTest::newRow("hemisphere of the other axis")
        << QList<QStringList>{head, {"a", "39.9N", "116.4E"}}
        << QStringList{"2\t经度\t无法识别的坐标\t39.9N"};
    QTest::newRow("order uncertain, as row 1")
        << QList<QStringList>{{"p", "q", "r"}, {"#10.5", "#20.5", "x"}}
        << QStringList{"1\tp\t经纬度顺序不确定\t"};
}

void TestTableKml::problems() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(QStringList, problems);
    const SheetData sheet = sheetOf(rows);
    TableResult result;
    kmlOf(sheet, TableOptions(), result);
    const TableView table(sheet);
    QStringList got;
    for (const Problem &p : result.problems)
        got << QStringLiteral("%1\t%2\t%3\t%4")
                   .arg(p.row)
                   .arg(table.headings().value(p.column), problemText(p), p.text);
    QCOMPARE(got, problems);
}

// Coordinates of a Chinese web map written in WGS-84: Tiananmen's GCJ-02 point lands about
// 600 m south-west of where it is written, and a point outside China stays where it is.
void TestTableKml::datum() {
    TableOptions options;
    options.datum = Datum::Gcj02;
    TableResult result;
    const QByteArray kml = kmlOf(
        sheetOf(
            {{"lon", "lat"}, {"#116.41024449916938", "#39.91640428150164"}, {"#2.35", "#48.85"}}),
        options, result);
    QVERIFY2(kml.contains("<coordinates>116.404000000"), kml.constData());
    QVERIFY(kml.contains("<coordinates>2.35,48.85</coordinates>"));
}

void TestTableKml::colours() {
    QCOMPARE(categoryColour(0), QStringLiteral("ff3030ff"));
    QStringList seen;
    for (int n = 0; n < 40; ++n) {
        const QString c = categoryColour(n);
        QVERIFY2(!seen.contains(c), qPrintable(c));
        seen << c;
    }
}

// A save cancelled at its first progress leaves the file that was there as it was, for both
// kinds of file.
void TestTableKml::cancelledSave() {
    QTemporaryDir dir;
    const SheetData sheet = sheetOf(stations);
    const TableView table(sheet);
    TableOptions options;
    options.roles = findRoles(table);
    const QStringList names = {QStringLiteral("old.kml"), QStringLiteral("old.kmz")};
    for (const QString &name : names)
        QVERIFY(testsupport::writeFile(dir.filePath(name), "old"));
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        TableResult result;
        int told = 0;
        QVERIFY(!saveTable(path, table, options, QStringLiteral("t"), result, [&](double) {
            ++told;
            return false;
        }));
        QCOMPARE(told, 1);
        QCOMPARE(testsupport::readFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("old.kml")} << QStringLiteral("old.kmz"));
        TableResult saved;
        QVERIFY(saveTable(path, table, options, QStringLiteral("t"), saved,
                          [](double done) { return done >= 0 && done <= 1; }));
        QCOMPARE(saved.placemarks, qint64(4));
    }
}

void TestTableKml::pieces_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("perPiece");
    QTest::addColumn<int>("textsAhead");
    QTest::addColumn<int>("pieces");
    const QList<QStringList> spread = spreadRows();
    QTest::newRow("one thread, a placemark a piece") << spread << 1 << 1 << 8 << 26;
    QTest::newRow("two threads, a placemark a piece") << spread << 2 << 1 << 8 << 26;
    QTest::newRow("two threads, pieces across folders") << spread << 2 << 3 << 8 << 9;
    QTest::newRow("two threads, an even count of pieces") << spread << 2 << 13 << 8 << 2;
    QTest::newRow("two threads, one piece") << spread << 2 << 26 << 8 << 1;
    QTest::newRow("extended data looked up as written") << spread << 2 << 3 << 2 << 9;
    QTest::newRow("extended data partly found ahead") << spread << 2 << 3 << 3 << 9;
    QTest::newRow("no row placed")
        << QList<QStringList>{{"名称", "经度", "纬度"}, {"a", "x", "#30"}} << 2 << 1 << 8 << 1;
}

// The document is the same however its placemarks are cut into pieces and on however many
// threads they are made: pieces that cut folders, the last piece short, the halves of the rows
// placed apart with the same place in both.
void TestTableKml::pieces() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(int, threads);
    QFETCH(int, perPiece);
    QFETCH(int, textsAhead);
    QFETCH(int, pieces);
    const SheetData sheet = sheetOf(rows);
    TableResult plainResult;
    const QByteArray plain = plainKml(sheet, plainResult);
    const TableView table(sheet);
    TableOptions options;
    options.roles = findRoles(table);
    QByteArray out;
    int sunk = 0;
    std::vector<double> told;
    TableResult result;
    QVERIFY(writeTableKml(
        table, options, QStringLiteral("t"),
        [&](QByteArrayView piece) {
            ++sunk;
            out.append(piece);
            return true;
        },
        result,
        [&](double done) {
            told.push_back(done);
            return true;
        },
        KmlMaking{threads, perPiece, textsAhead}));
    QCOMPARE(out, plain);
    QCOMPARE(result.placemarks, plainResult.placemarks);
    QCOMPARE(problemLines(result), problemLines(plainResult));
    QCOMPARE(sunk, pieces);
    QCOMPARE(int(told.size()), pieces);
    QVERIFY(std::is_sorted(told.begin(), told.end()));
    QCOMPARE(told.back(), 1.0);
}

// A write cancelled at its second piece stops there: what was handed out is the document's
// beginning, and no more pieces follow.
void TestTableKml::cancelledMidway() {
    const SheetData sheet = sheetOf(spreadRows());
    TableResult plainResult;
    const QByteArray plain = plainKml(sheet, plainResult);
    const TableView table(sheet);
    TableOptions options;
    options.roles = findRoles(table);
    QByteArray out;
    int told = 0;
    TableResult result;
    QVERIFY(!writeTableKml(
        table, options, QStringLiteral("t"),
        [&](QByteArrayView piece) {
            out.append(piece);
            return true;
        },
        result, [&](double) { return ++told < 2; }, KmlMaking{2, 4}));
    QCOMPARE(told, 2);
    QVERIFY(out.size() < plain.size());
    QVERIFY(plain.startsWith(out));
    QVERIFY(out.contains("<Placemark>"));
}

QTEST_GUILESS_MAIN(TestTableKml)
#include "tst_tablekml.moc"
