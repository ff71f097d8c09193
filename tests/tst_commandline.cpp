// The command line as a script meets it: the built program started without a display, its exit
// status and messages, and the files it writes compared byte for byte with what the window's
// pages write for the same input.
#include "app/dialoghost.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "testsupport.h"
#include "zipreading.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void usage_data();
    void usage();
    void sameBytesAsWindow_data();
    void sameBytesAsWindow();
    void existingOutput_data();
    void existingOutput();
    void windowNeedsDisplay();
    void table_data();
    void table();
};

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// What a script run over ssh has: no display, no Qt platform, no session bus. The locale's
// decimal separator is "." unless numericLocale names another.
QProcessEnvironment displayless(const QString &numericLocale = QString()) {
    QProcessEnvironment env;
    env.insert(u"PATH"_qs, u"/usr/bin:/bin"_qs);
    env.insert(u"LANG"_qs, u"C.UTF-8"_qs);
    if (!numericLocale.isEmpty())
        env.insert(u"LC_NUMERIC"_qs, numericLocale);
    return env;
}

Run kmlmaker(const QStringList &args, const QProcessEnvironment &env = displayless()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KMLMAKER_PROGRAM), args);
    Run run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// The document a saved file holds: the file itself, or the one file of a KMZ archive (whose
// entry carries the time it was written).
QByteArray document(const QString &path) {
    const QByteArray bytes = readFile(path);
    return bytes.startsWith("PK\x03\x04") ? zipreading::onlyMember(path, u"doc.kml"_qs) : bytes;
}

const QByteArray WorkbookHint =
    "usage: kmlmaker workbook IN -o OUT.kml|OUT.kmz [--utf8] [--overwrite]\n";
const QByteArray TableHint =
    "usage: kmlmaker table IN -o OUT.kmz|OUT.kml [options] (kmlmaker --help lists them)\n";
const QByteArray GeneralHint =
    "usage: kmlmaker workbook|list|table IN -o OUT [options] (kmlmaker --help for more)\n";

enum class Page { Workbook, List };

} // namespace

Q_DECLARE_METATYPE(Page)

void TestCommandLine::initTestCase() {
    useTestLocale(); // the window's dates in the formats the program's are written in
}

