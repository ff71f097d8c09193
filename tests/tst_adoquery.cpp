// The workbook query detailCore: connection string and query text, opening and its errors,
// fields and their texts, the cursor with Bof and Eof, and the export of the page's rows.
#include "biffbuilder.h"
#include "sources/adoquery.h"
#include "sources/connectionstring.h"
#include "sources/workbooksource.h"
#include "testsupport.h"
#include "workbook/fieldtext.h"
#include "workbook/formatregistry.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "kml/kmlbuffer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <functional>

using namespace testsupport;

class TestAdoQuery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void connectionStrings_data();
    void connectionStrings();
    void fileNamesSurviveTheConnectionString_data();
    void fileNamesSurviveTheConnectionString();
    void queryTexts_data();
    void queryTexts();
    void openErrors_data();
    void openErrors();
    void closedDataset_data();
    void closedDataset();
    void cursor_data();
    void cursor();
    void emptySheet_data();
    void emptySheet();
    void fields();
    void fieldTexts_data();
    void fieldTexts();
    void dates_data();
    void dates();
    void earlyDates_data();
    void earlyDates();
    void currency_data();
    void currency();
    void moneyInEveryFormat_data();
    void moneyInEveryFormat();
    void sameHeadings_data();
    void sameHeadings();
    void readOnly();
    void exportMatchesGolden();
    void exportHeadingOnly();
    void exportErrors();
    void reopenAndRefresh();
    void hugeSparseSheet();
};

namespace {

struct Query {
    TADOQuery q;
    QTemporaryDir dir;
    Query() { q.setObjectName(QStringLiteral("detailCore")); }
    void open(const QString &file) { workbooksource::openWorkbook(q, fixture(file)); }
    // Exports the rows as the page does into a file of that name; returns its path.
    QString exportTo(KmlBuffer &buffer, const QString &name) {
        const QString path = dir.filePath(name);
        workbooksource::exportFolder(q, buffer, path, KmlFileFormat::Utf16);
        return path;
    }
};

} // namespace

void TestAdoQuery::initTestCase() {
    useTestLocale();
}

void TestAdoQuery::connectionStrings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("extended");
    QTest::newRow("as the page builds it")
        << "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/home/u/地点 表.xls;Extended "
           "Properties=Excel 8.0"
        << "Microsoft.Jet.OLEDB.4.0" << u"/home/u/地点 表.xls"_qs << "Excel 8.0";
    QTest::newRow("keys in any case, blanks around")
        << " provider = Microsoft.Jet.OLEDB.4.0 ;DATA SOURCE= a.xls ; extended properties=Excel 5.0"
        << "Microsoft.Jet.OLEDB.4.0"
        << "a.xls"
        << "Excel 5.0";
    QTest::newRow("quoted values")
        << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/tmp/a;b \"\"c\"\".xls\";Extended "
           "Properties='Excel 8.0;HDR=Yes'"
        << "Microsoft.Jet.OLEDB.4.0"
        << "/tmp/a;b \"c\".xls"
        << "Excel 8.0;HDR=Yes";
    QTest::newRow("nothing") << ""
                             << ""
                             << ""
                             << "";
    QTest::newRow("parts without values") << "junk;;Data Source=x"
                                          << ""
                                          << "x"
                                          << "";
}

void TestAdoQuery::connectionStrings() {
    QFETCH(QString, text);
    QFETCH(QString, provider);
    QFETCH(QString, source);
    QFETCH(QString, extended);
    const connection::ConnectionSettings s = connection::parseConnectionString(text);
    QCOMPARE(s.provider, provider);
    QCOMPARE(s.dataSource, source);
    QCOMPARE(s.extendedProperties, extended);
}

void TestAdoQuery::fileNamesSurviveTheConnectionString_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("quoted");
    QTest::newRow("plain") << u"/home/用户/地点.xls"_qs << false;
    QTest::newRow("semicolon") << "/tmp/a;b.xls" << true;
    QTest::newRow("double quote") << "/tmp/a\"b.xls" << true;
    QTest::newRow("single quote") << "/tmp/it's.xls" << true;
    QTest::newRow("trailing blank") << "/tmp/a.xls " << true;
    QTest::newRow("equals sign") << "/tmp/a=b.xls" << false;
}

