// The text-list commands without the window: cutting lines, line breaks, reading text files in
// their encodings, the error paths, and the folder document of a list.
#include "common/commanderror.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "sources/textlist.h"
#include "testsupport.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestTextList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cutLine_data();
    void cutLine();
    void lines_data();
    void lines();
    void breaksAtEveryOffset_data();
    void breaksAtEveryOffset();
    void lineFeeds_data();
    void lineFeeds();
    void decode_data();
    void decode();
    void readFileBreaksAndMark();
    void readFileErrors_data();
    void readFileErrors();
    void capacity_data();
    void capacity();
    void documents_data();
    void documents();
    void longDescriptionWhole();
};

namespace {

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes) {
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

QStringList linesOf(const QString &text) {
    QStringList lines;
    textlist::forEachLine(text, [&](QStringView line) { lines << line.toString(); });
    return lines;
}

QByteArray encoded(const QString &text, QStringEncoder::Encoding encoding) {
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

// 紫禁城(116.39,39.91)宫殿 in GB18030, as a Chinese Windows program saves it.
const QByteArray Gb18030Line("\xD7\xCF\xBD\xFB\xB3\xC7(116.39,39.91)\xB9\xAC\xB5\xEE");
const QString Gb18030Text = QStringLiteral("紫禁城(116.39,39.91)宫殿");

} // namespace

void TestTextList::cutLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("description");

    QTest::newRow("sample line")
        << u"紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市"_qs << u"紫禁城"_qs
        << u"116.3920388"_qs << u"39.91120332"_qs << u"中国古代帝王宫殿，位于中国北京市"_qs;
    QTest::newRow("no description") << "A(1,2)"
                                    << "A"
                                    << "1"
                                    << "2"
                                    << "";
    QTest::newRow("no name") << "(1,2)x"
                             << ""
                             << "1"
                             << "2"
                             << "x";
    QTest::newRow("empty line") << ""
                                << ""
                                << ""
                                << ""
                                << "";
    QTest::newRow("no separator keeps the whole line") << "hello"
                                                       << ""
                                                       << ""
                                                       << ""
                                                       << "hello";
    QTest::newRow("one character") << "h"
                                   << ""
                                   << ""
                                   << ""
                                   << "h";
    QTest::newRow("no closing parenthesis keeps the whole line") << "a(1,2"
                                                                 << "a"
                                                                 << "1"
                                                                 << ""
                                                                 << "a(1,2";
    QTest::newRow("no comma") << "n(1;2)d"
                              << "n"
                              << ""
                              << "n(1;2"
                              << "d";
    QTest::newRow("comma in the name") << "a,b(1,2)c"
                                       << "a,b"
                                       << ""
                                       << "b(1,2"
                                       << "c";
    QTest::newRow("closing before opening") << "x)y(1,2"
                                            << "x)y"
                                            << "1"
                                            << ""
                                            << "y(1,2";
    QTest::newRow("later parentheses belong to the description") << "a(1,2)b(3,4)"
                                                                 << "a"
                                                                 << "1"
                                                                 << "2"
                                                                 << "b(3,4)";
    QTest::newRow("blanks are copied") << " 名 ( 1.5 , 2.5 ) d "
                                       << " 名 "
                                       << " 1.5 "
                                       << " 2.5 "
                                       << " d ";
    QTest::newRow("full-width separators are text") << u"点（1，2）说明"_qs << ""
                                                    << ""
                                                    << "" << u"点（1，2）说明"_qs;
    QTest::newRow("coordinates are not checked") << "p(east,north)"
                                                 << "p"
                                                 << "east"
                                                 << "north"
                                                 << "";
    QTest::newRow("characters beyond the BMP")
        << u"\U0001F30F(1,2)\U0001F30D"_qs << u"\U0001F30F"_qs << "1"
        << "2" << u"\U0001F30D"_qs;
}

void TestTextList::cutLine() {
    QFETCH(QString, line);
    const textlist::Pieces p = textlist::cutLine(line);
    QTEST(p.name.toString(), "name");
    QTEST(p.longitude.toString(), "longitude");
    QTEST(p.latitude.toString(), "latitude");
    QTEST(p.description.toString(), "description");
}

void TestTextList::lines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("LF") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("CR") << "a\rb\r" << QStringList{"a", "b"};
    QTest::newRow("LF CR is two breaks") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("CR CR LF") << "a\r\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("no final break") << "a\nb" << QStringList{"a", "b"};
    QTest::newRow("final empty line is not a record") << "a\n" << QStringList{"a"};
    QTest::newRow("empty line in the middle is") << "a\n\nb" << QStringList{"a", "", "b"};
    QTest::newRow("two final breaks") << "a\n\n" << QStringList{"a", ""};
    QTest::newRow("only a break") << "\n" << QStringList{""};
    QTest::newRow("empty list") << "" << QStringList{};
    QTest::newRow("text box paragraphs") << u"a\u2029\u2029b\u2029"_qs << QStringList{"a", "", "b"};
    QTest::newRow("text box line separator") << u"a\u2028b"_qs << QStringList{"a", "b"};
    QTest::newRow("other control characters are text")
        << "a\tb\x0b\x0c" << QStringList{"a\tb\x0b\x0c"};
}