void TestCommandLine::usage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("outStart");
    QTest::addColumn<QByteArray>("err");
    const QByteArray none;
    QTest::newRow("help") << QStringList{u"--help"_qs} << 0 << QByteArray("Usage:\n") << none;
    QTest::newRow("help after a command")
        << QStringList{u"table"_qs, u"-h"_qs} << 0 << QByteArray("Usage:\n") << none;
    QTest::newRow("version") << QStringList{u"--version"_qs} << 0 << QByteArray("kmlmaker 0.1\n")
                             << none;
    QTest::newRow("unknown command") << QStringList{u"book.xls"_qs} << 2 << none
                                     << "kmlmaker: unknown command 'book.xls'\n" + GeneralHint;
    QTest::newRow("unknown option first") << QStringList{u"--utf8"_qs} << 2 << none
                                          << "kmlmaker: unknown option '--utf8'\n" + GeneralHint;
    QTest::newRow("option of another command")
        << QStringList{u"workbook"_qs, u"b.xls"_qs, u"-o"_qs, u"o.kml"_qs, u"--sheet=x"_qs} << 2
        << none << "kmlmaker: unknown option '--sheet'\n" + WorkbookHint;
    QTest::newRow("missing -o") << QStringList{u"workbook"_qs, u"b.xls"_qs} << 2 << none
                                << "kmlmaker: missing -o OUT.kml or -o OUT.kmz\n" + WorkbookHint;
    QTest::newRow("-o without its value")
        << QStringList{u"workbook"_qs, u"b.xls"_qs, u"-o"_qs} << 2 << none
        << "kmlmaker: option '--output' needs a value\n" + WorkbookHint;
    QTest::newRow("missing input")
        << QStringList{u"list"_qs, u"-oout.kml"_qs} << 2 << none
        << QByteArray("kmlmaker: missing input file\n"
                      "usage: kmlmaker list IN.txt -o OUT.kml|OUT.kmz [--utf8] [--overwrite]\n");
    QTest::newRow("two inputs") << QStringList{u"workbook"_qs, u"a.xls"_qs, u"b.xls"_qs, u"-o"_qs,
                                               u"o.kml"_qs}
                                << 2 << none
                                << "kmlmaker: unexpected argument 'b.xls'\n" + WorkbookHint;
    QTest::newRow("switch with a value")
        << QStringList{u"workbook"_qs, u"a.xls"_qs, u"--output=o.kml"_qs, u"--utf8=yes"_qs} << 2
        << none << "kmlmaker: option '--utf8' takes no value\n" + WorkbookHint;
    QTest::newRow("option twice") << QStringList{u"workbook"_qs, u"a.xls"_qs,    u"-o"_qs,
                                                 u"o.kml"_qs,    u"--output"_qs, u"p.kml"_qs}
                                  << 2 << none
                                  << "kmlmaker: option '--output' given twice\n" + WorkbookHint;
    const QStringList table{u"table"_qs, u"/nonexistent/t.csv"_qs, u"-o"_qs, u"t.kmz"_qs};
    QTest::newRow("table, bad datum")
        << table + QStringList{u"--datum"_qs, u"nad27"_qs} << 2 << none
        << "kmlmaker: bad value 'nad27' for --datum: wgs84, gcj02 or bd09\n" + TableHint;
    QTest::newRow("table, bad order")
        << table + QStringList{u"--coords"_qs, u"C"_qs, u"--coords-order=x,y"_qs} << 2 << none
        << "kmlmaker: bad value 'x,y' for --coords-order: lat,lon or lon,lat\n" + TableHint;
    QTest::newRow("table, coordinates twice")
        << table + QStringList{u"--coords"_qs, u"C"_qs, u"--lon"_qs, u"A"_qs} << 2 << none
        << "kmlmaker: --coords cannot be given with --lon or --lat\n" + TableHint;
    QTest::newRow("table, longitude alone")
        << table + QStringList{u"--lon"_qs, u"经度"_qs} << 2 << none
        << "kmlmaker: --lon and --lat go together\n" + TableHint;
    QTest::newRow("table, order without coordinates")
        << table + QStringList{u"--coords-order"_qs, u"lon,lat"_qs} << 2 << none
        << "kmlmaker: --coords-order needs --coords\n" + TableHint;
    QTest::newRow("table, missing -o")
        << QStringList{u"table"_qs, u"t.csv"_qs} << 2 << none
        << "kmlmaker: missing -o OUT.kmz or -o OUT.kml\n" + TableHint;
    // Every option read, then the handler that stands in for the table engine.
    // Every option read and checked, the table opened: a missing one refused as the others are.
    const QByteArray missing(
        "kmlmaker: Cannot open the workbook \"/nonexistent/t.csv\": No such file or directory.\n");
    QTest::newRow("table, every option")
        << table + QStringList{u"--sheet"_qs,        u"Sheet2"_qs,
                               u"--coords"_qs,       u"位置"_qs,
                               u"--coords-order"_qs, u"lon,lat"_qs,
                               u"--name"_qs,         u"A"_qs,
                               u"--description"_qs,  u"B"_qs,
                               u"--category"_qs,     u"C"_qs,
                               u"--altitude"_qs,     u"D"_qs,
                               u"--time"_qs,         u"E"_qs,
                               u"--datum=GCJ02"_qs,  u"--no-extended-data"_qs,
                               u"--problems"_qs,     u"p.tsv"_qs,
                               u"--overwrite"_qs}
        << 1 << none << missing;
    QTest::newRow("table, roles without -o")
        << QStringList{u"table"_qs, u"/nonexistent/t.csv"_qs, u"--roles"_qs} << 1 << none
        << missing;
}

void TestCommandLine::usage() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, outStart);
    QFETCH(QByteArray, err);
    const Run run = kmlmaker(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.startsWith(outStart), run.out.constData());
    if (outStart.isEmpty())
        QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, err);
}