void TestAdoQuery::fileNamesSurviveTheConnectionString() {
    QFETCH(QString, name);
    QFETCH(bool, quoted);
    const QString text = connection::connectionString(name);
    if (!quoted)
        QCOMPARE(text, "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + name +
                           ";Extended Properties=Excel 8.0");
    QCOMPARE(connection::parseConnectionString(text).dataSource, name);
}

void TestAdoQuery::queryTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sheet"); // empty: refused
    QTest::newRow("as the page sets it") << "Select * from [sheet1$]"
                                         << "sheet1";
    QTest::newRow("upper case") << "SELECT * FROM [Sheet1$]"
                                << "Sheet1";
    QTest::newRow("no blanks") << "select*from[sheet1$]"
                               << "sheet1";
    QTest::newRow("lines and semicolon") << "  select *\nfrom\t[sheet1$] ;\n"
                                         << "sheet1";
    QTest::newRow("another sheet") << "Select * from [数据$]" << u"数据"_qs;
    QTest::newRow("columns") << "Select a from [sheet1$]"
                             << "";
    QTest::newRow("no brackets") << "Select * from sheet1"
                                 << "";
    QTest::newRow("no dollar") << "Select * from [sheet1]"
                               << "";
    QTest::newRow("where clause") << "Select * from [sheet1$] where 1"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestAdoQuery::queryTexts() {
    QFETCH(QString, text);
    QFETCH(QString, sheet);
    QString got;
    const QString error = errorOf([&] { got = connection::sheetOfQuery(text); });
    if (sheet.isEmpty()) {
        QCOMPARE(error, u"The query \"%1\" is not understood: only Select * from [Sheet$] can be "
                        "run on a workbook"_qs.arg(text.trimmed()));
    } else {
        QCOMPARE(error, QString());
        QCOMPARE(got, sheet);
    }
}

void TestAdoQuery::openErrors_data() {
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    const QString good = connection::connectionString(fixture(u"xlwt-mixed.xls"_qs));
    const QString query = QString::fromUtf16(connection::SheetQuery);
    QTest::newRow("other provider")
        << QString(good).replace(u"Jet.OLEDB.4.0"_qs, u"ACE.OLEDB.12.0"_qs) << query
        << "Provider cannot be found. It may not be properly installed";
    QTest::newRow("no provider") << "Data Source=x.xls;Extended Properties=Excel 8.0" << query
                                 << "Provider cannot be found. It may not be properly installed";
    QTest::newRow("not Excel") << QString(good).replace(u"Excel 8.0"_qs, u"Paradox 5.x"_qs) << query
                               << "Could not find installable ISAM";
    QTest::newRow("no data source")
        << "Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=Excel 8.0" << query
        << "The connection string names no Data Source";
    QTest::newRow("bad query") << good << "Select name from [sheet1$]"
                               << "The query \"Select name from [sheet1$]\" is not understood: "
                                  "only Select * from [Sheet$] can be run on a workbook";
    const QString text = fixture(u"csv/not-text.bin"_qs);
    QTest::newRow("not a workbook")
        << connection::connectionString(text) << query
        << u"The file \"%1\" is not an Excel workbook"_qs.arg(native(text));
    const QString noSheet = fixture(u"xlwt-no-sheet1.xls"_qs);
    QTest::newRow("no sheet1") << connection::connectionString(noSheet) << query
                               << u"The workbook \"%1\" has no sheet named \"sheet1\""_qs.arg(
                                      native(noSheet));
}

void TestAdoQuery::openErrors() {
    QFETCH(QString, connection);
    QFETCH(QString, sql);
    QFETCH(QString, message);
    Query t;
    t.q.ConnectionString = connection;
    t.q.SQL = QStringList{sql};
    QSignalSpy structure(&t.q, &TADOQuery::structureChanged);
    QCOMPARE(errorOf([&] { t.q.Open(); }), message);
    QVERIFY(!t.q.Active());
    QCOMPARE(t.q.State(), DataSetState::Inactive);
    QCOMPARE(t.q.FieldCount(), 0);
    QCOMPARE(structure.count(), 0);
}

