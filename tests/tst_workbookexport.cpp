// The workbook export reads its cells straight from the sheet: its texts and its file must be
// those that the fields' texts give, read one by one and joined into lines the plain way.
#include "biffbuilder.h"
#include "common/commanderror.h"
#include "common/numtext.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "testsupport.h"
#include "workbook/fieldtext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using namespace testsupport;

class TestWorkbookExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sameAsFieldTexts_data();
    void sameAsFieldTexts();
    void xlsxSameAsXls_data();
    void xlsxSameAsXls();
    void numbersWithAnySeparator_data();
    void numbersWithAnySeparator();
    void longExportInTwoParts();
};

namespace {

// The document as the page built it at first: every field through AsString, every line through
// folderPlacemarkEntry.
QByteArray plainExport(TADOQuery &query) {
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    query.First();
    for (int i = 0; i < query.RecordCount(); ++i) {
        const QString x = query.Fields(0).AsString();
        const QString y = query.Fields(1).AsString();
        const QString d = query.Fields(3).AsString();
        const QString n = query.Fields(2).AsString();
        buffer.Add(kml::folderPlacemarkEntry(d, n, x, y));
        query.Next();
    }
    kml::endFolder(buffer);
    return buffer.bytes();
}

QString writeWorkbook(const QTemporaryDir &dir, const QByteArray &cells) {
    const QString path = dir.filePath(QStringLiteral("made.xls"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(biff::compoundFile(biff::workbookStream(cells)));
    return path;
}

} // namespace

void TestWorkbookExport::initTestCase() {
    useTestLocale();
}

void TestWorkbookExport::sameAsFieldTexts_data() {
    QTest::addColumn<QString>("file");
    for (const char *name : {"xlwt-kinds.xls",
                             "xlwt-mixed.xls",
                             "xlwt-numbers.xls",
                             "xlwt-date1904.xls",
                             "xlwt-merged.xls",
                             "xlwt-rows2000.xls",
                             "libreoffice-mixed.xls",
                             "libreoffice-numbers.xls",
                             "libreoffice-shared.xls",
                             "libreoffice-rows2000.xls",
                             "gnumeric-mixed.xls",
                             "gnumeric-numbers.xls",
                             "gnumeric-biff7.xls",
                             "crafted-biff5.xls",
                             "crafted-biff8.xls",
                             "xlsx/libreoffice-kinds.xlsx",
                             "xlsx/gnumeric-mixed.xlsx",
                             "xlsx/openpyxl-1904.xlsx",
                             "xlsx/crafted-kinds.xlsx",
                             "ods/libreoffice-kinds.ods",
                             "ods/gnumeric-xls-mixed.ods"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// The same sheet as an .xls file and as LibreOffice's .xlsx gives the same KML file.
void TestWorkbookExport::xlsxSameAsXls_data() {
    QTest::addColumn<QString>("xls");
    QTest::addColumn<QString>("xlsx");
    QTest::newRow("kinds") << "xlwt-kinds.xls"
                           << "xlsx/libreoffice-kinds.xlsx";
    QTest::newRow("mixed") << "libreoffice-mixed.xls"
                           << "xlsx/libreoffice-mixed.xlsx";
    QTest::newRow("1904 dates") << "xlwt-date1904.xls"
                                << "xlsx/libreoffice-date1904.xlsx";
    QTest::newRow("kinds, .ods") << "xlwt-kinds.xls"
                                 << "ods/libreoffice-xls-kinds.ods";
    QTest::newRow("1904 dates, .ods") << "xlwt-date1904.xls"
                                      << "ods/libreoffice-xls-date1904.ods";
}

void TestWorkbookExport::xlsxSameAsXls() {
    QFETCH(QString, xls);
    QFETCH(QString, xlsx);
    QTemporaryDir dir;
    QByteArray files[2];
    for (int i = 0; i < 2; ++i) {
        TADOQuery query;
        workbooksource::openWorkbook(query, fixture(i == 0 ? xls : xlsx));
        KmlBuffer buffer;
        const QString path = dir.filePath(QStringLiteral("out%1.kml").arg(i));
        workbooksource::exportFolder(query, buffer, path, KmlFileFormat::Utf16);
        files[i] = readFile(path);
    }
    QVERIFY(files[0].size() > 200);
    QCOMPARE(files[1], files[0]);
}

// Every cell of every field as a view, and the whole file, against the plain way.
void TestWorkbookExport::sameAsFieldTexts() {
    QFETCH(QString, file);
    TADOQuery query;
    workbooksource::openWorkbook(query, fixture(file));
    QVERIFY(query.RecordCount() > 0);
    const workbook::SheetData &sheet = *query.sheet();
    workbook::fieldtext::TextScratch scratch;
    for (int record = 0; record < query.RecordCount(); ++record)
        for (int field = 0; field < query.FieldCount(); ++field)
            QCOMPARE(workbook::fieldtext::cellTextView(sheet, query.fieldCell(record, field),
                                                       query.decimalSeparator(), scratch)
                         .toString(),
                     query.fieldText(record, field));
    if (query.FieldCount() < 4)
        return; // the export stops at its first record, before any placemark

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    KmlBuffer buffer;
    workbooksource::exportFolder(query, buffer, path, KmlFileFormat::Utf16);
    const QByteArray expected = plainExport(query);
    QCOMPARE(readFile(path), expected);
    QCOMPARE(buffer.bytes(), expected);
    // The buffer shares the sheet's texts: they outlive the sheet.
    query.Close();
    QCOMPARE(buffer.bytes(), expected);
}

void TestWorkbookExport::numbersWithAnySeparator_data() {
    QTest::addColumn<QChar>("separator");
    QTest::newRow("point") << QChar(u'.');
    QTest::newRow("comma") << QChar(u',');
    QTest::newRow("arabic separator") << QChar(0x066B);
    // Separators that XML needs escaped, or cannot carry: numbers are then checked like text.
    QTest::newRow("ampersand") << QChar(u'&');
    QTest::newRow("less than") << QChar(u'<');
    QTest::newRow("control character") << QChar(0x0001);
}

void TestWorkbookExport::numbersWithAnySeparator() {
    QFETCH(QChar, separator);
    QTemporaryDir dir;
    QByteArray cells;
    const char16_t *headings[] = {u"经度", u"纬度", u"标注", u"描述"};
    for (int c = 0; c < 4; ++c)
        cells += biff::label(0, c, QString::fromUtf16(headings[c]));
    const double numbers[] = {116.3920388, -0.00005, 1e20, 2.5, 0.1 + 0.2, 123456789012345678.0};
    for (int r = 1; r <= 6; ++r) {
        cells += biff::number(r, 0, numbers[r - 1]);
        cells += biff::number(r, 1, -numbers[6 - r]);
        cells += biff::number(r, 2, numbers[r % 6]);
        cells += biff::label(r, 3, u"<b>点</b>"_qs);
    }
    TADOQuery query;
    query.setDecimalSeparator(separator);
    // A second query of the same sheet keeps its own separator, ".": none is shared.
    TADOQuery pointQuery;
    const QString workbookPath = writeWorkbook(dir, cells);
    workbooksource::openWorkbook(query, workbookPath);
    workbooksource::openWorkbook(pointQuery, workbookPath);
    QCOMPARE(query.RecordCount(), 6);
    QCOMPARE(query.fieldText(0, 0), u"116"_qs + separator + u"3920388"_qs);
    QCOMPARE(pointQuery.fieldText(0, 0), u"116.3920388"_qs);
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    KmlBuffer buffer;
    workbooksource::exportFolder(query, buffer, path, KmlFileFormat::Utf16);
    QCOMPARE(readFile(path), plainExport(query));
}

// A sheet long enough for its export to be made in two parts at once: the same file as the
// plain way, every kind of field text (numbers, texts made safe, empty cells, a missing row)
// in both parts, and the cursor left where the plain way leaves it.
void TestWorkbookExport::longExportInTwoParts() {
    QTemporaryDir dir;
    QByteArray cells;
    const char16_t *headings[] = {u"经度", u"纬度", u"标注", u"描述"};
    for (int c = 0; c < 4; ++c)
        cells += biff::label(0, c, QString::fromUtf16(headings[c]));
    const int rows = 9001;
    for (int r = 1; r <= rows; ++r) {
        if (r % 1000 == 500)
            continue; // a row without cells: a record of empty fields
        if (r % 7 != 0)
            cells += biff::number(r, 0, 116.39 + r / 1e7);
        cells += r % 5 == 0 ? biff::label(r, 1, u"北纬 39°"_qs) : biff::number(r, 1, -r * 0.25);
        cells += biff::label(r, 2, r % 3 == 0 ? u"A&B 第%1号"_qs.arg(r) : u"地点%1"_qs.arg(r));
        if (r % 11 != 0)
            cells += biff::label(r, 3, u"<b>点 %1</b>\u0001]]>"_qs.arg(r));
    }
    TADOQuery query;
    workbooksource::openWorkbook(query, writeWorkbook(dir, cells));
    QCOMPARE(query.RecordCount(), rows);
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    KmlBuffer buffer;
    buffer.Add(u"an earlier document's line"_qs);
    workbooksource::exportFolder(query, buffer, path, KmlFileFormat::Utf16);
    const int recNo = query.RecNo();
    const bool eof = query.Eof();
    const QByteArray expected = plainExport(query);
    QCOMPARE(readFile(path), expected);
    QCOMPARE(buffer.bytes(), expected);
    QCOMPARE(recNo, query.RecNo());
    QCOMPARE(eof, query.Eof());
}

QTEST_GUILESS_MAIN(TestWorkbookExport)
#include "tst_workbookexport.moc"
