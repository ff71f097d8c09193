// The .xls reader: files from xlwt, Gnumeric, LibreOffice and records written by hand; every
// error path with its message; damaged files that must give an error and never a crash.
#include "workbook/fieldtext.h"
#include "workbook/numberformat.h"
#include "workbook/xls/codepage.h"
#include "workbook/xls/xlsreader.h"

#include "biffbuilder.h"
#include "common/numtext.h"
#include "sheetdump.h"
#include "testsupport.h"
#include "workbooktesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using namespace testsupport;
using sheetdump::describe;
using namespace workbook;
using workbook::xls::CodePageDecoder;
using workbook::xls::readXlsSheet;
using workbook::xls::XlsSheet;
using workbooktesting::readSheet;

class TestXlsReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void producers_data();
    void producers();
    void craftedCells_data();
    void craftedCells();
    void usedRange_data();
    void usedRange();
    void errors_data();
    void errors();
    void identity();
    void formats_data();
    void formats();
    void codePages_data();
    void codePages();
    void builtStreams_data();
    void builtStreams();
    void damagedFilesNeverCrash_data();
    void damagedFilesNeverCrash();
};

void TestXlsReader::initTestCase() {
    useTestLocale();
}

// The same sheet as three programs write it reads the same.
void TestXlsReader::producers_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("biff");
    QTest::addColumn<QString>("formulaCell"); // E5: xlwt writes no cached result
    for (const char *producer : {"xlwt", "gnumeric", "libreoffice"}) {
        const QString name = QLatin1String(producer) + QStringLiteral("-mixed.xls");
        QTest::newRow(name.toUtf8())
            << name << 8
            << (QLatin1String(producer) == u"libreoffice" ? QStringLiteral("num:117.3920388")
                                                          : QStringLiteral("-"));
    }
    QTest::newRow("gnumeric dual streams") << "gnumeric-dual.xls" << 8 << "-";
}

void TestXlsReader::producers() {
    QFETCH(QString, file);
    QFETCH(int, biff);
    QFETCH(QString, formulaCell);
    XlsSheet read;
    QCOMPARE(errorOf([&] { read = readXlsSheet(readFile(fixture(file)), file, u"sheet1"_qs); }),
             QString());
    const SheetData &s = *read.sheet;
    QCOMPARE(s.sheetName, u"Sheet1"_qs); // sheet1 is the second sheet and spelled "Sheet1"
    QCOMPARE(read.biffVersion, biff);
    QCOMPARE(s.firstRow(), 0);
    QCOMPARE(s.rowCount(), 5);
    QCOMPARE(s.columnCount(), 5);
    const QStringList expected[] = {
        {u"text:经度"_qs, u"text:纬度"_qs, u"text:标注"_qs, u"text:地点描述"_qs, u"text:Extra"_qs},
        {u"num:116.3920388"_qs, u"num:39.91120332"_qs, u"text:紫禁城"_qs,
         u"text:中国古代帝王宫殿，位于中国北京市<br/>"_qs, u"num:1"_qs},
        {u"num:121.4965666"_qs, u"num:31.23973873"_qs, u"text:上海浦东"_qs, u"-"_qs,
         u"bool:True"_qs},
        {u"num:5E-5"_qs, u"num:-33.5"_qs, u"text:A&B"_qs, u"text:"_qs + QString(300, u'长'),
         u"date:05/01/2024 13:30:00"_qs},
        {u"num:7"_qs, u"num:100000000"_qs, u"text:整数"_qs, u"text:int cells"_qs, formulaCell},
    };
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            QCOMPARE(describe(s, r, c), expected[r][c]);
}