void TestAdoQuery::closedDataset_data() {
    QTest::addColumn<std::function<void(TADOQuery &)>>("operation");
    QTest::addColumn<QString>("message");
    const QString closed = QStringLiteral("detailCore: Cannot perform this operation on a closed "
                                          "dataset");
    using Op = std::function<void(TADOQuery &)>;
    QTest::newRow("First") << Op([](TADOQuery &q) { q.First(); }) << closed;
    QTest::newRow("Next") << Op([](TADOQuery &q) { q.Next(); }) << closed;
    QTest::newRow("Prior") << Op([](TADOQuery &q) { q.Prior(); }) << closed;
    QTest::newRow("Last") << Op([](TADOQuery &q) { q.Last(); }) << closed;
    QTest::newRow("RecordCount") << Op([](TADOQuery &q) { q.RecordCount(); }) << closed;
    QTest::newRow("Edit") << Op([](TADOQuery &q) { q.Edit(); }) << closed;
    QTest::newRow("Refresh") << Op([](TADOQuery &q) { q.Refresh(); }) << closed;
    QTest::newRow("fieldText") << Op([](TADOQuery &q) { q.fieldText(0, 0); }) << closed;
    QTest::newRow("Fields") << Op([](TADOQuery &q) { q.Fields(0); })
                            << "List index out of bounds (0)";
}

void TestAdoQuery::closedDataset() {
    QFETCH(std::function<void(TADOQuery &)>, operation);
    QFETCH(QString, message);
    Query t;
    QCOMPARE(errorOf([&] { operation(t.q); }), message);
    t.open(u"xlwt-mixed.xls"_qs);
    t.q.Close();
    QCOMPARE(errorOf([&] { operation(t.q); }), message);
}

// Moves on the six records of xlwt-kinds.xls: "op" is applied after opening, then the record
// number and the Bof and Eof states are compared.
void TestAdoQuery::cursor_data() {
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<bool>("eof");
    QTest::newRow("opened") << QStringList{} << 0 << true << false;
    QTest::newRow("next") << QStringList{"next"} << 1 << false << false;
    QTest::newRow("prior back to the first") << QStringList{"next", "prior"} << 0 << false << false;
    QTest::newRow("prior finds none")
        << QStringList{"next", "prior", "prior"} << 0 << true << false;
    QTest::newRow("last") << QStringList{"last"} << 5 << false << true;
    QTest::newRow("next on the last record row")
        << QStringList{"last", "prior", "next"} << 5 << false << false;
    QTest::newRow("next finds none")
        << QStringList{"last", "prior", "next", "next"} << 5 << false << true;
    QTest::newRow("first after last") << QStringList{"last", "first"} << 0 << true << false;
    QTest::newRow("move by three") << QStringList{"+3"} << 3 << false << false;
    QTest::newRow("move past the end") << QStringList{"+100"} << 5 << false << true;
    QTest::newRow("move before the start") << QStringList{"+2", "-100"} << 0 << true << false;
    QTest::newRow("prior at Bof does nothing")
        << QStringList{"prior", "prior"} << 0 << true << false;
}

void TestAdoQuery::cursor() {
    QFETCH(QStringList, ops);
    QFETCH(int, recNo);
    QFETCH(bool, bof);
    QFETCH(bool, eof);
    Query t;
    t.open(u"xlwt-kinds.xls"_qs);
    QCOMPARE(t.q.RecordCount(), 6);
    for (const QString &op : ops) {
        if (op == u"next")
            t.q.Next();
        else if (op == u"prior")
            t.q.Prior();
        else if (op == u"first")
            t.q.First();
        else if (op == u"last")
            t.q.Last();
        else
            t.q.MoveBy(op.toInt());
    }
    QCOMPARE(t.q.RecNo(), recNo);
    QCOMPARE(t.q.Bof(), bof);
    QCOMPARE(t.q.Eof(), eof);
}

void TestAdoQuery::emptySheet_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("heading only") << "xlwt-heading-only.xls"
                                  << QStringList{u"经度"_qs, u"纬度"_qs, u"标注"_qs,
                                                 u"地点描述"_qs};
    QTest::newRow("no cells at all") << "xlwt-empty-sheet1.xls" << QStringList{"F1"};
}

