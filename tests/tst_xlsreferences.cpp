// Deleting a row of sheet1 is refused, with the reason, whenever anything in the workbook refers
// to its row positions; formula tokens are read far enough to tell which sheet they mean.
#include "workbook/xls/xlsreferences.h"
#include "workbook/xls/xlssheeteditor.h"
#include "workbooktesting.h"

#include <QTest>

using namespace workbook;
using namespace workbook::xls;
using namespace workbooktesting;

class TestXlsReferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deleteRefusals_data();
    void deleteRefusals();
    void tokens_data();
    void tokens();
};

void TestXlsReferences::deleteRefusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("users"); // empty: the delete goes through
    QTest::addColumn<bool>("formulasRead");
    QTest::newRow("formulas on sheet1 and on another sheet")
        << "xlwt-mixed.xls"
        << "formulas on sheet1 and formulas on sheet Refs" << true;
    QTest::newRow("3-D references from another sheet") << "gnumeric-rows2000.xls"
                                                       << "formulas on sheet Notes" << true;
    QTest::newRow("shared and array formulas") << "libreoffice-shared.xls"
                                               << "formulas on sheet1" << true;
    QTest::newRow("merged cells") << "xlwt-merged.xls"
                                  << "merged cells" << false;
    QTest::newRow("notes") << "libreoffice-note.xls"
                           << "drawing objects and notes" << false;
    QTest::newRow("hyperlinks") << "libreoffice-hyperlink.xls"
                                << "hyperlinks" << false;
    QTest::newRow("conditional formats") << "libreoffice-condformat.xls"
                                         << "conditional formats" << false;
    QTest::newRow("data validations") << "libreoffice-validation.xls"
                                      << "data validations" << false;
    QTest::newRow("defined names") << "libreoffice-name.xls"
                                   << "defined names" << true;
    QTest::newRow("autofilter") << "libreoffice-filter.xls"
                                << "defined names, filters and drawing objects" << true;
    QTest::newRow("page breaks") << "libreoffice-pagebreak.xls"
                                 << "page breaks" << false;
    // A record the scan does not know is named in words, not by its number ("0x08C8").
    QTest::newRow("a record of a kind not known") << "crafted-unknown-record.xls"
                                                  << "records of unknown kinds" << false;
    QTest::newRow("xlwt plain, a formula without references") << "xlwt-plain.xls"
                                                              << "" << false;
    QTest::newRow("Gnumeric plain, its sheet title names") << "gnumeric-plain.xls"
                                                           << "" << false;
    QTest::newRow("LibreOffice plain, its empty drawing") << "libreoffice-plain.xls"
                                                          << "" << false;
    QTest::newRow("LibreOffice numbers") << "libreoffice-numbers.xls"
                                         << "" << false;
}

void TestXlsReferences::deleteRefusals() {
    QFETCH(QString, file);
    QFETCH(QString, users);
    QFETCH(bool, formulasRead);
    const QByteArray stream = fixtureStream(file);
    const Parsed p(stream);
    const SheetReferences found = findReferences(p.stream, p.records, p.layout);
    QCOMPARE(found.formulasReadSheet, formulasRead);

    SheetEditor editor(stream);
    const QString message = errorOf([&] { editor.deleteRow(2); });
    if (users.isEmpty()) {
        QVERIFY2(message.isEmpty(), qPrintable(message));
        QVERIFY(editor.isChanged());
        return;
    }
    QCOMPARE(message, QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to row "
                                     "positions; clear the row's cells instead")
                          .arg(users));
    QVERIFY(!editor.isChanged());
    QCOMPARE(editor.serialize(), stream);
}

void TestXlsReferences::tokens_data() {
    QTest::addColumn<QByteArray>("rgce");
    QTest::addColumn<QString>("found"); // letters: p plain, s sheet, n names, u unreadable
    // EXTERNSHEET of the test: 0 sheet 0, 1 sheet 1, 2 another book, 3 sheets 0-2, 4 the book.
    QTest::newRow("3-D reference to the sheet") << QByteArray::fromHex("3a0100010000c0") << "s";
    QTest::newRow("3-D reference to another sheet") << QByteArray::fromHex("3a0000010000c0") << "";
    QTest::newRow("3-D area over sheets 0 to 2")
        << QByteArray::fromHex("3b030001000500000001c0") << "s";
    QTest::newRow("sheet of another workbook") << QByteArray::fromHex("5a0200010000c0") << "";
    QTest::newRow("the workbook as a whole") << QByteArray::fromHex("7a0400010000c0") << "";
    QTest::newRow("index past EXTERNSHEET") << QByteArray::fromHex("3a0900010000c0") << "s";
    QTest::newRow("deleted 3-D reference still counts")
        << QByteArray::fromHex("3c0100010000c0") << "s";
    QTest::newRow("plain reference and area")
        << QByteArray::fromHex("44010000c0250100020000000100") << "p";
    QTest::newRow("shared formula member") << QByteArray::fromHex("0101000200") << "p";
    QTest::newRow("strings, numbers, attributes and operators")
        << QByteArray::fromHex("1703006162631e05001f000000000000f03f03191000001c071d01") << "";
    QTest::newRow("wide string") << QByteArray::fromHex("1702013000310004") << "";
    QTest::newRow("choose skips its jump table, then a 3-D reference")
        << QByteArray::fromHex("1e0100190402000600080009003a0100010000c0") << "s";
    QTest::newRow("function and name") << QByteArray::fromHex("2101002301000000") << "n";
    QTest::newRow("unknown token") << QByteArray::fromHex("1e010018") << "u";
    QTest::newRow("cut short") << QByteArray::fromHex("3a01") << "u";
    QTest::newRow("string longer than the formula") << QByteArray::fromHex("1709006162") << "u";
}

void TestXlsReferences::tokens() {
    QFETCH(QByteArray, rgce);
    QFETCH(QString, found);
    ExternSheets externs;
    externs.known = true;
    externs.internalBook = 0;
    externs.entries = {{0, 0, 0}, {0, 1, 1}, {1, 1, 1}, {0, 0, 2}, {0, 0xFFFE, 0xFFFE}};
    const TokenReferences t = scanTokens(rgce.constData(), int(rgce.size()), externs, 1);
    QString letters;
    if (t.plain)
        letters += u'p';
    if (t.sheet)
        letters += u's';
    if (t.names)
        letters += u'n';
    if (t.unreadable)
        letters += u'u';
    QCOMPARE(letters, found);
}

QTEST_GUILESS_MAIN(TestXlsReferences)
#include "tst_xlsreferences.moc"
