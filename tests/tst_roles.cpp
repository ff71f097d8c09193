// Tables as people make them: the heading row found below a title, headings made unique, and
// each column's role by its heading or by what it holds.
#include "table/roles.h"
#include "table/tableview.h"
#include "table/timetext.h"
#include "tabletesting.h"

#include <QTest>

using namespace table;
using tabletesting::sheetOf;
using workbook::Cell;
using workbook::CellKind;
using workbook::SheetData;

namespace {

// The roles as "lon,lat,coords,name,description,category,altitude,time" columns, -1 for none,
// with "?" when the order is uncertain and "latlon"/"lonlat" for a coordinates column.
QString describe(const Roles &r) {
    QString s = QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8")
                    .arg(r.longitude)
                    .arg(r.latitude)
                    .arg(r.coordinates)
                    .arg(r.name)
                    .arg(r.description)
                    .arg(r.category)
                    .arg(r.altitude)
                    .arg(r.time);
    if (r.coordinates >= 0)
        s += r.latitudeFirst ? QStringLiteral(" latlon") : QStringLiteral(" lonlat");
    if (r.orderUncertain)
        s += u'?';
    return s;
}

} // namespace

class TestRoles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void headingRow();
    void roles_data();
    void roles();
    void given();
    void timeText_data();
    void timeText();
};

void TestRoles::headingRow() {
    const SheetData sheet = sheetOf({{"站点表"},
                                     {},
                                     {"名称", "", "名称", "名称", "经度 "},
                                     {"a", "#1", "", "", ""},
                                     {},
                                     {"   "},
                                     {"b"}});
    const TableView table(sheet);
    QCOMPARE(table.headingRow(), 2);
    QCOMPARE(table.headings(), QStringList({"名称", "B", "名称 (2)", "名称 (3)", "经度 "}));
    QCOMPARE(table.dataRows(), std::vector<int>({3, 6}));
    QCOMPARE(columnLetters(27), QStringLiteral("AB"));
}

void TestRoles::roles_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QString>("roles");
    const QStringList data1 = {"天坛", "#116.41", "#39.88", "公园", "#50", "2024-5-1"};
    QTest::newRow("headings in another order")
        << QList<QStringList>{{"名称", "东经", "北纬", "类别", "海拔(m)", "日期"}, data1}
        << "1,2,-1,0,-1,3,4,5";
    QTest::newRow("first claim keeps the role")
        << QList<QStringList>{{"lon", "lat", "Longitude", "name"}, {"#1.5", "#2.5", "#3", "x"}}
        << "0,1,-1,3,-1,-1,-1,-1";
    QTest::newRow("longitude and latitude win over coordinates")
        << QList<QStringList>{{"坐标", "lng", "lat"}, {"1,2", "#1.5", "#2.5"}}
        << "1,2,-1,0,-1,-1,-1,-1"; // and the coordinates column, a text, names the points
    QTest::newRow("coordinates cell, longitude first")
        << QList<QStringList>{{"站名", "经纬度"}, {"a", "116.4,39.9"}}
        << "-1,-1,1,0,-1,-1,-1,-1 lonlat";
    QTest::newRow("latitude alone takes its right neighbour")
        << QList<QStringList>{{"id", "纬度", "v"},
                              {"#1", "#39.9", "#116.4"},
                              {"#2", "#39.8", "#116.3"}}
        << "2,1,-1,-1,-1,-1,-1,-1";
    QTest::newRow("then its left one")
        << QList<QStringList>{{"v", "lat", "id"}, {"#116.4", "#39.9", "#1"}}
        << "0,1,-1,-1,-1,-1,-1,-1";
    QTest::newRow("by content, the column beyond 90 is the longitude")
        << QList<QStringList>{{"id", "a", "b", "地方"},
                              {"#1", "#39.9", "#116.4", "北京"},
                              {"#2", "#31.2", "#121.5", "上海"}}
        << "2,1,-1,3,-1,-1,-1,-1";
    QTest::newRow("by content, hemisphere letters")
        << QList<QStringList>{{"p", "q"}, {"39°54′N", "116°23′E"}, {"31.2N", "121.5E"}}
        << "1,0,-1,-1,-1,-1,-1,-1";
    QTest::newRow("by content, order uncertain")
        << QList<QStringList>{{"p", "q"}, {"#39.9", "#31.5"}, {"#30.1", "#20.5"}}
        << "0,1,-1,-1,-1,-1,-1,-1?";
    QTest::newRow("whole numbers never qualify")
        << QList<QStringList>{{"id", "n"}, {"#1", "#2"}, {"#3", "#4"}} << "-1,-1,-1,-1,-1,-1,-1,-1";
    QTest::newRow("fewer than 90 % readable")
        << QList<QStringList>{{"p", "q"}, {"#39.9", "#116.4"}, {"x", "#116.4"}, {"#30", "#116"}}
        << "-1,-1,-1,-1,-1,-1,-1,-1";
    QTest::newRow("name by content passes over numbers, dates and truth values")
        << QList<QStringList>{{"a", "b", "c", "lon", "lat"},
                              {"12", "2024-05-01", "天安门", "#116.4", "#39.9"},
                              {"13", "TRUE", "故宫", "#116.3", "#39.8"}}
        << "3,4,-1,2,-1,-1,-1,-1";
}

void TestRoles::roles() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(QString, roles);
    const SheetData sheet = sheetOf(rows);
    QCOMPARE(describe(findRoles(TableView(sheet))), roles);
}

// Roles the user gives are kept, and the others found around them.
void TestRoles::given() {
    const SheetData sheet = sheetOf({{"x", "y", "名称", "备注"}, {"#39.9", "#116.4", "a", "b"}});
    Roles given;
    given.longitude = 1;
    given.latitude = 0;
    given.description = 2;
    QCOMPARE(describe(findRoles(TableView(sheet), given)), QStringLiteral("1,0,-1,3,2,-1,-1,-1"));
}

void TestRoles::timeText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("when"); // empty: not a time
    QTest::newRow("iso") << "2024-05-01"
                         << "2024-05-01";
    QTest::newRow("short") << "2024-5-1"
                           << "2024-05-01";
    QTest::newRow("slashes") << "2024/5/1 8:30"
                             << "2024-05-01T08:30:00";
    QTest::newRow("chinese") << "2024年5月1日"
                             << "2024-05-01";
    QTest::newRow("T and seconds") << "2024-05-01T08:30:15"
                                   << "2024-05-01T08:30:15";
    QTest::newRow("midnight") << "2024-05-01 00:00"
                              << "2024-05-01";
    QTest::newRow("no such day") << "2024-02-30"
                                 << "";
    QTest::newRow("mixed separators") << "2024-5/1"
                                      << "";
    QTest::newRow("hour 24") << "2024-05-01 24:00"
                             << "";
    QTest::newRow("trailing text") << "2024-05-01 8:30 am"
                                   << "";
    QTest::newRow("two-digit year") << "24-05-01"
                                    << "";
}

void TestRoles::timeText() {
    QFETCH(QString, text);
    QFETCH(QString, when);
    TimeFields t;
    const bool ok = readTimeFields(text, t);
    QCOMPARE(ok, !when.isEmpty());
    char written[19];
    if (ok)
        QCOMPARE(QString::fromLatin1(written, kmlWhen(t, written)), when);
}

QTEST_GUILESS_MAIN(TestRoles)
#include "tst_roles.moc"
