// The .xlsx reader: the same sheets as the .xls reader reads them when LibreOffice and Gnumeric
// convert its fixtures; openpyxl's and hand-made packages; every error path with its message.
#include "packagetesting.h"
#include "sheetdump.h"
#include "testsupport.h"

#include "workbook/formatregistry.h"
#include "workbook/sheetdata.h"

#include "common/commanderror.h"
#include "common/zip/ziparchive.h"
#include "workbook/xls/compoundfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace workbook;

namespace {

// The package with one part's content replaced.
QByteArray withPart(const QByteArray &package, const QByteArray &part, const QByteArray &content) {
    return packagetesting::withParts(package, {{part, content}});
}

QString readError(const QByteArray &bytes) {
    const QString path = QStringLiteral("book.xlsx");
    QString message;
    try {
        formatOf(bytes, path).read(bytes, path, QStringLiteral("sheet1"));
    } catch (const CommandError &e) {
        message = e.message();
    }
    return message.replace(
        QDir::toNativeSeparators(QFileInfo(QStringLiteral("book.xlsx")).absoluteFilePath()),
        QStringLiteral("<file>"));
}

} // namespace

class TestXlsxReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sameAsXls_data();
    void sameAsXls();
    void crafted_data();
    void crafted();
    void errors_data();
    void errors();
    void longestTexts();
    void damagedNeverCrashes();
};

void TestXlsxReader::initTestCase() {
    useTestLocale();
}

void TestXlsxReader::sameAsXls_data() {
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

void TestXlsxReader::sameAsXls() {
    QFETCH(QString, xlsx);
    QFETCH(QString, xls);
    QCOMPARE(sheetdump::read(fixture(xlsx)), sheetdump::read(fixture(xls)));
}

// What no program at hand writes: inline and rich text, cells and rows without positions, every
// cell type, built-in and quoted currency formats, a prefixed main namespace.
void TestXlsxReader::crafted_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("kinds")
        << "xlsx/crafted-kinds.xlsx"
        << QStringList{"range 0,0 5x5 1904:0",
                       "text:经度 | text:纬度 | text:标注 | text:地点描述 | -",
                       "num:116.5 | num:39.25 | text:富 文本 | text:line\rbreak & more | -",
                       "money:1234.5679 | date:05/01/2024 | bool:True | error:#DIV/0! | "
                       "date:05/01/2024 12:00:00",
                       "- | - | - | - | -",
                       "text:前后 | - | date:05/01/2024 13:30:00 | date:05/01/2024 | "
                       "money:-2.5"};
    QTest::newRow("prefixed namespace")
        << "xlsx/crafted-prefixed.xlsx"
        << QStringList{"range 0,0 2x1 1904:0", "text:经度", "num:116"};
    QTest::newRow("openpyxl: 1904 dates, formulas without results")
        << "xlsx/openpyxl-1904.xlsx"
        << QStringList{"range 0,0 5x5 1904:1",
                       "text:经度 | text:纬度 | text:标注 | text:地点描述 | text:日期",
                       "num:116.1 | num:39.1 | text:点1 | text:描述1 | date:05/01/2024 13:30:00",
                       "num:116.2 | num:39.2 | text:点2 | text:描述2 | date:01/02/1904",
                       "num:116.3 | num:39.3 | text:点3 | text:描述3 | -",
                       "num:116.4 | num:39.4 | text:点4 | text:描述4 | -"};
    // The extension's <x15:workbookPr> after the workbook's own sets no date system.
    QTest::newRow("Excel 2013: 1904 dates, an extension's workbookPr")
        << "xlsx/crafted-excel-1904.xlsx"
        << QStringList{"range 0,0 2x4 1904:1", "text:经度 | text:纬度 | text:标注 | text:地点描述",
                       "num:116.5 | num:39.5 | date:01/01/2021 | date:01/01/2021 12:00:00"};
    // XML reads a literal CR LF or CR as a line feed: only "_x000D_" or "&#13;" is a return.
    QTest::newRow("line ends: a formula's text result as Excel writes it, lone and escaped CRs")
        << "xlsx/crafted-line-ends.xlsx"
        << QStringList{"range 0,0 2x5 1904:0",
                       "text:abc\r\\ndef | text:one\\ntwo | text:x\ry | text:in\\nline | "
                       "text:abc\r\\ndef",
                       "num:116.5 | num:39.5 | - | - | -"};
    QTest::newRow("openpyxl: ISO dates, times of day alone")
        << "xlsx/openpyxl-iso-times.xlsx"
        << QStringList{"range 0,0 4x4 1904:0", "text:经度 | text:纬度 | text:时间 | text:日期",
                       "num:116.5 | num:39.5 | date:10:10:10 | date:05/01/2024 13:30:00",
                       "num:116.6 | num:39.6 | date:08:05:30 | date:01/01/2021",
                       "num:116.7 | num:39.7 | date:00:00:00 | date:05/30/1850 06:00:00"};
}