void TestXlsReader::craftedCells_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("cells");
    const QString b8 = QStringLiteral("crafted-biff8.xls");
    QTest::newRow("headings: LABEL record, no heading, number")
        << b8 << 0
        << QStringList{"text:经度", "text:纬度", "text:标注", "text:地点描述", "-", "num:2024"};
    QTest::newRow("RK integer and x100, split strings, string formula")
        << b8 << 1
        << QStringList{"num:116",
                       "num:39.91",
                       "text:" + QString(u"跨记录的中文字符"_qs).repeated(30),
                       "text:" + QString(u"Latin text "_qs).repeated(40),
                       "bool:True",
                       "text:" + QString(u"公式结果"_qs).repeated(2100)};
    QTest::newRow("MULRK, LABEL, rich text, error, true formula")
        << b8 << 2 << QStringList{"num:12.15",     "num:121",  "text:A&B", "text:粗体<b>rich</b>",
                                  "error:#DIV/0!", "bool:True"};
    QTest::newRow("blanks only") << b8 << 3 << QStringList{"-", "-", "-", "-", "-", "-"};
    QTest::newRow("date, money, phonetic, width switch, #N/A, empty formula")
        << b8 << 4
        << QStringList{"date:05/01/2024 13:30:00",       "money:1234.5679", "text:ふりがな付き",
                       "text:中文" + QString(200, u'x'), "error:#N/A",      "-"};
    QTest::newRow("later record wins, percent, midnight, 1900-02-29, currency built-in")
        << b8 << 5 << QStringList{"num:2",           "num:0.25", "date:05/01/2024",
                                  "date:02/29/1900", "-",        "money:12.5"};
    const QString f4 = QStringLiteral("crafted-formula0406.xls");
    QTest::newRow("FORMULA's BIFF3/4 number: number and text results")
        << f4 << 1 << QStringList{"num:116.5", "num:39.875", "text:公式"};
    QTest::newRow("FORMULA's BIFF3/4 number: number and truth value results")
        << f4 << 2 << QStringList{"num:121.25", "num:31.5", "bool:True"};
    QTest::newRow("FORMULA's BIFF3/4 number: error result")
        << f4 << 3 << QStringList{"num:113.25", "error:#DIV/0!", "text:广州"};
    QTest::newRow("padding records between records, last row")
        << "crafted-padding.xls" << 22 << QStringList{"num:105.5", "num:32.75", "text:点22"};
    const QString b5 = QStringLiteral("crafted-biff5.xls");
    QTest::newRow("BIFF5 headings in code page 936")
        << b5 << 0 << QStringList{"text:经度", "text:纬度", "text:标注", "text:地点描述"};
    QTest::newRow("BIFF5 values") << b5 << 1
                                  << QStringList{"num:116.3920388", "num:39.91", "text:紫禁城",
                                                 "text:中国古代帝王宫殿，位于中国北京市"};
    QTest::newRow("Gnumeric's Excel 95 export, code page 1200: Latin text reads")
        << "gnumeric-biff7.xls" << 3 << QStringList{"num:5E-5", "num:-33.5", "text:A&B"};
    QTest::newRow("BIFF5 currency built-in, formula text")
        << b5 << 2 << QStringList{"num:121", "money:31.2397", "text:上海", "text:formula text"};
}

void TestXlsReader::craftedCells() {
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(QStringList, cells);
    SheetRead read;
    QCOMPARE(errorOf([&] { read = readSheet(fixture(file), u"SHEET1"_qs); }), QString());
    for (int c = 0; c < cells.size(); ++c)
        QCOMPARE(describe(*read.sheet, row, c), cells[c]);
}

void TestXlsReader::usedRange_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QRect>("range"); // column, row, columns, rows
    QTest::addColumn<bool>("date1904");
    QTest::newRow("table from B3") << "xlwt-kinds.xls" << QRect(1, 2, 7, 7) << false;
    QTest::newRow("1904 dates") << "xlwt-date1904.xls" << QRect(0, 0, 4, 2) << true;
    QTest::newRow("heading only") << "xlwt-heading-only.xls" << QRect(0, 0, 4, 1) << false;
    QTest::newRow("three columns") << "xlwt-three-columns.xls" << QRect(0, 0, 3, 3) << false;
    QTest::newRow("empty sheet") << "xlwt-empty-sheet1.xls" << QRect(0, 0, 0, 0) << false;
    QTest::newRow("2000 rows, strings over CONTINUE")
        << "libreoffice-rows2000.xls" << QRect(0, 0, 4, 2001) << false;
    QTest::newRow("BIFF5, 1904 dates") << "crafted-biff5.xls" << QRect(0, 0, 4, 4) << true;
    QTest::newRow("padding records between records")
        << "crafted-padding.xls" << QRect(0, 0, 3, 23) << false;
}

