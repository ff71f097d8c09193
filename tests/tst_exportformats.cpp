// The save dialog's three filter pairs through the window: each export writes the kind of file
// of the pair the user chose, a name ending in ".kmz" always a KMZ, and the dialog shows the
// last pair chosen.
#include "app/dialoghost.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "testsupport.h"
#include "zipreading.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestExportFormats : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void exports_data();
    void exports();
    void dialogShowsLastPair();
    void defaultSuffixFollowsPair_data();
    void defaultSuffixFollowsPair();
};

namespace {

// The document a saved file holds: the file itself, or the one file of a KMZ archive.
QByteArray document(const QString &path) {
    const QByteArray bytes = readFile(path);
    return bytes.startsWith("PK\x03\x04") ? zipreading::onlyMember(path, u"doc.kml"_qs) : bytes;
}

enum class Export { Single, Workbook, TextList, TextFile };

} // namespace

Q_DECLARE_METATYPE(Export)

void TestExportFormats::initTestCase() {
    useTestLocale(); // the dates of the workbook fixture, as in its golden file
}

void TestExportFormats::exports_data() {
    QTest::addColumn<Export>("which");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pair");
    QTest::addColumn<bool>("kmz");
    QTest::addColumn<QString>("goldenFile");
    const struct {
        const char *title;
        Export which;
        const char *golden;
    } exports[] = {{"one point", Export::Single, "single-notice"},
                   {"workbook", Export::Workbook, "workbook-kinds"},
                   {"text list", Export::TextList, "textlist-sample"},
                   {"text file", Export::TextFile, "textlist-input"}};
    for (const auto &e : exports) {
        const QString utf16 = QString::fromLatin1(e.golden) + u".kml";
        const QString utf8 = QString::fromLatin1(e.golden) + u"-utf8.kml";
        QTest::addRow("%s, KML", e.title) << e.which << "out.kml" << 1 << false << utf16;
        QTest::addRow("%s, UTF-8 KML", e.title) << e.which << "out.kml" << 2 << false << utf8;
        QTest::addRow("%s, KMZ", e.title) << e.which << "out.kmz" << 3 << true << utf8;
        QTest::addRow("%s, .kmz with the first pair", e.title)
            << e.which << "out.KMZ" << 1 << true << utf8;
    }
}

void TestExportFormats::exports() {
    QFETCH(Export, which);
    QFETCH(QString, name);
    QFETCH(int, pair);
    QFETCH(bool, kmz);
    QFETCH(QString, goldenFile);
    FakeDialogHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QPushButton *button = form.Button5;
    if (which == Export::Single) {
        form.long_->setText(u"116.3920388"_qs);
        form.lat->setText(u"39.91120332"_qs);
        button = form.Button1;
    } else if (which == Export::Workbook) {
        const QString book = dir.filePath(u"book.xls"_qs);
        QVERIFY(QFile::copy(fixture(u"xlwt-kinds.xls"_qs), book));
        QFile::setPermissions(book, QFile::ReadOwner | QFile::WriteOwner);
        host.fileAnswers << book;
        host.filterAnswers << 1;
        form.Button2->click();
        button = form.Button3;
    } else if (which == Export::TextFile) {
        host.fileAnswers << dataFile(u"textlist-input.txt"_qs);
        form.OpenTxt->click();
    }
    host.fileAnswers << path;
    host.filterAnswers << pair;
    button->click();
    QVERIFY2(host.errors.isEmpty(), qPrintable(host.errors.join(u'\n')));
    QCOMPARE(form.SaveDialog1.FilterIndex, pair);
    QCOMPARE(readFile(path).startsWith("PK\x03\x04"), kmz);
    QCOMPARE(document(path), golden(goldenFile));
    if (kmz && zipreading::unzipAvailable())
        QCOMPARE(zipreading::unzipTest(path), QString());
}

// Like the name, the pair chosen last is what the dialog shows next; a cancel keeps both.
void TestExportFormats::dialogShowsLastPair() {
    FakeDialogHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    QCOMPARE(form.SaveDialog1.FilterIndex, 1);
    QCOMPARE(form.SaveDialog1.DefaultExt, u"*.kml"_qs);
    host.fileAnswers << dir.filePath(u"a.kmz"_qs) << QString() << dir.filePath(u"b.kml"_qs);
    host.filterAnswers << 3 << 2;
    form.Button5->click();
    QCOMPARE(host.fileRequests[0].filterIndex, 1);
    form.Button5->click(); // cancelled
    QCOMPARE(host.fileRequests[1].filterIndex, 3);
    QCOMPARE(form.SaveDialog1.FilterIndex, 3);
    QCOMPARE(form.SaveDialog1.FileName, dir.filePath(u"a.kmz"_qs));
    form.Button5->click();
    QCOMPARE(host.fileRequests[2].filterIndex, 3);
    QCOMPARE(form.SaveDialog1.FilterIndex, 2);
    QCOMPARE(document(dir.filePath(u"b.kml"_qs)), golden(u"textlist-sample-utf8.kml"_qs));
    QVERIFY(host.errors.isEmpty());
}

void TestExportFormats::defaultSuffixFollowsPair_data() {
    QTest::addColumn<QString>("defaultExt");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("pair");
    QTest::addColumn<QString>("suffix");
    const QString save =
        u"KML file(*.kml)|*.kml|KML file, UTF-8(*.kml)|*.kml|KMZ file(*.kmz)|*.kmz"_qs;
    QTest::newRow("KML") << "*.kml" << save << 1 << "kml";
    QTest::newRow("UTF-8 KML") << "*.kml" << save << 2 << "kml";
    QTest::newRow("KMZ") << "*.kml" << save << 3 << "kmz";
    QTest::newRow("no such pair") << "*.kml" << save << 4 << "kml";
    QTest::newRow("a pattern of several") << "*.txt"
                                          << "Text|*.txt;*.csv|Any|*" << 2 << "txt";
    QTest::newRow("no default extension") << "" << save << 3 << "";
}

void TestExportFormats::defaultSuffixFollowsPair() {
    QFETCH(QString, defaultExt);
    QFETCH(QString, filter);
    QFETCH(int, pair);
    QFETCH(QString, suffix);
    FileDialogRequest request;
    request.kind = FileDialogKind::Save;
    request.filter = filter;
    request.defaultExt = defaultExt;
    QCOMPARE(defaultSuffix(request, pair), suffix);
}

QTEST_MAIN(TestExportFormats)
#include "tst_exportformats.moc"
