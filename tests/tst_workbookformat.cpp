// The seam between the workbook dataset and the file formats: a file's format decided by its
// content, the three calls of the .xls format, the sheet model holding the largest sheets a
// format may have, and the dataset reading, judging and writing a file through its format.
#include "querytesting.h"
#include "sources/adoquery.h"
#include "workbook/workbookformat.h"
#include "workbook/xls/xlsformat.h"
#include "workbooktesting.h"

#include <QTemporaryDir>
#include <QTest>

using namespace workbooktesting;
using namespace workbook;

class TestWorkbookFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void formatByContent_data();
    void formatByContent();
    void readGivesSheetIdentityAndBytes();
    void whyReadOnly_data();
    void whyReadOnly();
    void writeChecksTheIdentity();
    void modelHoldsTheLargestSheets();
    void datasetWorksThroughTheFormat();
};

void TestWorkbookFormat::initTestCase() {
    useTestLocale();
}

// Content decides, never the name: the same bytes under any name.
void TestWorkbookFormat::formatByContent_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("xls");
    QTest::newRow("xls") << readFile(fixture(u"xlwt-mixed.xls"_qs)) << true;
    QTest::newRow("Excel 5.0/95") << readFile(fixture(u"gnumeric-biff7.xls"_qs)) << true;
    QTest::newRow("text") << readFile(fixture(u"make-xlwt.py"_qs)) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\0\0\0", 8) << false;
    QTest::newRow("signature cut short") << QByteArray::fromHex("d0cf11e0a1b11a") << false;
}

void TestWorkbookFormat::formatByContent() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, xls);
    const QString name = u"/x/book.txt"_qs;
    const WorkbookFormat *format = nullptr;
    const QString error = errorOf([&] { format = &formatOf(bytes, name); });
    if (xls) {
        QVERIFY(dynamic_cast<const xls::XlsFormat *>(format));
        QCOMPARE(error, QString());
    } else {
        QCOMPARE(error, u"The file \"/x/book.txt\" is not an Excel workbook"_qs);
    }
}

void TestWorkbookFormat::readGivesSheetIdentityAndBytes() {
    const QString path = fixture(u"xlwt-mixed.xls"_qs);
    const QByteArray bytes = readWorkbookFile(path);
    const SheetRead read = formatOf(bytes, path).read(bytes, path, u"SHEET1"_qs);
    QVERIFY(read.sheet);
    QCOMPARE(read.sheet->sheetName, u"Sheet1"_qs); // as the workbook spells it
    QCOMPARE(read.bytes, bytes);
    QVERIFY(read.identity.sameBytes(fileIdentity(path, bytes)));
    QCOMPARE(read.identity.modified, QFileInfo(path).lastModified());
}

// One call says whether and why: empty when edits can be written.
void TestWorkbookFormat::whyReadOnly_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("why");
    QTest::newRow("writable") << u"libreoffice-plain.xls"_qs << QString();
    QTest::newRow("Excel 5.0/95") << u"gnumeric-biff7.xls"_qs << OlderFormatRefused;
    QTest::newRow("sheet1 of a crafted file") << u"crafted-biff8.xls"_qs << QString();
}

void TestWorkbookFormat::whyReadOnly() {
    QFETCH(QString, file);
    QFETCH(QString, why);
    const SheetRead read = readSheet(fixture(file));
    QCOMPARE(formatOf(read.bytes, file).whyReadOnly(read), why);
}

// A write goes through only into the bytes that were read, and reports the file's new identity.
void TestWorkbookFormat::writeChecksTheIdentity() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, u"xlwt-plain.xls"_qs);
    const SheetRead read = readSheet(path);
    const WorkbookFormat &format = formatOf(read.bytes, path);
    const WriteResult written =
        format.write(path, read.identity, {SheetChange::setCell(1, 2, u"接口"_qs)});
    QVERIFY(written.identity.sameBytes(fileIdentity(path, readFile(path))));
    QCOMPARE(written.rows, QList<int>{1});
    QCOMPARE(readSheet(path).sheet->text(*readSheet(path).sheet->cell(1, 2)), u"接口"_qs);

    const QByteArray now = readFile(path);
    QCOMPARE(errorOf([&] { format.write(path, read.identity, {SheetChange::deleteRow(1)}); }),
             u"The workbook \"%1\" was changed by another program since it was opened or last "
             "refreshed. Refresh the data, then make the change again"_qs.arg(native(path)));
    QCOMPARE(readFile(path), now);
}

// Rows up to 1,048,576 and columns up to 16,384, as newer formats have them.
void TestWorkbookFormat::modelHoldsTheLargestSheets() {
    SheetData sheet;
    std::vector<Cell> cells(3);
    cells[0].row = 0;
    cells[0].column = 0;
    cells[1].row = 70000;
    cells[1].column = 300;
    cells[2].row = 1048575;
    cells[2].column = 16383;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i].kind = CellKind::Number;
        cells[i].number = double(i);
    }
    sheet.setCells(cells);
    QCOMPARE(sheet.rowCount(), 1048576);
    QCOMPARE(sheet.columnCount(), 16384);
    QCOMPARE(sheet.cell(70000, 300)->number, 1.0);
    QCOMPARE(sheet.cell(1048575, 16383)->number, 2.0);
    QVERIFY(!sheet.cell(70000, 299));
}

// The dataset opens a file by its content whatever its name, takes its writability from the
// format, and writes posts through it.
void TestWorkbookFormat::datasetWorksThroughTheFormat() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"点位.dat"_qs);
    QVERIFY(QFile::copy(fixture(u"xlwt-mixed.xls"_qs), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    TADOQuery q;
    q.setObjectName(u"detailCore"_qs);
    workbooksource::openWorkbook(q, path);
    QCOMPARE(q.format(), &formatOf(readFile(path), path));
    QVERIFY(q.CanModify());
    q.Edit();
    q.Fields(2).SetAsString(u"经由格式"_qs);
    q.Post();
    QCOMPARE(querytesting::recordsInFile(path)[0][2], u"经由格式"_qs);
    QVERIFY(q.identity().sameBytes(fileIdentity(path, readFile(path))));

    const QString biff7 = dir.filePath(u"旧.xls"_qs);
    QVERIFY(QFile::copy(fixture(u"gnumeric-biff7.xls"_qs), biff7));
    QVERIFY(QFile::setPermissions(biff7, QFile::ReadOwner | QFile::WriteOwner));
    workbooksource::openWorkbook(q, biff7);
    QVERIFY(!q.CanModify());
    QCOMPARE(errorOf([&] { q.Edit(); }), querytesting::ReadOnly);
}

QTEST_GUILESS_MAIN(TestWorkbookFormat)
#include "tst_workbookformat.moc"
