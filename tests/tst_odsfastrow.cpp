// The fast row reader against the scanner: every fixture, crafted rows of the shapes LibreOffice
// and others write, and damaged rows give the same sheet, or the same message, read each way;
// rows of the plain shape are taken by the fast reader and no others.
#include "odstesting.h"
#include "sheetdump.h"

#include "workbook/ods/odsfastrow.h"
#include "workbook/ods/odsreader.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

using namespace workbook;
using odstesting::content;

namespace {

// The sheet (or the message) read one way, and how many rows the fast reader took.
QStringList readAs(const QByteArray &bytes, ods::RowReading reading, std::int64_t *fast = nullptr) {
    QStringList out;
    const QString message = testsupport::errorOf([&] {
        out = sheetdump::dump(*ods::readSheetRows(bytes, QStringLiteral("t.ods"),
                                                  QStringLiteral("sheet1"), reading, fast));
    });
    return message.isEmpty() ? out : QStringList{message};
}

// Each row three times, so that the sheet parts into halves wherever its middle falls.
QByteArray sheetOf(const QByteArray &row) {
    return content("<table:table table:name=\"Sheet1\"><table:table-column/>" + row.repeated(3) +
                   "</table:table>");
}

const char *const StringCell = "<table:table-cell office:value-type=\"string\">";

} // namespace

class TestOdsFastRow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fixturesReadAlike_data();
    void fixturesReadAlike();
    void rowsReadAlike_data();
    void rowsReadAlike();
    void damagedRowsReadAlike();
    void firstHalfHoldsTheSheet();
};

