// Delimited text as a workbook: the encodings (with and without a mark, GB18030 when the bytes
// are not UTF-8), the delimiter found from the first records (ties, one column), RFC 4180
// quoting and Python's reading of bad quoting, the three line ends, empty records keeping row
// numbers, the limits; and the write-back byte for byte: edits, appends and deletes in each
// encoding and line end, with and without a last line end, in a file that quotes every field;
// each refusal with its message and the file left as it was.
#include "sheetdump.h"
#include "testsupport.h"

#include "workbook/csv/csvformat.h"
#include "workbook/csv/csvreader.h"

#include <QTemporaryDir>
#include <QTest>

using namespace workbook;
using namespace testsupport;

using Changes = std::vector<SheetChange>;
Q_DECLARE_METATYPE(Changes)

namespace {

const csv::CsvFormat &format() {
    static const csv::CsvFormat f;
    return f;
}

QByteArray utf16(const QString &text, bool bigEndian) {
    QByteArray out(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char low = char(u & 0xFF), high = char(u >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

// The sheet as the lines sheetdump makes, or the message with the file as <file>.
QStringList read(const QByteArray &bytes, const QString &sheet = u"sheet1"_qs) {
    const QString name = u"/x/book.csv"_qs;
    try {
        return sheetdump::dump(*format().read(bytes, name, sheet).sheet);
    } catch (const CommandError &e) {
        return {QString(e.message()).replace(displayPath(name), u"<file>"_qs)};
    }
}

const QString Damaged = u"The workbook \"<file>\" is damaged: "_qs;

} // namespace

class TestCsv : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void contentTest_data();
    void contentTest();
    void limits_data();
    void limits();
    void writes_data();
    void writes();
    void whyReadOnly_data();
    void whyReadOnly();
};

void TestCsv::reads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("sheet");
    const QStringList twoByTwo{"range 0,0 2x2 1904:0", "text:经度 | text:纬度",
                               "text:116.5 | text:39.9"};
    const QString plain = u"经度,纬度\r\n116.5,39.9\r\n"_qs;
    // Encodings.
    QTest::newRow("UTF-8") << plain.toUtf8() << twoByTwo;
    QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBF" + plain.toUtf8() << twoByTwo;
    // Every length of sequence; a mark that begins a field is dropped, one inside it kept.
    QTest::newRow("UTF-8 of one to four bytes, a mark in a field")
        << u"é,€,😀\n\uFEFFx,y\uFEFF,z"_qs.toUtf8()
        << QStringList{"range 0,0 2x3 1904:0", u"text:é | text:€ | text:😀"_qs,
                       u"text:x | text:y\uFEFF | text:z"_qs};
    QTest::newRow("UTF-16LE with mark") << utf16(plain, false) << twoByTwo;
    QTest::newRow("UTF-16BE with mark") << utf16(plain, true) << twoByTwo;
    QTest::newRow("GB18030 when not UTF-8")
        << QByteArray::fromHex("beadb6c82cb3c6") + "\r\n116.5,39.9"
        << QStringList{"range 0,0 2x2 1904:0", "text:经度 | text:称", "text:116.5 | text:39.9"};
    // A GB18030 character whose second byte is the vertical bar is one character.
    QTest::newRow("GB18030, bar inside a character")
        << QByteArray::fromHex("817c7c61") + "\n" + QByteArray::fromHex("b57c7c62")
        << QStringList{"range 0,0 2x2 1904:0", "text:亅 | text:a", "text:祙 | text:b"};
    // Delimiters.
    QTest::newRow("tab and comma tie: tab")
        << QByteArray("a\tb,c\nd\te,f")
        << QStringList{"range 0,0 2x2 1904:0", "text:a | text:b,c", "text:d | text:e,f"};
    QTest::newRow("semicolon with decimal commas")
        << QByteArray("a;b;c\n1,5;2,5;3\n")
        << QStringList{"range 0,0 2x3 1904:0", "text:a | text:b | text:c",
                       "text:1,5 | text:2,5 | text:3"};
    QTest::newRow("vertical bar") << QByteArray("a|b\nc|d")
                                  << QStringList{"range 0,0 2x2 1904:0", "text:a | text:b",
                                                 "text:c | text:d"};
    QTest::newRow("most records with the common count win")
        << QByteArray("a,b;c\nd,e;f\ng,h\n")
        << QStringList{"range 0,0 3x2 1904:0", "text:a | text:b;c", "text:d | text:e;f",
                       "text:g | text:h"};
    QTest::newRow("one column") << QByteArray("a b\nc\n")
                                << QStringList{"range 0,0 2x1 1904:0", "text:a b", "text:c"};
    // Quoting.
    QTest::newRow("quoted delimiter, quotes and line breaks")
        << QByteArray("\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\nx,y,z")
        << QStringList{"range 0,0 2x3 1904:0", "text:a,b | text:say \"hi\" | text:two\r\\nlines",
                       "text:x | text:y | text:z"};
    QTest::newRow("bad quoting as Python's csv reads it")
        << QByteArray("a\"b,\"c\"d,\"e\nf")
        << QStringList{"range 0,0 1x3 1904:0", "text:a\"b | text:cd | text:e\\nf"};
    // Records.
    QTest::newRow("CR, LF and CR LF") << QByteArray("a,b\rc,d\ne,f\r\n")
                                      << QStringList{"range 0,0 3x2 1904:0", "text:a | text:b",
                                                     "text:c | text:d", "text:e | text:f"};
    QTest::newRow("empty records keep row numbers")
        << QByteArray("\r\na,b\r\n\r\n,d\r\n")
        << QStringList{"range 1,0 3x2 1904:0", "text:a | text:b", "- | -", "- | text:d"};
    QTest::newRow("texts exactly as written")
        << QByteArray(" 116.50 ,1E3,TRUE,2024-05-01")
        << QStringList{"range 0,0 1x4 1904:0",
                       "text: 116.50  | text:1E3 | text:TRUE | text:2024-05-01"};
    QTest::newRow("empty file") << QByteArray() << QStringList{"range 0,0 0x0 1904:0"};
    // Not text, and another sheet.
    QTest::newRow("zero byte") << QByteArray("a,b\0c", 5)
                               << QStringList{"The file \"<file>\" is not an Excel workbook"};
    QTest::newRow("valid in no encoding")
        << QByteArray("a,\xFF\xFE\xFF")
        << QStringList{"The file \"<file>\" is not an Excel workbook"};
}

void TestCsv::reads() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, sheet);
    QCOMPARE(read(bytes), sheet);
}