void TestTextList::lines() {
    QFETCH(QString, text);
    QTEST(linesOf(text), "lines");
}

void TestTextList::breaksAtEveryOffset_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("breaks"); // how many line ends the separator makes
    QTest::newRow("LF") << "\n" << 1;
    QTest::newRow("CR") << "\r" << 1;
    QTest::newRow("CR LF") << "\r\n" << 1;
    QTest::newRow("LF CR") << "\n\r" << 2;
    QTest::newRow("paragraph separator") << u"\u2029"_qs << 1;
    QTest::newRow("line separator") << u"\u2028"_qs << 1;
    QTest::newRow("tab is text") << "\t" << 0;
    QTest::newRow("U+202A is text") << u"\u202A"_qs << 0;
    QTest::newRow("U+2027 is text") << u"\u2027"_qs << 0;
}

// Long lines are scanned in blocks: a break must be found wherever it falls in a block.
void TestTextList::breaksAtEveryOffset() {
    QFETCH(QString, separator);
    QFETCH(int, breaks);
    for (int k = 0; k <= 40; ++k) {
        const QString before(k, u'甲');
        const QString after(40 - k, u'乙');
        const QStringList lines = linesOf(before + separator + after);
        QStringList expected{before};
        for (int b = 1; b < breaks; ++b)
            expected << QString();
        expected << after;
        if (breaks == 0)
            expected = QStringList{before + separator + after};
        if (after.isEmpty() && breaks > 0)
            expected.removeLast(); // a final break ends the list
        QCOMPARE(lines, expected);
    }
}

void TestTextList::lineFeeds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("CR LF") << "a\r\nb\r\n"
                           << "a\nb\n";
    QTest::newRow("lone CR") << "a\rb"
                             << "a\nb";
    QTest::newRow("LF CR") << "a\n\rb"
                           << "a\n\nb";
    QTest::newRow("CR CR LF") << "\r\r\n"
                              << "\n\n";
    QTest::newRow("LF only, unchanged") << "a\n\nb"
                                        << "a\n\nb";
}

void TestTextList::lineFeeds() {
    QFETCH(QString, text);
    QFETCH(QString, loaded);
    const QString result = textlist::withLineFeeds(text);
    QCOMPARE(result, loaded);
    // Loading keeps the lines: the loaded text cuts into the same lines as the file's.
    QCOMPARE(linesOf(result), linesOf(text));
}

void TestTextList::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("codeset");
    QTest::addColumn<QString>("text");

    const QString sample = u"紫禁城(116.3920388,39.91120332)宫殿\r\nA(1,2)"_qs;
    const QByteArray utf8 = sample.toUtf8();
    QTest::newRow("UTF-8 without mark") << utf8 << QByteArray("UTF-8") << sample;
    QTest::newRow("UTF-8 under the C locale") << utf8 << QByteArray("ANSI_X3.4-1968") << sample;
    QTest::newRow("UTF-8 mark, removed") << "\xEF\xBB\xBF" + utf8 << QByteArray("UTF-8") << sample;
    QTest::newRow("UTF-8 mark wins over the locale")
        << "\xEF\xBB\xBF" + utf8 << QByteArray("GB18030") << sample;
    QTest::newRow("UTF-16LE mark, loaded whole")
        << "\xFF\xFE" + encoded(sample, QStringEncoder::Utf16LE) << QByteArray("UTF-8") << sample;
    QTest::newRow("UTF-16BE mark, loaded whole")
        << "\xFE\xFF" + encoded(sample, QStringEncoder::Utf16BE) << QByteArray("GB18030") << sample;
    QTest::newRow("GB18030 under a UTF-8 locale")
        << Gb18030Line << QByteArray("UTF-8") << Gb18030Text;
    QTest::newRow("GB18030 under a GB18030 locale")
        << Gb18030Line << QByteArray("GB18030") << Gb18030Text;
    QTest::newRow("GBK locale") << Gb18030Line << QByteArray("GBK") << Gb18030Text;
    QTest::newRow("Latin-1 locale")
        << QByteArray("caf\xE9") << QByteArray("ISO-8859-1") << u"café"_qs;
    QTest::newRow("unknown code set reads UTF-8")
        << utf8 << QByteArray("NO-SUCH-CODESET") << sample;
    QTest::newRow("byte GB18030 lacks") << QByteArray("a\xFF"
                                                      "b")
                                        << QByteArray("UTF-8") << u"a\uFFFDb"_qs;
    QTest::newRow("zero byte ends the text")
        << QByteArray("ab\0cd", 5) << QByteArray("UTF-8") << "ab";
    QTest::newRow("zero byte ends the text before the UTF-8 check")
        << u"名"_qs.toUtf8() + QByteArray("\0\xD6\xD0", 3) << QByteArray("UTF-8") << u"名"_qs;
    QTest::newRow("zero byte after a UTF-8 mark") << QByteArray("\xEF\xBB\xBF"
                                                                "a\0b",
                                                                6)
                                                  << QByteArray("UTF-8") << "a";
    QTest::newRow("zero character ends UTF-16 text") << QByteArray("\xFF\xFE"
                                                                   "a\0\0\0b\0",
                                                                   8)
                                                     << QByteArray("UTF-8") << "a";
    QTest::newRow("mark alone") << QByteArray("\xFF\xFE") << QByteArray("UTF-8") << "";
    QTest::newRow("empty file") << QByteArray() << QByteArray("UTF-8") << "";
}