void TestOdsFastRow::fixturesReadAlike_data() {
    QTest::addColumn<QString>("path");
    const QDir dir(testsupport::fixture("ods", QString()));
    for (const QString &name : dir.entryList({QStringLiteral("*.ods")}, QDir::Files))
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

void TestOdsFastRow::fixturesReadAlike() {
    QFETCH(QString, path);
    const QByteArray bytes = odstesting::readFile(path);
    QCOMPARE(readAs(bytes, ods::RowReading::Halves), readAs(bytes, ods::RowReading::Scanner));
}

// fast: whether the fast reader takes the row (each of its three copies) or leaves it to the
// scanner.
void TestOdsFastRow::rowsReadAlike_data() {
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<bool>("fast");
    const QByteArray cell = StringCell;
    QTest::newRow("LibreOffice's numbers and texts")
        << QByteArray("<table:table-row table:style-name=\"ro1\"><table:table-cell "
                      "table:style-name=\"ce1\" office:value-type=\"float\" office:value=\"1.5\" "
                      "calcext:value-type=\"float\"><text:p>1.5</text:p></table:table-cell>" +
                      cell + "<text:p>北京</text:p></table:table-cell></table:table-row>")
        << true;
    QTest::newRow("quotes of both kinds, blanks around =, line ends between attributes")
        << QByteArray("<table:table-row\n><table:table-cell office:value-type = 'float'\r\n"
                      "\toffice:value='2' /><table:table-cell office:value-type=\"string\" "
                      "office:string-value='a&amp;&quot;b'/></table:table-row >")
        << true;
    QTest::newRow("entities, character references and line ends in texts")
        << QByteArray("<table:table-row>" + cell +
                      "<text:p>&lt;b&gt;&#x4E2D;&#20013;&apos;\r\nx</text:p></table:table-cell>"
                      "</table:table-row>")
        << true;
    QTest::newRow("several paragraphs, empty ones, a paragraph's own attributes")
        << QByteArray("<table:table-row>" + cell +
                      "<text:p>a</text:p> <text:p/><text:p text:style-name=\"P1\">c</text:p>\n"
                      "<text:p></text:p></table:table-cell></table:table-row>")
        << true;
    QTest::newRow("repeated rows and cells, covered cells with content, empty cells")
        << QByteArray("<table:table-row table:number-rows-repeated=\"2\"><table:table-cell "
                      "table:number-columns-repeated=\"3\"/><table:table-cell "
                      "office:value-type=\"percentage\" office:value=\"0.5\" "
                      "table:number-columns-repeated=\"2\" table:number-columns-spanned=\"2\"/>"
                      "<table:covered-table-cell table:number-columns-repeated=\"2\"><text:p>"
                      "hidden</text:p></table:covered-table-cell><table:table-cell "
                      "office:value-type=\"boolean\" "
                      "office:boolean-value=\"true\"/></table:table-row>")
        << true;
    QTest::newRow("errors, formulas' results, dates, times, money")
        << QByteArray("<table:table-row><table:table-cell table:formula=\"of:=1/0\" "
                      "office:value-type=\"string\" office:string-value=\"\" "
                      "calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
                      "<table:table-cell table:formula=\"of:=TRUE()\" office:value-type=\"float\" "
                      "office:value=\"1\"/><table:table-cell office:value-type=\"date\" "
                      "office:date-value=\"2024-05-01T06:00:00\"/><table:table-cell "
                      "office:value-type=\"time\" office:time-value=\"PT12H\"/><table:table-cell "
                      "office:value-type=\"currency\" office:currency=\"CNY\" office:value=\"3\"/>"
                      "<table:table-cell table:formula=\"of:=1\"><text:p>1</text:p>"
                      "</table:table-cell></table:table-row>")
        << true;
    QTest::newRow("an empty row, and a row of one empty cell")
        << QByteArray("<table:table-row/><table:table-row><table:table-cell/></table:table-row>")
        << true;
    QTest::newRow("spans, spaces and tabs by element: the scanner's")
        << QByteArray("<table:table-row>" + cell +
                      "<text:p>a<text:span>b</text:span><text:s text:c=\"2\"/>c<text:tab/>"
                      "</text:p></table:table-cell></table:table-row>")
        << false;
    QTest::newRow("an annotation, a heading, a list: the scanner's")
        << QByteArray("<table:table-row>" + cell +
                      "<office:annotation><text:p>note</text:p></office:annotation><text:h>h"
                      "</text:h><text:list><text:list-item><text:p>i</text:p></text:list-item>"
                      "</text:list></table:table-cell></table:table-row>")
        << false;
    QTest::newRow("a comment, text between cells, CDATA: the scanner's")
        << QByteArray("<table:table-row><!-- c -->x" + cell +
                      "<text:p><![CDATA[<a>]]></text:p></table:table-cell></table:table-row>")
        << false;
    QTest::newRow("a namespace declared on a cell: the scanner's")
        << QByteArray("<table:table-row><table:table-cell xmlns:t=\"urn:x\" t:a=\"1\" "
                      "office:value-type=\"float\" office:value=\"4\"/></table:table-row>")
        << false;
}

void TestOdsFastRow::rowsReadAlike() {
    QFETCH(QByteArray, row);
    QFETCH(bool, fast);
    const QByteArray bytes = odstesting::package(sheetOf(row));
    std::int64_t taken = -1;
    const QStringList halves = readAs(bytes, ods::RowReading::Halves, &taken);
    QCOMPARE(halves, readAs(bytes, ods::RowReading::Scanner));
    QVERIFY(halves.first().startsWith(QStringLiteral("range")));
    QCOMPARE(taken > 0, fast);
}

// Rows the scanner refuses, and random bytes changed in plain rows: the fast reader takes none of
// them as something else, and the message is the one the scanner gives.
void TestOdsFastRow::damagedRowsReadAlike() {
    const QByteArray cell = StringCell;
    const QByteArray plain = "<table:table-row><table:table-cell office:value-type=\"float\" "
                             "office:value=\"7\"><text:p>7</text:p></table:table-cell>" +
                             cell + "<text:p>a&amp;b</text:p></table:table-cell></table:table-row>";
    const QByteArray damaged[] = {
        "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"1/>"
        "</table:table-row>",
        "<table:table-row><table:table-cell office:value-type=\"float\" office:value-type=\"x\"/>"
        "</table:table-row>",
        "<table:table-row><table:table-cell office:value=\"<\"/></table:table-row>",
        "<table:table-row><table:table-cell></table:table-celll></table:table-row>",
        "<table:table-row>" + cell +
            "<text:p>&bogus;</text:p></table:table-cell></table:table-row>",
        "<table:table-row>" + cell + "<text:p>a</text:h></table:table-cell></table:table-row>",
        "<table:table-row><table:table-cell office:value-type=\"float\"office:value=\"1\"/>"
        "</table:table-row>",
        "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"x\"/>"
        "</table:table-row>",
        "<table:table-row><table:table-cell / ></table:table-row>",
        "<table:table-row><table:table-cell>",
    };
    for (const QByteArray &row : damaged) {
        const QByteArray bytes = odstesting::package(sheetOf(plain + row + plain));
        const QStringList scanned = readAs(bytes, ods::RowReading::Scanner);
        QVERIFY2(scanned.size() == 1, row.constData()); // a message
        QCOMPARE(readAs(bytes, ods::RowReading::Halves), scanned);
    }
    const QByteArray xml = sheetOf(plain.repeated(4));
    QRandomGenerator random(7);
    for (int i = 0; i < 300; ++i) {
        QByteArray part = xml;
        for (int k = 0; k < 2; ++k)
            part[random.bounded(part.size())] = "<>&\"'/=x0 :;#"[random.bounded(13)];
        const QByteArray bytes = odstesting::package(part);
        QCOMPARE(readAs(bytes, ods::RowReading::Halves), readAs(bytes, ods::RowReading::Scanner));
    }
}

// The halves part half way to the document's last table end: where sheet1 is followed by a
// bigger sheet, the first half meets sheet1's end on its own and holds every row.
void TestOdsFastRow::firstHalfHoldsTheSheet() {
    auto rows = [](const char *text, int n) {
        QByteArray out;
        for (int r = 0; r < n; ++r)
            out += "<table:table-row><table:table-cell office:value-type=\"float\" "
                   "office:value=\"" +
                   QByteArray::number(r) + "\"/>" + StringCell + "<text:p>" + text +
                   "</text:p></table:table-cell></table:table-row>";
        return out;
    };
    const QByteArray bytes = odstesting::package(content(
        "<table:table table:name=\"Sheet1\">" + rows("一", 5) +
        "</table:table><table:table table:name=\"Other\">" + rows("二", 50) + "</table:table>"));
    std::int64_t taken = -1;
    const QStringList halves = readAs(bytes, ods::RowReading::Halves, &taken);
    QCOMPARE(halves, readAs(bytes, ods::RowReading::Scanner));
    QCOMPARE(halves.first(), QStringLiteral("range 0,0 5x2 1904:0"));
    QCOMPARE(taken, std::int64_t(5));
}

QTEST_GUILESS_MAIN(TestOdsFastRow)
#include "tst_odsfastrow.moc"