void TestAdoQuery::emptySheet() {
    QFETCH(QString, file);
    QFETCH(QStringList, names);
    Query t;
    t.open(file);
    QCOMPARE(t.q.RecordCount(), 0);
    QCOMPARE(t.q.RecNo(), -1);
    QVERIFY(t.q.Bof());
    QVERIFY(t.q.Eof());
    QVERIFY(t.q.IsEmpty());
    t.q.Next();
    t.q.Last();
    QCOMPARE(t.q.RecNo(), -1);
    QStringList got;
    for (int f = 0; f < t.q.FieldCount(); ++f)
        got << t.q.Fields(f).FieldName();
    QCOMPARE(got, names);
    QCOMPARE(t.q.Fields(0).AsString(), QString());
    QVERIFY(t.q.Fields(0).IsNull());
}

void TestAdoQuery::fields() {
    Query t;
    t.open(u"xlwt-kinds.xls"_qs);
    const QStringList names{u"经度"_qs, u"纬度"_qs, u"标注"_qs, u"地点描述"_qs,
                            "2024",     "F6",       "True"};
    const QList<FieldKind> kinds{FieldKind::Float, FieldKind::Float,    FieldKind::String,
                                 FieldKind::Memo,  FieldKind::DateTime, FieldKind::String,
                                 FieldKind::String}; // a tie of kinds makes text
    QCOMPARE(t.q.FieldCount(), names.size());
    for (int f = 0; f < names.size(); ++f) {
        QCOMPARE(t.q.Fields(f).FieldName(), names[f]);
        QCOMPARE(t.q.Fields(f).DataType(), kinds[f]);
        QCOMPARE(t.q.Fields(f).sheetColumn(), 1 + f); // the table starts in column B
        QCOMPARE(t.q.FindField(names[f].toUpper()), &t.q.Fields(f));
    }
    QCOMPARE(t.q.headingRow(), 2);
    QCOMPARE(t.q.sheetRow(0), 3);
    QCOMPARE(t.q.sheetColumn(0), 1);
    QCOMPARE(t.q.sheetName(), u"SHEET1"_qs);
    QCOMPARE(t.q.fileName(), fixture(u"xlwt-kinds.xls"_qs));
    QCOMPARE(t.q.identity().size, QFileInfo(fixture(u"xlwt-kinds.xls"_qs)).size());
    QCOMPARE(t.q.format(),
             &workbook::formatOf(readFile(fixture(u"xlwt-kinds.xls"_qs)), u"xlwt-kinds.xls"_qs));
    QCOMPARE(errorOf([&] { t.q.Fields(7); }), u"List index out of bounds (7)"_qs);
    QCOMPARE(errorOf([&] { t.q.Fields(-1); }), u"List index out of bounds (-1)"_qs);

    // Headings that repeat (without regard to case) are told apart, so each box finds its own.
    Query crafted;
    crafted.open(u"crafted-biff8.xls"_qs);
    QCOMPARE(crafted.q.Fields(4).FieldName(), u"F5"_qs);
    QCOMPARE(crafted.q.Fields(5).FieldName(), u"2024"_qs);
}

void TestAdoQuery::fieldTexts_data() {
    QTest::addColumn<int>("record");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("numbers and html")
        << 0 << QStringList{"116.3920388", "39.91120332", u"紫禁城"_qs, u"<b>故宫</b><br/>北京"_qs,
                            "1",           "x",           "y"};
    QTest::newRow("empty description, true, error")
        << 1
        << QStringList{"121.4965666", "31.23973873", u"上海 & 浦东"_qs, "", "True", "", "#DIV/0!"};
    QTest::newRow("small and large numbers, long text, date and time")
        << 2
        << QStringList{"5E-5", "1E15", "1/3", QString(300, u'长'), "05/01/2024 13:30:00", "", ""};
    QTest::newRow("empty row") << 3 << QStringList{"", "", "", "", "", "", ""};
    QTest::newRow("kinds other than their columns'")
        << 4 << QStringList{u"文字经度"_qs, "-33.5", "42", "a \"quoted\" <tag> & text",
                            "05/01/2024",   "1",     "2"};
    QTest::newRow("money, false, #N/A")
        << 5
        << QStringList{"1234.5678", "12345678.9", "money", u"日期 time"_qs, "False", "#N/A", ""};
}