void TestXlsxReader::crafted() {
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QCOMPARE(sheetdump::read(fixture(file)), expected);
}

void TestXlsxReader::errors_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray kinds = readFile(fixture("xlsx/crafted-kinds.xlsx"));
    const QByteArray part = "xl/worksheets/part1.xml";
    auto sheet = [](const QByteArray &rows) -> QByteArray {
        return QByteArray("<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                          "2006/main\">\n<sheetData>") +
               rows + "</sheetData></worksheet>";
    };
    const QString damaged = QStringLiteral("The workbook \"<file>\" is damaged: ");
    QTest::newRow("not a workbook") << readFile(QStringLiteral(KML_TEST_DATA "/zip/plain.zip"))
                                    << "The file \"<file>\" is not an Excel workbook";
    QTest::newRow("zip cut short")
        << kinds.left(kinds.size() - 40) << damaged + "the end of its zip directory is missing";
    QTest::newRow("XML not well-formed")
        << withPart(kinds, part, sheet("<row></c>"))
        << damaged + "its part \"xl/worksheets/part1.xml\" is not well-formed XML (line 2: an "
                     "end tag does not match its start tag)";
    QTest::newRow("entity expansion")
        << withPart(kinds, part, "<!DOCTYPE a [<!ENTITY b \"bb\">]>" + sheet(""))
        << damaged + "its part \"xl/worksheets/part1.xml\" is not well-formed XML (line 1: the "
                     "document declares a document type, which is not allowed)";
    QTest::newRow("shared string missing")
        << withPart(kinds, part, sheet("<row><c t=\"s\"><v>99</v></c></row>"))
        << damaged + "a text cell refers to a shared string that does not exist";
    QTest::newRow("number that is none")
        << withPart(kinds, part, sheet("<row><c><v>12abc</v></c></row>"))
        << damaged + "a number cell does not hold a number";
    QTest::newRow("row beyond the sheet") << withPart(kinds, part, sheet("<row r=\"1048577\"/>"))
                                          << damaged + "a row lies outside the sheet";
    QTest::newRow("cell beyond the sheet")
        << withPart(kinds, part, sheet("<row><c r=\"XFE1\"><v>1</v></c></row>"))
        << damaged + "a cell lies outside the sheet";
    // A cell holds at most 32,767 characters, however its text is written.
    const QByteArray longest = readFile(fixture("xlsx/crafted-longest-texts.xlsx"));
    const QByteArray main =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    const QString tooLong = damaged + "a cell holds a text longer than any sheet holds";
    QTest::newRow("a shared string one character too long")
        << withPart(longest, "xl/sharedStrings.xml",
                    main + "<si><t>" + QByteArray("长").repeated(32768) + "</t></si></sst>")
        << tooLong;
    QTest::newRow("a shared string too long once its escapes are decoded")
        << withPart(longest, "xl/sharedStrings.xml",
                    main + "<si><r><t>" + QByteArray("_x0041_").repeated(32767) +
                        "</t></r><r><t>_x0042_</t></r></si></sst>")
        << tooLong;
    QTest::newRow("an inline string one character too long")
        << withPart(longest, "xl/worksheets/part1.xml",
                    sheet(QByteArray("<row><c t=\"inlineStr\"><is><t>") +
                          QByteArray("名").repeated(32768) + "</t></is></c></row>"))
        << tooLong;
    QTest::newRow("a formula's text one character too long")
        << withPart(longest, "xl/worksheets/part1.xml",
                    sheet(QByteArray("<row><c t=\"str\"><v>") + QByteArray("x").repeated(32768) +
                          "</v></c></row>"))
        << tooLong;
    QTest::newRow("a formula's text too long, written with references")
        << withPart(longest, "xl/worksheets/part1.xml",
                    sheet(QByteArray("<row><c t=\"str\"><v>") +
                          QByteArray("&amp;").repeated(32768) + "</v></c></row>"))
        << tooLong;
    QTest::newRow("a shared string of five million characters")
        << readFile(fixture("xlsx/crafted-huge-text.xlsx")) << tooLong;
    QTest::newRow("sheet part missing")
        << withPart(kinds, "xl/_rels/workbook.xml.rels",
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                    "relationships\"/>")
        << damaged + "the part of a sheet is missing";

    workbook::xls::CompoundFile encrypted;
    workbook::xls::OleEntry info, package;
    info.name = QStringLiteral("EncryptionInfo");
    info.data = QByteArray(200, '\1');
    package.name = QStringLiteral("EncryptedPackage");
    package.data = QByteArray(5000, '\2');
    encrypted.root().children = {info, package};
    QTest::newRow("encrypted package")
        << encrypted.serialize()
        << "The workbook \"<file>\" is protected by a password and cannot be read";
    // Its package stream claims more than the file holds: the compound file cannot be read whole,
    // yet its directory says what it is.
    QTest::newRow("encrypted package, its stream cut short")
        << readFile(fixture("xlsx/crafted-encrypted-cut.xlsx"))
        << "The workbook \"<file>\" is protected by a password and cannot be read";
    auto utf16 = [](const QString &text) {
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    };
    QByteArray renamed = readFile(fixture("xlsx/crafted-encrypted-cut.xlsx"));
    renamed.replace(utf16(u"EncryptedPackage"_qs), utf16(u"EncryptedPackagf"_qs));
    QTest::newRow("compound file cut short, no encrypted package")
        << renamed
        << "The workbook \"<file>\" is damaged: its compound file structure cannot "
           "be read";
}

