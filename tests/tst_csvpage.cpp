// Delimited text on the workbook page: a .csv (UTF-8 with a mark, commas) and a .tsv (UTF-16
// with a mark, tabs) open into the grid and export the same KML; an edit, an insert and a
// delete each change only the bytes of the records they touch.
#include "app/dbgrid.h"
#include "app/dbnavigator.h"
#include "app/unit1.h"
#include "querytesting.h"
#include "testsupport.h"
#include "workbookpagetesting.h"

#include <QLineEdit>
#include <QTest>

using namespace testsupport;
using namespace workbookpagetesting;

namespace {

// The text in the fixture's encoding.
QByteArray encoded(const QString &text, bool utf16) {
    if (!utf16)
        return text.toUtf8();
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

class TestCsvPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void opensEditsAndExports_data();
    void opensEditsAndExports();
};

void TestCsvPage::opensEditsAndExports_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<bool>("utf16");
    QTest::newRow("csv, UTF-8") << "points.csv"
                                << "," << false;
    QTest::newRow("tsv, UTF-16") << "points.tsv"
                                 << "\t" << true;
}

void TestCsvPage::opensEditsAndExports() {
    QFETCH(QString, file);
    QFETCH(QString, delimiter);
    QFETCH(bool, utf16);
    Page p;
    const QString path = p.openCopy(u"csv/"_qs + file, file);
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 3);
    QCOMPARE(p.form.DBEdit3->text(), u"紫禁城"_qs);
    QVERIFY(!p.form.DBEdit3->isReadOnly());

    const QString kml = p.dir.filePath(u"out.kml"_qs);
    p.host.fileAnswers << kml;
    p.form.Button3->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(readFile(kml), golden(u"workbook-csv.kml"_qs));

    // An edit of the first record's name.
    QByteArray expected = readFile(path);
    p.form.DBNavigator1->button(NavigateButton::First)->click();
    p.form.DBEdit3->selectAll();
    type(p.form.DBEdit3, u"故宫"_qs);
    p.form.DBNavigator1->button(NavigateButton::Post)->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    expected.replace(encoded(u"紫禁城"_qs, utf16), encoded(u"故宫"_qs, utf16));
    QCOMPARE(readFile(path), expected);

    // An insert, after the last record.
    p.form.DBNavigator1->button(NavigateButton::Insert)->click();
    type(p.form.DBEdit1, u"120.5"_qs);
    type(p.form.DBEdit2, u"30.25"_qs);
    type(p.form.DBEdit3, u"新点"_qs);
    p.form.DBNavigator1->button(NavigateButton::Post)->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    expected += encoded(
        QStringList{u"120.5"_qs, u"30.25"_qs, u"新点"_qs}.join(delimiter) + u"\r\n"_qs, utf16);
    QCOMPARE(readFile(path), expected);
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 4);

    // A delete of the second record, 上海浦东, whose description is quoted.
    TDBGrid *grid = p.form.DBGrid1;
    grid->setCurrentIndex(grid->model()->index(1, 1));
    p.host.confirmAnswers << true;
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    const QString second = QStringList{u"121.4997"_qs, u"31.2397"_qs, u"上海浦东"_qs,
                                       u"\"a \"\"quoted\"\" word, and a comma\""_qs}
                               .join(delimiter) +
                           u"\r\n"_qs;
    QVERIFY(expected.contains(encoded(second, utf16)));
    expected.replace(encoded(second, utf16), QByteArray());
    QCOMPARE(readFile(path), expected);
    QCOMPARE(querytesting::recordsInFile(path).size(), 3);
}

QTEST_MAIN(TestCsvPage)
#include "tst_csvpage.moc"
