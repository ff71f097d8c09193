// The seam between the workbook dataset and the file formats: a file's format decided by its
// content through the registry, the calls of the .xls format, the sheet model holding the largest
// sheets a format may have, the dataset reading, judging and writing a file through its format,
// the memory a refused zip workbook costs, and every format's sheets listed in order and read by
// name.
#include "querytesting.h"
#include "sheetdump.h"
#include "sources/adoquery.h"
#include "workbook/csv/csvformat.h"
#include "workbook/formatregistry.h"
#include "workbook/xls/xlsformat.h"
#include "workbooktesting.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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
    void refusedInBoundedMemory_data();
    void refusedInBoundedMemory();
    void sheetsListedAndReadByName_data();
    void sheetsListedAndReadByName();
    void sheetNamesRefusedAsReadIs_data();
    void sheetNamesRefusedAsReadIs();
};

namespace {

// A value of /proc/self/status in KiB.
qint64 statusKb(const char *field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ')[0].toLongLong();
    return -1;
}

// In the child: reads the workbook as the dataset does and prints how far the process's peak
// memory rose above what it held before, and the refusal if any.
int readAndReportPeak(const QString &path) {
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5"); // the peak starts again from what the process holds now
    reset.close();
    const qint64 before = statusKb("VmRSS:");
    const QString error = errorOf([&] {
        const QByteArray bytes = readWorkbookFile(path);
        formatOf(bytes, path).read(bytes, path, u"sheet1"_qs);
    });
    std::printf("%lld\n%s\n", statusKb("VmHWM:") - before, qPrintable(error));
    return 0;
}

// The peak a read of the fixture took in a process of its own, in KiB, and its refusal.
qint64 peakOfRead(const QString &name, QString &error) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"KML_READ_PEAK_OF"_qs, fixture(name));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return -1;
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    error = QString::fromLocal8Bit(lines.value(1));
    return lines[0].toLongLong();
}

} // namespace

void TestWorkbookFormat::initTestCase() {
    useTestLocale();
}

// Content decides, never the name: the same bytes under any name.
void TestWorkbookFormat::formatByContent_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format"); // empty: no format knows the file
    QTest::newRow("xls") << readFile(fixture(u"xlwt-mixed.xls"_qs)) << "xls";
    QTest::newRow("Excel 5.0/95") << readFile(fixture(u"gnumeric-biff7.xls"_qs)) << "xls";
    // Text that no other format knows is delimited text.
    QTest::newRow("text") << readFile(fixture(u"make-xlwt.py"_qs)) << "csv";
    QTest::newRow("empty") << QByteArray() << "csv";
    QTest::newRow("not text") << readFile(fixture(u"csv/not-text.bin"_qs)) << QString();
    QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\0\0\0", 8) << QString();
    QTest::newRow("signature cut short") << QByteArray::fromHex("d0cf11e0a1b11a") << QString();
}

void TestWorkbookFormat::formatByContent() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    const QString name = u"/x/book.txt"_qs;
    const WorkbookFormat *found = nullptr;
    const QString error = errorOf([&] { found = &formatOf(bytes, name); });
    if (format == u"xls") {
        QVERIFY(dynamic_cast<const xls::XlsFormat *>(found));
        QCOMPARE(error, QString());
    } else if (format == u"csv") {
        QVERIFY(dynamic_cast<const csv::CsvFormat *>(found));
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

// Zip entries that state sizes their data does not bear out, and data that inflates beyond what
// a part may hold: each refused within 64 MiB above what reading the workbook they were made
// from takes, measured in a process of their own.
void TestWorkbookFormat::refusedInBoundedMemory_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("honest");
    QTest::addColumn<QString>("why");
    const QString xlsx = u"xlsx/libreoffice-plain.xlsx"_qs, ods = u"ods/libreoffice-plain.ods"_qs;
    QTest::newRow("sheet part states 670 MB")
        << u"xlsx/crafted-lying-size.xlsx"_qs << xlsx
        << u"the entry \"xl/worksheets/sheet2.xml\" has wrong sizes"_qs;
    QTest::newRow("shared strings state 1,030 times their compressed size")
        << u"xlsx/crafted-lying-strings.xlsx"_qs << xlsx
        << u"the entry \"xl/sharedStrings.xml\" has wrong sizes"_qs;
    QTest::newRow("styles inflate to 1 GiB")
        << u"xlsx/crafted-bomb.xlsx"_qs << xlsx
        << u"the entry \"xl/styles.xml\" is too large to be read"_qs;
    QTest::newRow("content states 880 MB") << u"ods/crafted-lying-size.ods"_qs << ods
                                           << u"the entry \"content.xml\" has wrong sizes"_qs;
    QTest::newRow("styles inflate to 256 MiB")
        << u"ods/crafted-bomb.ods"_qs << ods
        << u"the entry \"styles.xml\" is too large to be read"_qs;
}