void TestXlsReader::usedRange() {
    QFETCH(QString, file);
    QFETCH(QRect, range);
    QFETCH(bool, date1904);
    SheetRead read;
    QCOMPARE(errorOf([&] { read = readSheet(fixture(file)); }), QString());
    const SheetData &s = *read.sheet;
    QCOMPARE(QRect(s.firstColumn(), s.firstRow(), s.columnCount(), s.rowCount()), range);
    QCOMPARE(s.date1904, date1904);
}

void TestXlsReader::errors_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("message");
    const QString missing = fixture(u"没有这个文件.xls"_qs);
    QTest::newRow("missing file")
        << missing << "sheet1"
        << u"Cannot open the workbook \"%1\": No such file or directory"_qs.arg(native(missing));
    const QString dir = fixture(QString());
    QTest::newRow("a folder") << dir << "sheet1"
                              << u"Cannot open the workbook \"%1\": Is a directory"_qs.arg(
                                     native(dir));
    QTest::newRow("a device") << "/dev/zero"
                              << "sheet1"
                              << u"Cannot open the workbook \"/dev/zero\": Invalid argument"_qs;
    const QString script = fixture(u"csv/not-text.bin"_qs);
    QTest::newRow("not a workbook")
        << script << "sheet1" << u"The file \"%1\" is not an Excel workbook"_qs.arg(native(script));
    const QString pass = fixture(u"filepass.xls"_qs);
    QTest::newRow("password")
        << pass << "sheet1"
        << u"The workbook \"%1\" is protected by a password and cannot be read"_qs.arg(
               native(pass));
    const QString noSheet = fixture(u"xlwt-no-sheet1.xls"_qs);
    QTest::newRow("no sheet1") << noSheet << "sheet1"
                               << u"The workbook \"%1\" has no sheet named \"sheet1\""_qs.arg(
                                      native(noSheet));
    const QString crafted = fixture(u"crafted-biff8.xls"_qs);
    QTest::newRow("chart sheet")
        << crafted << "chart1"
        << u"The sheet \"Chart1\" of the workbook \"%1\" is a chart or macro sheet, not a "
           "worksheet"_qs.arg(native(crafted));
}

void TestXlsReader::errors() {
    QFETCH(QString, path);
    QFETCH(QString, sheet);
    QFETCH(QString, message);
    QCOMPARE(errorOf([&] { readSheet(path, sheet); }), message);
}

void TestXlsReader::identity() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"book.xls"_qs);
    QVERIFY(QFile::copy(fixture(u"xlwt-mixed.xls"_qs), path));
    const FileIdentity first = readSheet(path).identity;
    const QByteArray bytes = readFile(path);
    QCOMPARE(first.size, bytes.size());
    QCOMPARE(first.modified, QFileInfo(path).lastModified());
    QVERIFY(first.sameBytes(fileIdentity(path, bytes)));

    // One byte changed in place, the time put back: write-back will see the change.
    QByteArray changed = bytes;
    changed[changed.size() - 1] = char(changed.back() ^ 1);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(changed);
        f.flush();
        QVERIFY(f.setFileTime(first.modified, QFileDevice::FileModificationTime));
    }
    const FileIdentity now = fileIdentity(path, readWorkbookFile(path));
    QCOMPARE(now.size, first.size);
    QCOMPARE(now.modified, first.modified);
    QVERIFY(!now.sameBytes(first));
}