void TestXlsxReader::errors() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QCOMPARE(readError(bytes), message);
}

// Texts of the most a cell holds, each way a text is written, read whole.
void TestXlsxReader::longestTexts() {
    const workbook::SheetRead read =
        formatOf(readFile(fixture("xlsx/crafted-longest-texts.xlsx")), u"book.xlsx"_qs)
            .read(readFile(fixture("xlsx/crafted-longest-texts.xlsx")), u"book.xlsx"_qs,
                  u"sheet1"_qs);
    const SheetData &sheet = *read.sheet;
    const QString expected[] = {QString(32767, u'长'), QString(32766, u'A') + u'B',
                                QString(32767, u'名'), QString(32767, u'x')};
    for (int column = 0; column < 4; ++column)
        QCOMPARE(sheet.text(*sheet.cell(0, column)), expected[column]);
}

// Archives cut and overwritten at random, and sheet XML overwritten at random inside a sound
// archive: an error or a reading, never a crash or a hang.
void TestXlsxReader::damagedNeverCrashes() {
    QRandomGenerator rng(12);
    for (const char *name : {"xlsx/crafted-kinds.xlsx", "xlsx/libreoffice-mixed.xlsx"}) {
        const QByteArray bytes = readFile(fixture(QLatin1String(name)));
        for (qsizetype n = 0; n < bytes.size(); n += 7)
            readError(bytes.left(n));
        for (int round = 0; round < 400; ++round) {
            QByteArray b = bytes;
            for (int k = 0; k < 1 + round % 5; ++k)
                b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
            readError(b);
        }
    }
    const QByteArray kinds = readFile(fixture("xlsx/crafted-kinds.xlsx"));
    const zip::Archive archive(kinds);
    const QByteArray sheet = archive.read(*archive.find("xl/worksheets/part1.xml"));
    const char alphabet[] = "<>/&;=\"' rcvtisx019#!?";
    for (int round = 0; round < 400; ++round) {
        QByteArray xml = sheet;
        for (int k = 0; k < 1 + round % 4; ++k)
            xml[rng.bounded(int(xml.size()))] = alphabet[rng.bounded(int(sizeof alphabet - 1))];
        readError(withPart(kinds, "xl/worksheets/part1.xml", xml));
    }
}

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "tst_xlsxreader.moc"