void TestAdoQuery::fieldTexts() {
    QFETCH(int, record);
    QFETCH(QStringList, texts);
    Query t;
    t.open(u"xlwt-kinds.xls"_qs);
    t.q.MoveBy(record);
    for (int f = 0; f < texts.size(); ++f) {
        QCOMPARE(t.q.fieldText(record, f), texts[f]);
        QCOMPARE(t.q.Fields(f).AsString(), texts[f]);
    }
}

void TestAdoQuery::dates_data() {
    QTest::addColumn<double>("serial");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("text");
    QTest::newRow("date and time") << 45413.5625 << false << "05/01/2024 13:30:00";
    QTest::newRow("midnight") << 45413.0 << false << "05/01/2024";
    QTest::newRow("a second before midnight rounds up") << 45413.999999999 << false << "05/02/2024";
    QTest::newRow("serial 1") << 1.0 << false << "01/01/1900";
    QTest::newRow("serial 59") << 59.0 << false << "02/28/1900";
    QTest::newRow("serial 60, the 1900 leap day") << 60.0 << false << "02/29/1900";
    QTest::newRow("serial 61") << 61.0 << false << "03/01/1900";
    QTest::newRow("time only") << 0.75 << false << "18:00:00";
    QTest::newRow("1904 day 0") << 0.0 << true << "01/01/1904";
    QTest::newRow("1904 system") << 43951.5625 << true << "05/01/2024 13:30:00";
    QTest::newRow("year 9999") << 2958465.0 << false << "12/31/9999";
    QTest::newRow("beyond 9999 stays a number") << 2958466.0 << false << "2958466";
    QTest::newRow("negative stays a number") << -1.5 << false << "-1.5";
}

void TestAdoQuery::dates() {
    QFETCH(double, serial);
    QFETCH(bool, date1904);
    QFETCH(QString, text);
    QCOMPARE(workbook::fieldtext::dateTime(serial, date1904, u'.'), text);
}

// A date before the date system's first day, as an .ods or ISO date before 1900 is held.
void TestAdoQuery::earlyDates_data() {
    QTest::addColumn<double>("serial");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("text");
    QTest::newRow("the day before serial 0") << -1.0 << false << "12/30/1899";
    QTest::newRow("LibreOffice's day zero at noon") << -0.5 << false << "12/30/1899 12:00:00";
    QTest::newRow("1850") << -18111.75 << false << "05/30/1850 06:00:00";
    QTest::newRow("the year 1") << -693594.0 << false << "01/01/1";
    QTest::newRow("before the year 1 stays a number") << -693595.0 << false << "-693595";
    QTest::newRow("1904 system, the day before") << -1.0 << true << "12/31/1903";
    QTest::newRow("a serial of the system's own range as dateTime")
        << 45413.5 << false << "05/01/2024 12:00:00";
}

void TestAdoQuery::earlyDates() {
    QFETCH(double, serial);
    QFETCH(bool, date1904);
    QFETCH(QString, text);
    QCOMPARE(workbook::fieldtext::earlyDateTime(serial, date1904, u'.'), text);
}

void TestAdoQuery::currency_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("four decimals") << 1234.56789 << "1234.5679";
    QTest::newRow("trailing zeros dropped") << 12.5 << "12.5";
    QTest::newRow("whole") << 100.0 << "100";
    QTest::newRow("negative") << -0.125 << "-0.125";
    QTest::newRow("rounds to zero") << -0.00004 << "0";
    QTest::newRow("beyond the currency range") << 1e300 << "1E300";
    // Next to the half-way point the value's binary digits decide, not the product's rounding:
    // 876248.78545 is 876248.785449999966... and times 10,000 in floating point 8762487854.5.
    QTest::newRow("just below half, product rounds up") << 876248.78545 << "876248.7854";
    QTest::newRow("just below half, negative") << -876248.78545 << "-876248.7854";
    QTest::newRow("just below half, fifth decimal 95") << 12345.67895 << "12345.6789";
    QTest::newRow("just below half, no carry into the whole") << 99999.99995 << "99999.9999";
    QTest::newRow("just below half, small") << 0.00015 << "0.0001";
    QTest::newRow("just above half") << 1.00005 << "1.0001";
    QTest::newRow("just above half, smallest") << 0.00005 << "0.0001";
    QTest::newRow("just above half, large") << 100000.00015 << "100000.0002";
    QTest::newRow("exact tie to the even below") << 0.03125 << "0.0312";
    QTest::newRow("exact tie to the even above") << 0.09375 << "0.0938";
    QTest::newRow("exact tie, negative") << -0.03125 << "-0.0312";
    QTest::newRow("largest in range") << 899999999999999.5 << "899999999999999.5";
    QTest::newRow("smallest number") << 5e-324 << "0";
}