void TestXlsReader::formats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("kind"); // NumberClass
    const int plain = int(NumberClass::Plain), date = int(NumberClass::Date),
              money = int(NumberClass::Currency);
    QTest::newRow("general") << "General" << plain;
    QTest::newRow("text") << "@" << plain;
    QTest::newRow("scientific") << "0.00E+00" << plain;
    QTest::newRow("percent") << "0.00%" << plain;
    QTest::newRow("iso date") << "yyyy-mm-dd" << date;
    QTest::newRow("chinese literals") << "yyyy\"年\"m\"月\"d\"日\"" << date;
    QTest::newRow("time") << "h:mm:ss AM/PM" << date;
    QTest::newRow("elapsed hours") << "[h]:mm" << date;
    QTest::newRow("colour is no date") << "[Red]0.00" << plain;
    QTest::newRow("quoted letters") << "0.0\" days\"" << plain;
    QTest::newRow("escaped letters") << "0\\h" << plain;
    QTest::newRow("locale tag only") << "[$-804]yyyy/m/d" << date;
    QTest::newRow("dollar") << "$#,##0.00" << money;
    QTest::newRow("yuan tag") << "[$¥-804]#,##0.00" << money;
    QTest::newRow("euro after") << "#,##0.00 €" << money;
    QTest::newRow("escaped dollar") << "\\$0" << money;
    QTest::newRow("quoted yuan") << "\"¥\"#,##0.00" << money;
    QTest::newRow("quoted full-width yuan, two sections") << "\"￥\"#,##0;\"￥\"\\-#,##0" << money;
    QTest::newRow("quoted text without a symbol") << "0.00\" 元\"" << plain;
    QTest::newRow("quoted symbol in a date") << "yyyy\"$\"mm" << date;
}

void TestXlsReader::formats() {
    QFETCH(QString, format);
    QFETCH(int, kind);
    QCOMPARE(int(classifyFormatString(format)), kind);
}

void TestXlsReader::codePages_data() {
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << 936 << QByteArray("plain") << "plain";
    QTest::newRow("gbk") << 936 << QByteArray("\xBE\xAD\xB6\xC8") << u"经度"_qs;
    QTest::newRow("gbk cut short") << 936 << QByteArray("\xBE\xAD\xB6") << u"经\uFFFD"_qs;
    QTest::newRow("1252") << 1252 << QByteArray("caf\xE9 \x80") << u"café €"_qs;
    QTest::newRow("big5") << 950 << QByteArray("\xA4\xA4\xA4\xE5") << u"中文"_qs;
    QTest::newRow("unknown page reads as 1252") << 4242 << QByteArray("\xE9") << u"é"_qs;
}

void TestXlsReader::codePages() {
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    CodePageDecoder decoder(codePage);
    QCOMPARE(decoder.decode(bytes.constData(), std::size_t(bytes.size())), text);
}

// Workbook streams written record by record: what the reader makes of offsets and lengths
// that do not hold. "ok:<cells>" lists the cells of row 0 read; anything else is the detail
// of the damage message.
void TestXlsReader::builtStreams_data() {
    using namespace biff;
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("result");
    const QByteArray cells = label(0, 0, u"名"_qs) + number(0, 1, 1.5);
    QTest::newRow("sound") << workbookStream(cells) << "ok:text:名|num:1.5";
    QTest::newRow("stale sheet offset: the sheets follow in order")
        << workbookStream(cells, {}, 6) << "ok:text:名|num:1.5";
    QTest::newRow("sheet offset past the end")
        << workbookStream(cells, {}, 1 << 20) << "ok:text:名|num:1.5";
    QTest::newRow("no BOF first") << QByteArray(eof() + workbookStream(cells))
                                  << "the workbook stream does not start with a BOF record";
    QTest::newRow("record longer than the stream")
        << QByteArray(workbookStream(cells) + record(0x0203, QByteArray(4, 'x')).left(6))
        << "a record runs past the end of the workbook stream";
    const QByteArray padding(4, '\0');
    QTest::newRow("padding records between records")
        << workbookStream(padding + label(0, 0, u"名"_qs) + padding + padding + number(0, 1, 1.5))
        << "ok:text:名|num:1.5";
    QTest::newRow("record longer than the stream after padding")
        << QByteArray(workbookStream(cells) + padding + record(0x0203, QByteArray(4, 'x')).left(6))
        << "a record runs past the end of the workbook stream";
    QTest::newRow("padding between a text formula and its text")
        << workbookStream(record(0x0406, u16(0) + u16(0) + u16(0) + QByteArray(6, '\0') +
                                             u16(0xFFFF) + QByteArray(9, '\0')) +
                          padding + record(0x0207, u16(2) + '\0' + "ab"))
        << "ok:text:ab";
    QTest::newRow("number cut short")
        << workbookStream(cell(0x0203, 0, 0, QByteArray(3, '\0'))) << "a number cell is cut short";
    QTest::newRow("shared string that does not exist")
        << workbookStream(cell(0x00FD, 0, 0, u32(7)))
        << "a text cell refers to a shared string that does not exist";
    QTest::newRow("text longer than its record")
        << workbookStream(cell(0x0204, 0, 0, u16(50) + '\x01' + "ab"))
        << "a string runs past the end of its record";
    QTest::newRow("MULRK past the last column")
        << workbookStream(
               record(0x00BD, u16(0) + u16(0xFFFF) + u16(0) + u32(2) + u16(0) + u32(2) + u16(0)))
        << "a row of numbers runs past the last column";
    QTest::newRow("sheet entry cut short")
        << QByteArray(bof(0x0005) + record(0x0085, u32(0)) + eof()) << "a sheet entry is cut short";
    QTest::newRow("shared string count lies")
        << workbookStream(cell(0x00FD, 0, 0, u32(0)),
                          record(0x00FC, u32(1) + u32(0xFFFFFFFF) + u16(1) + '\0' + 'a'))
        << "ok:text:a";
    QTest::newRow("cells in a nested substream are not the sheet's")
        << workbookStream(bof(0x0020) + number(0, 0, 9) + eof() + number(0, 1, 2)) << "ok:-|num:2";
    QTest::newRow("not a finite number")
        << workbookStream(number(0, 0, std::numeric_limits<double>::infinity()))
        << "ok:error:#NUM!";
}