void TestCsv::contentTest_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("text");
    QTest::newRow("UTF-8") << QByteArray("a,b") << true;
    QTest::newRow("GB18030") << QByteArray::fromHex("c3fbb3c6") << true;
    QTest::newRow("UTF-16 with mark") << utf16(u"a\tb"_qs, false) << true;
    QTest::newRow("UTF-16, lone surrogate") << utf16(QString(QChar(0xD800)), false) << false;
    QTest::newRow("UTF-16, odd length") << utf16(u"a"_qs, true) + 'b' << false;
    QTest::newRow("UTF-8 mark, then not UTF-8") << QByteArray("\xEF\xBB\xBF\xC3\xFB") << false;
    QTest::newRow("a zero byte") << QByteArray("a\0", 2) << false;
    QTest::newRow("a zip") << QByteArray("PK\x03\x04\x14\0\0\0", 8) << false;
    QTest::newRow("an .xls") << readFile(fixture(u"xlwt-mixed.xls"_qs)) << false;
}

void TestCsv::contentTest() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, text);
    QCOMPARE(csv::looksLikeDelimitedText(bytes), text);
}

void TestCsv::limits_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("error");
    const QByteArray longest(32767, 'x');
    QTest::newRow("longest text") << "a," + longest << "sheet1" << QString();
    QTest::newRow("text too long")
        << "a,\"" + longest + "x\""
        << "sheet1" << Damaged + "a cell holds a text longer than any sheet holds";
    QTest::newRow("last column") << QByteArray(16383, ',') + "x"
                                 << "sheet1" << QString();
    QTest::newRow("past the last column") << QByteArray(16384, ',') + "x"
                                          << "sheet1" << Damaged + "a cell lies outside the sheet";
    QTest::newRow("empty fields past the last column")
        << "x" + QByteArray(20000, ',') << "SHEET1" << QString();
    QTest::newRow("last row") << QByteArray(1048575, '\n') + "x"
                              << "sheet1" << QString();
    QTest::newRow("past the last row") << QByteArray(1048576, '\n') + "x"
                                       << "sheet1" << Damaged + "a row lies outside the sheet";
    QTest::newRow("another sheet") << QByteArray("a") << "Sheet2"
                                   << "The workbook \"<file>\" has no sheet named \"Sheet2\"";
}

void TestCsv::limits() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sheet);
    QFETCH(QString, error);
    const QStringList got = read(bytes, sheet);
    if (error.isEmpty())
        QVERIFY2(got.first().startsWith(u"range"_qs), qPrintable(got.first()));
    else
        QCOMPARE(got, QStringList{error});
}