void TestTextList::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, codeset);
    QTEST(textlist::decode(bytes, codeset), "text");
}

void TestTextList::readFileBreaksAndMark() {
    QTemporaryDir dir;
    const QByteArray bytes =
        "\xFF\xFE" + encoded(u"甲(1,2)\r\n乙(3,4)\n\r丙\r"_qs, QStringEncoder::Utf16LE);
    const QString text = textlist::readFile(writeFile(dir, bytes), "UTF-8");
    QCOMPARE(text, u"甲(1,2)\n乙(3,4)\n\n丙\n"_qs);
    QCOMPARE(linesOf(text), (QStringList{u"甲(1,2)"_qs, u"乙(3,4)"_qs, "", u"丙"_qs}));
}

void TestTextList::readFileErrors_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << "nothing.txt"
                                  << "No such file or directory";
    QTest::newRow("missing folder") << "no/such/list.txt"
                                    << "No such file or directory";
    QTest::newRow("a folder") << "sub"
                              << "Is a directory";
    QTest::newRow("a file taken for a folder") << "list.txt/x.txt"
                                               << "Not a directory";
}

void TestTextList::readFileErrors() {
    QFETCH(QString, relative);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    writeFile(dir, "a(1,2)");
    const QString path = dir.filePath(relative);
    QCOMPARE(errorOf([&] { textlist::readFile(path, "UTF-8"); }),
             u"Cannot open file \"%1\". %2"_qs.arg(path, reason));
}

void TestTextList::capacity_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("capacity");
    QTest::addColumn<bool>("fits");
    QTest::newRow("exactly full") << QByteArray("0123456789") << qsizetype(10) << true;
    QTest::newRow("one over") << QByteArray("0123456789a") << qsizetype(10) << false;
    QTest::newRow("counted after CR LF becomes one break")
        << QByteArray("0123\r\n4567\r\n") << qsizetype(10) << true;
    QTest::newRow("counted in characters, not bytes")
        << u"一二三四五六七八九十"_qs.toUtf8() << qsizetype(10) << true;
    QTest::newRow("UTF-16 counted in code units")
        << "\xFF\xFE" + encoded(u"0123456789a"_qs, QStringEncoder::Utf16LE) << qsizetype(10)
        << false;
    QTest::newRow("far too long, reading stops")
        << QByteArray(100000, 'x') << qsizetype(10) << false;
    QTest::newRow("zero byte before the limit")
        << QByteArray("ab\0", 3) + QByteArray(1000, 'x') << qsizetype(10) << true;
}

void TestTextList::capacity() {
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, capacity);
    QFETCH(bool, fits);
    QTemporaryDir dir;
    const QString path = writeFile(dir, bytes);
    QCOMPARE(errorOf([&] { textlist::readFile(path, "UTF-8", capacity); }),
             fits ? QString() : u"Text exceeds memo capacity"_qs);
}

void TestTextList::documents_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("goldenFile");
    QTest::newRow("the two sample lines")
        << u"紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市\n"
           "上海浦东(121.4965666,31.23973873)新兴的中国大都市，位于中国上海市"_qs
        << "textlist-sample.kml";
    QTest::newRow("empty list") << ""
                                << "folder-empty.kml";
}

void TestTextList::documents() {
    QFETCH(QString, list);
    QFETCH(QString, goldenFile);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    KmlBuffer buffer;
    buffer.Add(QStringLiteral("Memo2"));
    textlist::exportTo(buffer, path, KmlFileFormat::Utf16, list);
    QCOMPARE(readFile(path), golden(goldenFile));
    QCOMPARE(buffer.bytes(), readFile(path));
}

void TestTextList::longDescriptionWhole() {
    // Longer than the chunk the file is written through.
    const QString description = u"长描述<b>粗</b>"_qs.repeated(70000) + u"末";
    KmlBuffer buffer;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.kml"));
    textlist::exportTo(buffer, path, KmlFileFormat::Utf16,
                       QString(u"名(1,2)" + description + u"\n下(3,4)"));
    QCOMPARE(buffer.count(), 5);
    QCOMPARE(buffer.entries()[2], kml::folderPlacemarkEntry(description, u"名"_qs, "1", "2"));
    QCOMPARE(buffer.entries()[3], kml::folderPlacemarkEntry("", u"下"_qs, "3", "4"));
    QCOMPARE(readFile(path), buffer.bytes());
}

QTEST_GUILESS_MAIN(TestTextList)
#include "tst_textlist.moc"