void TestXlsReader::builtStreams() {
    QFETCH(QByteArray, stream);
    QFETCH(QString, result);
    XlsSheet read;
    const QString error = errorOf(
        [&] { read = readXlsSheet(biff::compoundFile(stream), u"/x/built.xls"_qs, u"sheet1"_qs); });
    if (!result.startsWith(u"ok:")) {
        QCOMPARE(error, u"The workbook \"/x/built.xls\" is damaged: "_qs + result);
        return;
    }
    QCOMPARE(error, QString());
    const QStringList cells = result.mid(3).split(u'|');
    for (int c = 0; c < cells.size(); ++c)
        QCOMPARE(describe(*read.sheet, 0, c), cells[c]);
}

// Cut and bit-flipped copies of real workbooks: each read gives a sheet or an error text, and
// always ends.
void TestXlsReader::damagedFilesNeverCrash_data() {
    QTest::addColumn<QString>("file");
    for (const char *f : {"xlwt-mixed.xls", "gnumeric-mixed.xls", "libreoffice-mixed.xls",
                          "crafted-biff8.xls", "crafted-biff5.xls", "gnumeric-biff7.xls"})
        QTest::newRow(f) << QString::fromLatin1(f);
}

void TestXlsReader::damagedFilesNeverCrash() {
    QFETCH(QString, file);
    const QByteArray original = readFile(fixture(file));
    QVERIFY(!original.isEmpty());
    QRandomGenerator rng(0x5eed + quint32(original.size()));
    int failures = 0;
    auto check = [&](const QByteArray &bytes) {
        try {
            readXlsSheet(bytes, u"damaged.xls"_qs, u"sheet1"_qs);
        } catch (const CommandError &e) {
            QVERIFY(!e.message().isEmpty());
            ++failures;
        }
    };
    for (int cut = 0; cut < original.size(); cut += 97)
        check(original.left(cut));
    for (int round = 0; round < 1000; ++round) {
        QByteArray bytes = original;
        const int flips = 1 + int(rng.bounded(8));
        for (int k = 0; k < flips; ++k) {
            const qsizetype at = qsizetype(rng.bounded(quint32(bytes.size())));
            bytes[at] = char(bytes[at] ^ (1 << rng.bounded(8)));
        }
        check(bytes);
    }
    // Header fields set to extremes: lengths, counts, offsets.
    for (qsizetype at = 512; at + 4 <= original.size() && at < 4096; at += 2) {
        QByteArray bytes = original;
        bytes[at] = '\xFF';
        bytes[at + 1] = '\xFF';
        check(bytes);
    }
    QVERIFY(failures > 0);
}

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
