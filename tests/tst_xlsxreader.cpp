// The .xlsx reader: the same sheets as the .xls reader reads them when LibreOffice and Gnumeric
// convert its fixtures; openpyxl's and hand-made packages; every error path with its message.
#include "sources/workbook/fieldtext.h"
#include "sources/workbook/workbookreader.h"

#include "coords/numtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <clocale>

using namespace workbook;

namespace {

QString fixture(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/workbooks/") + name;
}

QString describe(const SheetData &sheet, int row, int column) {
    const Cell *c = sheet.cell(row, column);
    if (!c)
        return QStringLiteral("-");
    static const char *const kinds[] = {"empty", "num", "date", "money", "text", "bool", "error"};
    return QLatin1String(kinds[int(c->kind)]) + u':' + fieldtext::cellText(sheet, c);
}

// Every cell of the used range, one line per row.
QStringList dump(const SheetData &s) {
    QStringList rows;
    rows << QStringLiteral("range %1,%2 %3x%4 1904:%5")
                .arg(s.firstRow())
                .arg(s.firstColumn())
                .arg(s.rowCount())
                .arg(s.columnCount())
                .arg(s.date1904);
    for (int r = s.firstRow(); r < s.firstRow() + s.rowCount(); ++r) {
        QStringList cells;
        for (int c = s.firstColumn(); c < s.firstColumn() + s.columnCount(); ++c)
            cells << describe(s, r, c);
        rows << cells.join(u" | ");
    }
    return rows;
}

QStringList read(const QString &file) {
    WorkbookReader reader;
    if (!reader.readFile(fixture(file), QStringLiteral("sheet1")))
        return {reader.errorString()};
    return dump(reader.sheet());
}

} // namespace

class tst_XlsxReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sameAsXls_data();
    void sameAsXls();
};

void tst_XlsxReader::initTestCase() {
    std::setlocale(LC_TIME, "C.UTF-8");
    numtext::setDecimalSeparator(u'.');
}

void tst_XlsxReader::sameAsXls_data() {
    QTest::addColumn<QString>("xlsx");
    QTest::addColumn<QString>("xls");
    // Formulas have cached results where LibreOffice or Gnumeric wrote the file.
    QTest::newRow("mixed") << "xlsx/libreoffice-mixed.xlsx"
                           << "libreoffice-mixed.xls";
    QTest::newRow("plain: a text formula") << "xlsx/libreoffice-plain.xlsx"
                                           << "gnumeric-plain.xls";
    for (const char *base : {"kinds", "date1904", "three-columns", "no-sheet1", "empty-sheet1",
                             "heading-only", "merged"})
        QTest::newRow(base) << QStringLiteral("xlsx/libreoffice-%1.xlsx").arg(base)
                            << QStringLiteral("xlwt-%1.xls").arg(base);
    QTest::newRow("gnumeric mixed") << "xlsx/gnumeric-mixed.xlsx"
                                    << "gnumeric-mixed.xls";
    QTest::newRow("gnumeric kinds") << "xlsx/gnumeric-kinds.xlsx"
                                    << "xlwt-kinds.xls";
}

void tst_XlsxReader::sameAsXls() {
    QFETCH(QString, xlsx);
    QFETCH(QString, xls);
    QStringList expected = read(xls);
    QStringList actual = read(xlsx);
    expected.replaceInStrings(fixture(xls), "<file>");
    actual.replaceInStrings(QDir::toNativeSeparators(QFileInfo(fixture(xlsx)).absoluteFilePath()),
                            "<file>");
    expected.replaceInStrings(QDir::toNativeSeparators(QFileInfo(fixture(xls)).absoluteFilePath()),
                              "<file>");
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(tst_XlsxReader)
#include "tst_xlsxreader.moc"