void TestAdoQuery::currency() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(workbook::fieldtext::currency(value, u'.'), text);
}

// Amounts next to the half-way point of their fourth decimal, in a currency format, as
// LibreOffice writes them in each format: the same money text from every reader.
void TestAdoQuery::moneyInEveryFormat_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("xls") << "libreoffice-money.xls";
    QTest::newRow("xlsx") << "xlsx/libreoffice-money.xlsx";
    QTest::newRow("ods") << "ods/libreoffice-money.ods";
}

void TestAdoQuery::moneyInEveryFormat() {
    QFETCH(QString, file);
    const QHash<QString, QString> expected{
        {u"876248.78545"_qs, u"876248.7854"_qs}, {u"12345.67895"_qs, u"12345.6789"_qs},
        {u"99999.99995"_qs, u"99999.9999"_qs},   {u"0.03125"_qs, u"0.0312"_qs},
        {u"0.09375"_qs, u"0.0938"_qs},           {u"-876248.78545"_qs, u"-876248.7854"_qs}};
    Query t;
    t.open(file);
    QCOMPARE(t.q.Fields(1).DataType(), FieldKind::Currency);
    QCOMPARE(t.q.RecordCount(), int(expected.size()));
    for (t.q.First(); !t.q.Eof(); t.q.Next())
        QCOMPARE(t.q.Fields(1).AsString(), expected.value(t.q.Fields(0).AsString()));
}

// The widest sheet's 16,384 headings alike, in a file of a few kilobytes: each field gets the
// next number, and the sheet opens in a moment (each name was once looked for from 1 up, some
// 134 million looks: minutes).
void TestAdoQuery::sameHeadings_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("xlsx") << "xlsx/crafted-same-headings.xlsx";
    QTest::newRow("ods, one cell repeated") << "ods/crafted-same-headings.ods";
}

void TestAdoQuery::sameHeadings() {
    QFETCH(QString, file);
    Query t;
    QElapsedTimer timer;
    timer.start();
    t.open(file);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed()) + u" ms"));
    QCOMPARE(t.q.FieldCount(), 16384);
    QCOMPARE(t.q.Fields(0).FieldName(), u"名称"_qs);
    for (int f = 1; f < 16384; ++f)
        QCOMPARE(t.q.Fields(f).FieldName(), u"名称"_qs + QString::number(f));
    QCOMPARE(t.q.FindField(u"名称16383"_qs), &t.q.Fields(16383));
}

// An Excel 5.0/95 workbook is read, but edits cannot be written into it.
void TestAdoQuery::readOnly() {
    Query t;
    t.open(u"gnumeric-biff7.xls"_qs);
    QVERIFY(!t.q.CanModify());
    QCOMPARE(t.q.State(), DataSetState::Browse);
    const QString readOnly = QStringLiteral("detailCore: Cannot modify a read-only dataset");
    QCOMPARE(errorOf([&] { t.q.Edit(); }), readOnly);
    QCOMPARE(errorOf([&] { t.q.Insert(); }), readOnly);
    QCOMPARE(errorOf([&] { t.q.Append(); }), readOnly);
    QCOMPARE(errorOf([&] { t.q.Delete(); }), readOnly);
    QCOMPARE(errorOf([&] { t.q.Post(); }), u"detailCore: Dataset not in edit or insert mode"_qs);
    QCOMPARE(errorOf([&] { t.q.Cancel(); }), QString());
    QCOMPARE(t.q.State(), DataSetState::Browse);
}