void TestCommandLine::sameBytesAsWindow_data() {
    QTest::addColumn<Page>("page");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("pair"); // the save dialog's: 1 KML, 2 UTF-8 KML, 3 KMZ
    QTest::addColumn<QString>("numericLocale");
    QTest::addColumn<QChar>("separator");
    const char *const books[] = {
        "xlwt-kinds.xls",         "xlwt-mixed.xls",          "xlwt-date1904.xls",
        "xlwt-heading-only.xls",  "xlwt-rows2000.xls",       "gnumeric-biff7.xls",
        "libreoffice-mixed.xls",  "xlsx/crafted-kinds.xlsx", "ods/libreoffice-kinds.ods",
        "xlwt-three-columns.xls", "xlwt-no-sheet1.xls",      "filepass.xls",
        "make-xlwt.py",           "no-such-book.xls"};
    for (const char *book : books) {
        const QString path = fixture(QString::fromLatin1(book));
        for (int pair : {1, 2, 3})
            QTest::addRow("%s, pair %d", book, pair)
                << Page::Workbook << path << pair << QString() << QChar(u'.');
    }
    QTest::newRow("decimal comma")
        << Page::Workbook << fixture(u"xlwt-kinds.xls"_qs) << 1 << u"de_DE.UTF-8"_qs << QChar(u',');
    const char *const lists[] = {"textlist-input.txt", "lists/gb18030.txt", "lists/utf16be.txt",
                                 "lists/controls.txt", "lists/empty.txt",   "no-such-list.txt"};
    for (const char *list : lists) {
        for (int pair : {1, 2, 3})
            QTest::addRow("%s, pair %d", list, pair)
                << Page::List << dataFile(QString::fromLatin1(list)) << pair << QString()
                << QChar(u'.');
    }
}

void TestCommandLine::sameBytesAsWindow() {
    QFETCH(Page, page);
    QFETCH(QString, input);
    QFETCH(int, pair);
    QFETCH(QString, numericLocale);
    QFETCH(QChar, separator);
    QTemporaryDir dir;
    const QString suffix = pair == 3 ? u".kmz"_qs : u".kml"_qs;
    const QString byWindow = dir.filePath(u"window"_qs + suffix);
    const QString byCommand = dir.filePath(u"command"_qs + suffix);

    FakeDialogHost host;
    TForm1 form(&host);
    form.setDecimalSeparator(separator);
    host.fileAnswers << input << byWindow;
    host.filterAnswers << 1 << pair;
    (page == Page::Workbook ? form.Button2 : form.OpenTxt)->click();
    (page == Page::Workbook ? form.Button3 : form.Button5)->click();

    QStringList args{page == Page::Workbook ? u"workbook"_qs : u"list"_qs, input, u"-o"_qs,
                     byCommand};
    if (pair == 2)
        args << u"--utf8"_qs;
    const Run run = kmlmaker(args, displayless(numericLocale));
    QCOMPARE(run.out, QByteArray());
    if (!host.errors.isEmpty()) {
        // The first error the window shows, from the open or the export, ends the command.
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, "kmlmaker: " + host.errors.first().toUtf8() + '\n');
        QVERIFY(!QFile::exists(byCommand));
        return;
    }
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.startsWith("kmlmaker: "));
    QVERIFY2(run.err.endsWith(QByteArray(" placemarks written to " + byCommand.toUtf8() +
                                         ", 0 rows left out, 0 warnings\n")),
             run.err.constData());
    if (pair == 3)
        QCOMPARE(document(byCommand), document(byWindow));
    else
        QCOMPARE(readFile(byCommand), readFile(byWindow));
}

void TestCommandLine::existingOutput_data() {
    QTest::addColumn<QString>("existing"); // "file", "dangling link" or none
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("new file") << QString() << false << 0;
    QTest::newRow("new file, --overwrite") << QString() << true << 0;
    QTest::newRow("existing file refused") << u"file"_qs << false << 1;
    QTest::newRow("existing file, --overwrite") << u"file"_qs << true << 0;
    QTest::newRow("link to nowhere refused") << u"dangling link"_qs << false << 1;
}

void TestCommandLine::existingOutput() {
    QFETCH(QString, existing);
    QFETCH(bool, overwrite);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString out = dir.filePath(u"out.kmz"_qs);
    const QByteArray old = "old content";
    if (existing == u"file")
        QVERIFY(writeFile(out, old));
    else if (existing == u"dangling link")
        QVERIFY(QFile::link(dir.filePath(u"gone.kmz"_qs), out));
    QStringList args{u"list"_qs, dataFile(u"textlist-input.txt"_qs), u"-o"_qs, out};
    if (overwrite)
        args << u"--overwrite"_qs;
    const Run run = kmlmaker(args);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0) {
        QCOMPARE(document(out), golden(u"textlist-input-utf8.kml"_qs));
        return;
    }
    QCOMPARE(run.err, "kmlmaker: The file \"" + native(out).toUtf8() +
                          "\" already exists; give --overwrite to replace it.\n");
    if (existing == u"file")
        QCOMPARE(readFile(out), old);
    else
        QVERIFY(!QFile::exists(dir.filePath(u"gone.kmz"_qs)));
}