void TestWorkbookFormat::refusedInBoundedMemory() {
    QFETCH(QString, file);
    QFETCH(QString, honest);
    QFETCH(QString, why);
    QString error;
    const qint64 honestPeak = peakOfRead(honest, error);
    QVERIFY2(honestPeak >= 0 && error.isEmpty(), qPrintable(error));
    const qint64 peak = peakOfRead(file, error);
    QVERIFY(peak >= 0);
    QCOMPARE(error, u"The workbook \"%1\" is damaged: %2"_qs.arg(displayPath(fixture(file)), why));
    QVERIFY2(peak <= honestPeak + 64 * 1024,
             qPrintable(u"%1 KiB, the honest workbook %2 KiB"_qs.arg(peak).arg(honestPeak)));
}

// Every format lists its sheets in the workbook's order, spelt as the workbook spells them, and
// reads each one by its name in any case: A2 of each as the sheet holds it.
void TestWorkbookFormat::sheetsListedAndReadByName_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("cellsA2");
    const QStringList mixed{u"Other"_qs, u"Sheet1"_qs, u"Refs"_qs};
    const QStringList mixedCells{u"num:42"_qs, u"num:116.3920388"_qs, u"text:refers to sheet1"_qs};
    QTest::newRow("xls") << u"xlwt-mixed.xls"_qs << mixed << mixedCells;
    QTest::newRow("xls, its chart sheet left out")
        << u"crafted-biff8.xls"_qs << QStringList{u"Other"_qs, u"Sheet1"_qs} << QStringList{};
    QTest::newRow("xls, Excel 5.0/95") << u"gnumeric-biff7.xls"_qs << mixed << mixedCells;
    QTest::newRow("xlsx") << u"xlsx/libreoffice-mixed.xlsx"_qs << mixed << mixedCells;
    QTest::newRow("xlsx, a name in capitals")
        << u"xlsx/crafted-kinds.xlsx"_qs << QStringList{u"Other"_qs, u"SHEET1"_qs} << QStringList{};
    QTest::newRow("ods") << u"ods/libreoffice-xls-mixed.ods"_qs << mixed << mixedCells;
    QTest::newRow("ods, sheet1 in lower case")
        << u"ods/gnumeric-plain.ods"_qs << QStringList{u"Other"_qs, u"sheet1"_qs} << QStringList{};
}

void TestWorkbookFormat::sheetsListedAndReadByName() {
    QFETCH(QString, file);
    QFETCH(QStringList, names);
    QFETCH(QStringList, cellsA2);
    const QString path = fixture(file);
    const QByteArray bytes = readWorkbookFile(path);
    const WorkbookFormat &format = formatOf(bytes, path);
    QCOMPARE(format.sheetNames(bytes, path), names);
    for (qsizetype k = 0; k < names.size(); ++k) {
        const SheetRead read = format.read(bytes, path, names[k].toUpper());
        QCOMPARE(read.sheet->sheetName, names[k]);
        if (!cellsA2.isEmpty())
            QCOMPARE(sheetdump::describe(*read.sheet, 1, 0), cellsA2[k]);
    }
}

// A file whose sheets cannot be listed gives the message its read gives.
void TestWorkbookFormat::sheetNamesRefusedAsReadIs_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("keep"); // bytes of the file kept, all when 0
    QTest::newRow("xls protected by a password") << u"filepass.xls"_qs << 0;
    QTest::newRow("xls cut short") << u"xlwt-mixed.xls"_qs << 3000;
    QTest::newRow("xlsx encrypted") << u"xlsx/crafted-encrypted-cut.xlsx"_qs << 0;
    QTest::newRow("xlsx cut short") << u"xlsx/libreoffice-mixed.xlsx"_qs << 2000;
    QTest::newRow("ods encrypted") << u"ods/libreoffice-encrypted.ods"_qs << 0;
    QTest::newRow("ods cut short") << u"ods/libreoffice-xls-mixed.ods"_qs << 2000;
}

void TestWorkbookFormat::sheetNamesRefusedAsReadIs() {
    QFETCH(QString, file);
    QFETCH(int, keep);
    const QString path = fixture(file);
    QByteArray bytes = readWorkbookFile(path);
    if (keep)
        bytes.truncate(keep);
    const WorkbookFormat &format = formatOf(bytes, path);
    const QString refusal = errorOf([&] { format.read(bytes, path, u"sheet1"_qs); });
    QVERIFY(!refusal.isEmpty());
    QCOMPARE(errorOf([&] { format.sheetNames(bytes, path); }), refusal);
}

int main(int argc, char *argv[]) {
    if (const QString path = qEnvironmentVariable("KML_READ_PEAK_OF"); !path.isEmpty()) {
        QCoreApplication app(argc, argv);
        return readAndReportPeak(path);
    }
    QCoreApplication app(argc, argv);
    TestWorkbookFormat test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_workbookformat.moc"