// Every kind of cell, a long text, HTML and an empty row, written as the page writes them.
void TestAdoQuery::exportMatchesGolden() {
    Query t;
    t.open(u"xlwt-kinds.xls"_qs);
    KmlBuffer buffer;
    buffer.Add(u"Memo2"_qs);
    QSignalSpy moves(&t.q, &TADOQuery::recordChanged);
    QCOMPARE(readFile(t.exportTo(buffer, u"种类.kml"_qs)), golden(u"workbook-kinds.kml"_qs));
    QCOMPARE(buffer.count(), 2 + 6 + 1);
    // The cursor ends on the last record, and the grid hears of it once.
    QCOMPARE(t.q.RecNo(), 5);
    QVERIFY(t.q.Eof());
    QCOMPARE(moves.count(), 1);
}

void TestAdoQuery::exportHeadingOnly() {
    Query t;
    t.open(u"xlwt-heading-only.xls"_qs);
    KmlBuffer buffer;
    QCOMPARE(readFile(t.exportTo(buffer, u"empty.kml"_qs)), golden(u"folder-empty.kml"_qs));
}

void TestAdoQuery::exportErrors() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"never.kml"_qs);
    KmlBuffer buffer;
    Query closed;
    QCOMPARE(errorOf([&] {
                 workbooksource::exportFolder(closed.q, buffer, path, KmlFileFormat::Utf16);
             }),
             u"detailCore: Cannot perform this operation on a closed dataset"_qs);
    QCOMPARE(buffer.count(), 2);
    QVERIFY(!QFile::exists(path));

    Query three;
    three.open(u"xlwt-three-columns.xls"_qs);
    QCOMPARE(
        errorOf([&] { workbooksource::exportFolder(three.q, buffer, path, KmlFileFormat::Utf16); }),
        u"List index out of bounds (3)"_qs);
    QCOMPARE(buffer.count(), 2);
    QVERIFY(!QFile::exists(path));
}

void TestAdoQuery::reopenAndRefresh() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"book.xls"_qs);
    QVERIFY(QFile::copy(fixture(u"xlwt-kinds.xls"_qs), path));
    Query t;
    workbooksource::openWorkbook(t.q, path);
    t.q.Close();
    t.q.Open();
    QCOMPARE(t.q.RecordCount(), 6);
    t.q.MoveBy(2);
    const workbook::FileIdentity before = t.q.identity();

    // The file is replaced by a longer one: the records are read again, the cursor stays.
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::copy(fixture(u"xlwt-rows2000.xls"_qs), path));
    QSignalSpy structure(&t.q, &TADOQuery::structureChanged);
    t.q.Refresh();
    QCOMPARE(structure.count(), 1);
    QCOMPARE(t.q.RecordCount(), 2000);
    QCOMPARE(t.q.RecNo(), 2);
    QVERIFY(!t.q.identity().sameBytes(before));
    QCOMPARE(t.q.Fields(2).AsString(), u"点3"_qs);

    // A refresh that cannot read keeps what was read.
    QVERIFY(QFile::remove(path));
    QVERIFY(!errorOf([&] { t.q.Refresh(); }).isEmpty());
    QVERIFY(t.q.Active());
    QCOMPARE(t.q.RecordCount(), 2000);
}

// Two cells at opposite corners make a table of 65,536 rows by 16,384 columns: opening it must
// cost what its cells cost, not what its area does.
void TestAdoQuery::hugeSparseSheet() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sparse.xls"_qs);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(biff::compoundFile(biff::workbookStream(biff::label(0, 0, u"a"_qs) +
                                                        biff::label(0, 1, u"A"_qs) +
                                                        biff::number(65535, 16383, 1))));
    }
    TADOQuery q;
    workbooksource::openWorkbook(q, path);
    QCOMPARE(q.RecordCount(), 65535);
    QCOMPARE(q.FieldCount(), 16384);
    QCOMPARE(q.Fields(1).FieldName(), u"A1"_qs); // "a" is taken, without regard to case
    QCOMPARE(q.Fields(16383).FieldName(), u"F16384"_qs);
    QCOMPARE(q.fieldText(65534, 16383), u"1"_qs);
    QCOMPARE(q.fieldText(100, 100), QString());
}

QTEST_GUILESS_MAIN(TestAdoQuery)
#include "tst_adoquery.moc"