void TestCsv::writes_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("error");
    using C = SheetChange;
    const QByteArray crlf = "h1,h2\r\n1,2\r\n3,4\r\n";
    const QString none;
    // Edits.
    QTest::newRow("edit, CR LF") << crlf << "b.csv" << Changes{C::setCell(1, 1, u"x"_qs)}
                                 << QByteArray("h1,h2\r\n1,x\r\n3,4\r\n") << none;
    QTest::newRow("edit quoted as needed")
        << crlf << "b.csv" << Changes{C::setCell(2, 0, u"say \"hi\", ok"_qs)}
        << QByteArray("h1,h2\r\n1,2\r\n\"say \"\"hi\"\", ok\",4\r\n") << none;
    QTest::newRow("edit with a line break, LF")
        << QByteArray("a,b\nc,d\n") << "b.csv" << Changes{C::setCell(0, 0, u"x\ny"_qs)}
        << QByteArray("\"x\ny\",b\nc,d\n") << none;
    QTest::newRow("edit past the last field, CR")
        << QByteArray("a,b\rc,d") << "b.csv" << Changes{C::setCell(1, 3, u"z"_qs)}
        << QByteArray("a,b\rc,d,,z") << none;
    QTest::newRow("edit made empty") << crlf << "b.csv" << Changes{C::setCell(1, 0, QString())}
                                     << QByteArray("h1,h2\r\n,2\r\n3,4\r\n") << none;
    QTest::newRow("a number by the writing rule")
        << crlf << "b.csv" << Changes{C::setCell(1, 0, 116.5), C::setCell(1, 1, 1e15)}
        << QByteArray("h1,h2\r\n116.5,1E15\r\n3,4\r\n") << none;
    QTest::newRow("semicolons: a comma needs no quotes")
        << QByteArray("a;b\nc;d\n") << "b.csv" << Changes{C::setCell(0, 1, u"1,5"_qs)}
        << QByteArray("a;1,5\nc;d\n") << none;
    QTest::newRow("tabs: a tab is quoted")
        << QByteArray("a\tb\n") << "b.tsv" << Changes{C::setCell(0, 1, u"x\ty"_qs)}
        << QByteArray("a\t\"x\ty\"\n") << none;
    QTest::newRow("one column takes a comma")
        << QByteArray("a\r\nb\r\n") << "b.csv" << Changes{C::setCell(0, 2, u"z"_qs)}
        << QByteArray("a,,z\r\nb\r\n") << none;
    QTest::newRow("one column of a .tsv takes a tab")
        << QByteArray("a\r\nb\r\n") << "b.tsv" << Changes{C::setCell(1, 1, u"z"_qs)}
        << QByteArray("a\r\nb\tz\r\n") << none;
    QTest::newRow("edit past the last record")
        << QByteArray("a\n") << "b.csv" << Changes{C::setCell(2, 0, u"z"_qs)}
        << QByteArray("a\n\nz\n") << none;
    // Appends.
    QTest::newRow("append, CR LF")
        << crlf << "b.csv" << Changes{C::appendRow({u"5"_qs, std::monostate(), 7.25})}
        << crlf + "5,,7.25\r\n"
        << none;
    QTest::newRow("append, no last line end")
        << QByteArray("a,b\r\n1,2") << "b.csv" << Changes{C::appendRow({u"3"_qs, u"4"_qs})}
        << QByteArray("a,b\r\n1,2\r\n3,4") << none;
    QTest::newRow("append, CR") << QByteArray("a,b\r1,2\r") << "b.csv"
                                << Changes{C::appendRow({u"3"_qs})} << QByteArray("a,b\r1,2\r3\r")
                                << none;
    QTest::newRow("append into the empty record after the last row")
        << QByteArray("a,b\n\n\n") << "b.csv" << Changes{C::appendRow({u"x"_qs, u"y"_qs})}
        << QByteArray("a,b\nx,y\n\n") << none;
    QTest::newRow("append to an empty file")
        << QByteArray() << "b.csv" << Changes{C::appendRow({u"x"_qs, u"y"_qs})}
        << QByteArray("x,y\r\n") << none;
    // Deletes.
    QTest::newRow("delete") << crlf << "b.csv" << Changes{C::deleteRow(1)}
                            << QByteArray("h1,h2\r\n3,4\r\n") << none;
    QTest::newRow("delete the last, no last line end")
        << QByteArray("a\nb\nc") << "b.csv" << Changes{C::deleteRow(2)} << QByteArray("a\nb\n")
        << none;
    QTest::newRow("delete the only record")
        << QByteArray("a,b") << "b.csv" << Changes{C::deleteRow(0)} << QByteArray() << none;
    QTest::newRow("an empty record after a lone CR keeps its row")
        << QByteArray("a\rb\rc\nd\r") << "b.csv"
        << Changes{C::setCell(2, 0, QString()), C::deleteRow(1)} << QByteArray("a\r\"\"\nd\r")
        << none;
    QTest::newRow("delete with a quoted line break")
        << QByteArray("a,\"b\r\nc\"\r\nd,e\r\n") << "b.csv" << Changes{C::deleteRow(0)}
        << QByteArray("d,e\r\n") << none;
    // A file that quotes every field.
    QTest::newRow("quoting every field")
        << QByteArray("\"a\";\"b\"\n\"1\";\"2\"\n") << "b.csv"
        << Changes{C::setCell(1, 1, u"x"_qs), C::appendRow({u"3"_qs, QString()})}
        << QByteArray("\"a\";\"b\"\n\"1\";\"x\"\n\"3\";\"\"\n") << none;
    // Encodings.
    QTest::newRow("UTF-8 with mark")
        << "\xEF\xBB\xBF" + crlf << "b.csv"
        << Changes{C::setCell(1, 1, u"点"_qs), C::appendRow({u"😀"_qs})}
        << "\xEF\xBB\xBF" + QString(u"h1,h2\r\n1,点\r\n3,4\r\n😀\r\n"_qs).toUtf8() << none;
    QTest::newRow("UTF-16LE") << utf16(u"a\tb\r\n1\t2\r\n"_qs, false) << "b.txt"
                              << Changes{C::setCell(1, 0, u"点"_qs),
                                         C::appendRow({u"x"_qs, u"😀"_qs})}
                              << utf16(u"a\tb\r\n点\t2\r\nx\t😀\r\n"_qs, false) << none;
    QTest::newRow("UTF-16BE, delete")
        << utf16(u"a\tb\n1\t2\n3\t4"_qs, true) << "b.txt" << Changes{C::deleteRow(1)}
        << utf16(u"a\tb\n3\t4"_qs, true) << none;
    QTest::newRow("GB18030") << QByteArray::fromHex("c3fbb3c62cbeadb6c80d0a") + "a,b\r\n"
                             << "b.csv"
                             << Changes{C::setCell(1, 1, u"点😀"_qs), C::appendRow({u"€"_qs})}
                             << QByteArray::fromHex("c3fbb3c62cbeadb6c80d0a") + "a," +
                                    QByteArray::fromHex("b5e39439fc36") + "\r\n" +
                                    QByteArray::fromHex("a2e3") + "\r\n"
                             << none;
    // Refusals.
    QTest::newRow("a lone surrogate")
        << crlf << "b.csv" << Changes{C::setCell(1, 1, QString(QChar(0xDC00)))} << crlf
        << "The text for cell B2 holds the character U+DC00, which the file's encoding (UTF-8) "
           "cannot hold";
    QTest::newRow("U+0000 in GB18030")
        << QByteArray::fromHex("c3fb0d0a") << "b.csv"
        << Changes{C::appendRow({QStringLiteral("a") + QChar(0)})}
        << QByteArray::fromHex("c3fb0d0a")
        << "The text for cell A2 holds the character U+0000, which the file's encoding (GB18030) "
           "cannot hold";
    QTest::newRow("a row past the sheet")
        << crlf << "b.csv" << Changes{C::setCell(1048576, 0, u"x"_qs)} << crlf
        << "There is no cell at row 1048577, column 1 of sheet1; a sheet has 1048576 rows and "
           "16384 columns";
    QTest::newRow("delete a row that is not there")
        << crlf << "b.csv" << Changes{C::deleteRow(3)} << crlf << "Row 4 of sheet1 does not exist";
    // A one-column file whose later records hold commas: a second column would part them too.
    const QByteArray column = "a\n" + QByteArray("b\n").repeated(100) + "c,d\n";
    QTest::newRow("a second column that would part later records")
        << column << "b.csv" << Changes{C::setCell(0, 1, u"x"_qs)} << column
        << "The workbook cannot be changed safely: cell A102 of sheet1 would read back as \"c\" "
           "instead of \"c,d\"";
}

void TestCsv::writes() {
    QFETCH(QByteArray, before);
    QFETCH(QString, name);
    QFETCH(Changes, changes);
    QFETCH(QByteArray, after);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(writeFile(path, before));
    const SheetRead read = format().read(readFile(path), path, u"sheet1"_qs);
    QCOMPARE(format().whyReadOnly(read), QString());
    QCOMPARE(errorOf([&] { format().write(path, read.identity, changes); }), error);
    QCOMPARE(readFile(path), after);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
}

void TestCsv::whyReadOnly_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");
    QTest::newRow("writable") << QByteArray("a,\"b\"\n") << QString();
    QTest::newRow("ends inside quotes")
        << QByteArray("a,\"b\n") << "The file ends inside a quoted field and cannot be changed";
    QTest::newRow("GB18030 that does not read back")
        << QByteArray::fromHex("c3fb2c8431a530")
        << "The file holds GB18030 bytes that do not read back as they are written and cannot be "
           "changed";
}

void TestCsv::whyReadOnly() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    QCOMPARE(format().whyReadOnly(format().read(bytes, u"b.csv"_qs, u"sheet1"_qs)), why);
}

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