// The environment the command runs in has no display indeed: the window cannot start in it.
void TestCommandLine::windowNeedsDisplay() {
    QProcess p;
    p.setProcessEnvironment(displayless());
    p.start(QStringLiteral(KMLMAKER_PROGRAM), QStringList());
    QVERIFY(p.waitForStarted());
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        QFAIL("the window started without a display");
    }
    QVERIFY(p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0);
}

// The table command over a table as people make one: a title row, Chinese headings in their own
// order, degrees-minutes-seconds with hemispheres, GCJ-02 coordinates, a category, a bad row and
// a repeated place.
void TestCommandLine::table_data() {
    QTest::addColumn<QStringList>("args"); // OUT and PROBLEMS stand for files in a fresh folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QByteArray>("problems"); // the problems file as written
    const QString stations = dataFile(u"table/stations.csv"_qs);
    QTest::newRow("a KMZ and its problems")
        << QStringList{u"table"_qs,   stations,    u"-o"_qs,         u"OUT.kmz"_qs,
                       u"--datum"_qs, u"gcj02"_qs, u"--problems"_qs, u"PROBLEMS"_qs}
        << 0 << QByteArray()
        << QByteArray("kmlmaker: 4 placemarks written to OUT.kmz, 1 rows left out, 1 warnings\n")
        << QByteArray("6\t纬度\t超出范围\t北纬91度\n"
                      "7\t经度\t重复坐标（同第4行）\t121°29′E\n");
    QTest::newRow("the roles") << QStringList{u"table"_qs, stations, u"--roles"_qs} << 0
                               << QByteArray(
                                      "longitude\tD\t经度\nlatitude\tC\t纬度\nname\tB\t站名\n"
                                      "description\tF\t备注\ncategory\tA\t类别\naltitude\tE\t海拔\n"
                                      "extended data\tG\t人口\n")
                               << QByteArray() << QByteArray();
    QTest::newRow("roles given by letter and heading")
        << QStringList{u"table"_qs, stations,         u"--roles"_qs, u"--name"_qs,
                       u"A"_qs,     u"--category"_qs, u"站名"_qs}
        << 0
        << QByteArray("longitude\tD\t经度\nlatitude\tC\t纬度\nname\tA\t类别\n"
                      "description\tF\t备注\ncategory\tB\t站名\naltitude\tE\t海拔\n"
                      "extended data\tG\t人口\n")
        << QByteArray() << QByteArray();
    QTest::newRow("no column of that name")
        << QStringList{u"table"_qs, stations, u"-o"_qs, u"OUT.kml"_qs, u"--name"_qs, u"名"_qs} << 1
        << QByteArray() << QByteArray("kmlmaker: The table has no column \"名\" (--name)\n")
        << QByteArray();
    QTest::newRow("no coordinates")
        << QStringList{u"table"_qs, dataFile(u"table/no-coordinates.csv"_qs), u"-o"_qs,
                       u"OUT.kml"_qs}
        << 1 << QByteArray() << QByteArray("kmlmaker: 找不到经纬度列.\n") << QByteArray();
}

void TestCommandLine::table() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, problems);
    QTemporaryDir dir;
    QProcessEnvironment env = displayless();
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(KMLMAKER_PROGRAM), args.replaceInStrings(u"PROBLEMS"_qs, u"p.tsv"_qs));
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.readAllStandardError(), err);
    QCOMPARE(p.readAllStandardOutput(), out);
    QCOMPARE(p.exitCode(), exitCode);
    if (!problems.isEmpty())
        QCOMPARE(readFile(dir.filePath(u"p.tsv"_qs)), problems);
    if (exitCode == 0 && args.contains(u"OUT.kmz"_qs)) {
        const QByteArray kml = document(dir.filePath(u"OUT.kmz"_qs));
        QVERIFY(kml.contains("<name>stations.csv</name>"));
        // Beijing's GCJ-02 point taken to WGS-84, some 600 m from where it is written.
        QVERIFY2(kml.contains("<coordinates>116.3857071579"), kml.constData());
    }
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
