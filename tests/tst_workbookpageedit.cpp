// Editing on the workbook page: typing into the grid and the bound boxes, Insert, Ctrl+Delete,
// Down past the last row, the navigator in each state, read-only workbooks, refused posts, and
// a pending edit settled before another workbook opens and before the window closes.
#include "app/datasource.h"
#include "app/dbgrid.h"
#include "app/dbnavigator.h"
#include "app/querymodel.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "querytesting.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "testsupport.h"
#include "workbook/xls/xlswriter.h"
#include "workbookpagetesting.h"

#include "common/numtext.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <clocale>

using namespace testsupport;

class TestWorkbookPageEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void typingIntoTheGridThenPost();
    void typingIntoAnEmptySheetInserts();
    void ctrlDelete_data();
    void ctrlDelete();
    void downPastTheLastRowAppends();
    void insertKeyAndEscape();
    void navigatorInEachState();
    void readOnlyWorkbook();
    void refusalKeepsTheEdit();
    void pendingEditBeforeOpenAndClose();
};

using namespace querytesting;
using namespace workbookpagetesting;

void TestWorkbookPageEdit::initTestCase() {
    useTestLocale();
}

void TestWorkbookPageEdit::typingIntoTheGridThenPost() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    TDBGrid *grid = p.form.DBGrid1;
    grid->setCurrentIndex(grid->model()->index(2, 2));
    type(grid, u"新"_qs); // the first key opens the cell's editor with it
    QWidget *editor = grid->indexWidget(grid->currentIndex());
    QVERIFY(editor);
    type(editor, u"名字"_qs);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Edit);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"xxxxx-xxx"_qs);
    QTest::keyClick(editor, Qt::Key_Return); // the cell is committed from the event loop
    QTRY_COMPARE(grid->model()->index(2, 2).data().toString(), u"新名字"_qs);
    QCOMPARE(p.form.DBEdit3->text(), u"新名字"_qs);
    QCOMPARE(recordsInFile(book)[2][2], u"A&B"_qs); // not posted yet

    // A number typed into a number column is written as a number; the post button posts the
    // cell still open in its editor too.
    grid->setCurrentIndex(grid->model()->index(2, 0));
    type(grid, u"9"_qs);
    type(grid->indexWidget(grid->currentIndex()), u"8.5"_qs);
    p.form.DBNavigator1->button(NavigateButton::Post)->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QVERIFY(!grid->indexWidget(grid->currentIndex()));
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"xxxxxx--x"_qs);
    QCOMPARE(recordsInFile(book)[2].mid(0, 3),
             (QStringList{u"98.5"_qs, u"-33.5"_qs, u"新名字"_qs}));
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, book);
    QCOMPARE(fresh.fieldCell(2, 0)->kind, workbook::CellKind::Number);
}

// On a sheet without records, typing into a box inserts the first record and keeps what was
// typed.
void TestWorkbookPageEdit::typingIntoAnEmptySheetInserts() {
    Page p;
    const QString book = p.openCopy(u"xlwt-heading-only.xls"_qs);
    QVERIFY(!p.form.DBEdit1->isReadOnly());
    type(p.form.DBEdit1, u"116.5"_qs);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Insert);
    QCOMPARE(p.form.DBEdit1->text(), u"116.5"_qs);
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 1);
    type(p.form.DBEdit3, u"第一"_qs);
    p.form.DBNavigator1->button(NavigateButton::Post)->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(recordsInFile(book), (QList<QStringList>{{u"116.5"_qs, "", u"第一"_qs, ""}}));
    QCOMPARE(p.form.DBGrid1->model()->index(0, 2).data().toString(), u"第一"_qs);
}

void TestWorkbookPageEdit::ctrlDelete_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("error");
    QTest::newRow("OK deletes") << "xlwt-plain.xls" << true << QString();
    QTest::newRow("Cancel keeps") << "xlwt-plain.xls" << false << QString();
    QTest::newRow("refused where formulas refer to rows")
        << "xlwt-mixed.xls" << true
        << "Rows of sheet1 cannot be deleted while formulas on sheet1 and formulas on sheet Refs "
           "refer to row positions; clear the row's cells instead.";
}

void TestWorkbookPageEdit::ctrlDelete() {
    QFETCH(QString, file);
    QFETCH(bool, answer);
    QFETCH(QString, error);
    Page p;
    const QString book = p.openCopy(file);
    QList<QStringList> expected = recordsInFile(book);
    const QByteArray before = readFile(book);
    TDBGrid *grid = p.form.DBGrid1;
    grid->setCurrentIndex(grid->model()->index(1, 1));
    p.host.confirmAnswers << answer;
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(p.host.questions, QStringList{u"Delete record?"_qs});
    QCOMPARE(p.host.errors, error.isEmpty() ? QStringList() : QStringList{error});
    if (error.isEmpty())
        QCOMPARE(p.host.lastCaption, u"Confirm"_qs);
    if (answer && error.isEmpty()) {
        expected.removeAt(1);
        QCOMPARE(recordsInFile(book), expected);
    } else {
        QCOMPARE(readFile(book), before);
    }
    QCOMPARE(grid->model()->rowCount(), expected.size());
    QCOMPARE(p.form.detailCore->RecNo(), 1);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(p.form.DBEdit3->text(), expected[1][2]);
}

void TestWorkbookPageEdit::downPastTheLastRowAppends() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    TDBGrid *grid = p.form.DBGrid1;
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Insert);
    QCOMPARE(grid->model()->rowCount(), 5);
    QCOMPARE(grid->currentIndex().row(), 4);
    QCOMPARE(p.verticalIndicatorRow(), 4);
    QCOMPARE(p.form.DBEdit3->text(), QString());
    // Down again on the blank record waits for typing; Up drops it.
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->model()->rowCount(), 5);
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->currentIndex().row(), 3);

    QTest::keyClick(grid, Qt::Key_Down);
    grid->setCurrentIndex(grid->model()->index(4, 2));
    type(grid, u"新"_qs);
    QTest::keyClick(grid->indexWidget(grid->currentIndex()), Qt::Key_Down);
    // The record is posted, and Down past it appends the next.
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Insert);
    QCOMPARE(grid->model()->rowCount(), 6);
    QCOMPARE(grid->currentIndex().row(), 5);
    QCOMPARE(recordsInFile(book).size(), 5);
    QCOMPARE(recordsInFile(book)[4][2], u"新"_qs);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QCOMPARE(grid->model()->rowCount(), 5);
    QCOMPARE(grid->currentIndex().row(), 0);
}

void TestWorkbookPageEdit::insertKeyAndEscape() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    const QByteArray before = readFile(book);
    TDBGrid *grid = p.form.DBGrid1;
    grid->setCurrentIndex(grid->model()->index(2, 0));
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Insert);
    QCOMPARE(grid->model()->rowCount(), 5);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(grid->model()->index(2, 2).data().toString(), QString());
    QCOMPARE(grid->model()->index(3, 2).data().toString(), u"A&B"_qs);
    type(p.form.DBEdit3, u"不要"_qs);
    QTest::keyClick(grid, Qt::Key_Escape);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(p.form.DBEdit3->text(), u"A&B"_qs);
    QCOMPARE(readFile(book), before);
}

// The navigator's buttons (first, prior, next, last, insert, edit, post, cancel, refresh) in
// each state of the query, and what its modifying buttons do.
void TestWorkbookPageEdit::navigatorInEachState() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    TDBNavigator *nav = p.form.DBNavigator1;
    QCOMPARE(enabledButtons(nav), u"--xxxx--x"_qs);
    nav->button(NavigateButton::Edit)->click();
    QCOMPARE(p.form.detailCore->State(), DataSetState::Edit);
    QCOMPARE(enabledButtons(nav), u"--xxx-xxx"_qs);
    nav->button(NavigateButton::Cancel)->click();
    QCOMPARE(enabledButtons(nav), u"--xxxx--x"_qs);
    nav->button(NavigateButton::Insert)->click();
    QCOMPARE(p.form.detailCore->State(), DataSetState::Insert);
    QCOMPARE(enabledButtons(nav), u"xxxxx-xxx"_qs);
    type(p.form.DBEdit1, u"1"_qs);
    type(p.form.DBEdit2, u"2"_qs);
    nav->button(NavigateButton::Post)->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QCOMPARE(p.form.detailCore->RecNo(), 4); // written after the last row
    QCOMPARE(enabledButtons(nav), u"xxxxxx--x"_qs);
    QCOMPARE(recordsInFile(book)[4].mid(0, 2), (QStringList{"1", "2"}));
    nav->button(NavigateButton::Last)->click();
    QCOMPARE(enabledButtons(nav), u"xx--xx--x"_qs);

    // Refresh reads the file again: another program's change shows.
    workbook::xls::writeSheetChanges(book, workbook::fileIdentity(book, readFile(book)),
                                     {workbook::SheetChange::setCell(5, 2, u"别人"_qs)});
    nav->button(NavigateButton::Refresh)->click();
    QCOMPARE(p.form.DBEdit3->text(), u"别人"_qs);
    QCOMPARE(p.form.DBGrid1->columnWidth(0), 100); // the same fields keep their columns

    p.form.detailCore->Close();
    QCOMPARE(enabledButtons(nav), u"---------"_qs);
}

// A workbook edits cannot be written into (here, Excel 5.0/95) is browsed read-only.
void TestWorkbookPageEdit::readOnlyWorkbook() {
    Page p;
    p.openCopy(u"gnumeric-biff7.xls"_qs);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"--xx-----"_qs);
    for (QWidget *box :
         std::initializer_list<QWidget *>{p.form.DBEdit1, p.form.DBEdit2, p.form.DBEdit3})
        QVERIFY(static_cast<QLineEdit *>(box)->isReadOnly());
    QVERIFY(p.form.DBMemo1->isReadOnly());
    p.form.guarded([&] { p.form.detailCore->Edit(); });
    p.form.guarded([&] { p.form.detailCore->Insert(); });
    QCOMPARE(p.host.errors, QStringList(2, u"detailCore: Cannot modify a read-only dataset."_qs));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
}

// A refused post shows why; the record stays in edit state with what was typed, and the file
// as it was.
void TestWorkbookPageEdit::refusalKeepsTheEdit() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    // Pasted: one key at a time would lay the memo out thirty thousand times.
    p.form.DBMemo1->insertPlainText(QString(32768 - p.form.DBMemo1->toPlainText().size(), u'长'));
    p.form.DBNavigator1->button(NavigateButton::Post)->click();
    QCOMPARE(p.host.errors,
             QStringList{u"The text for cell D2 has 32768 characters; a cell holds at most "
                         "32767."_qs});
    QCOMPARE(p.form.detailCore->State(), DataSetState::Edit);
    QCOMPARE(p.form.DBMemo1->toPlainText().size(), 32768);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"--xxx-xxx"_qs);
    p.form.DBNavigator1->button(NavigateButton::Cancel)->click();
    QCOMPARE(p.form.DBMemo1->toPlainText(), u"中国古代帝王宫殿，位于中国北京市<br/>"_qs);

    // Another program changed the file: moving on tries the post, which is refused too.
    workbook::xls::writeSheetChanges(book, workbook::fileIdentity(book, readFile(book)),
                                     {workbook::SheetChange::setCell(1, 2, u"别人"_qs)});
    const QByteArray before = readFile(book);
    p.form.DBEdit3->selectAll();
    type(p.form.DBEdit3, u"我的"_qs);
    p.host.errors.clear();
    p.form.DBNavigator1->button(NavigateButton::Next)->click();
    QCOMPARE(p.host.errors.size(), 1);
    QVERIFY(p.host.errors[0].contains(u"was changed by another program"_qs));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Edit);
    QCOMPARE(p.form.detailCore->RecNo(), 0);
    QCOMPARE(p.form.DBGrid1->currentIndex().row(), 0);
    QCOMPARE(p.form.DBEdit3->text(), u"我的"_qs);
    QCOMPARE(readFile(book), before);
    // Clicking another row of the grid does not leave the record either.
    p.form.DBGrid1->setCurrentIndex(p.form.DBGrid1->model()->index(3, 1));
    QCOMPARE(p.host.errors.size(), 2);
    QCOMPARE(p.form.detailCore->RecNo(), 0);
    QCOMPARE(p.form.DBGrid1->currentIndex().row(), 0);
}

// Opening another workbook and closing the window post a pending edit first; a refused post
// keeps the window open.
void TestWorkbookPageEdit::pendingEditBeforeOpenAndClose() {
    Page p;
    const QString first = p.openCopy(u"xlwt-mixed.xls"_qs);
    type(p.form.DBEdit3, u"甲"_qs);
    p.openCopy(u"xlwt-kinds.xls"_qs, u"second.xls"_qs);
    QCOMPARE(recordsInFile(first)[0][2], u"紫禁城甲"_qs);
    QCOMPARE(p.form.DBEdit3->text(), u"紫禁城"_qs);
    QCOMPARE(p.form.detailCore->fileName(), p.dir.filePath(u"second.xls"_qs));

    type(p.form.DBEdit3, u"乙"_qs);
    QVERIFY(p.form.close());
    QCOMPARE(recordsInFile(p.dir.filePath(u"second.xls"_qs))[0][2], u"紫禁城乙"_qs);

    type(p.form.DBEdit3, u"丙"_qs);
    QVERIFY(QFile::remove(p.dir.filePath(u"second.xls"_qs)));
    QVERIFY(!p.form.close());
    QCOMPARE(p.host.errors.size(), 1);
    QVERIFY(p.host.errors[0].contains(u"no longer exists"_qs));
    p.form.DBNavigator1->button(NavigateButton::Cancel)->click();
    QVERIFY(p.form.close());
}

QTEST_MAIN(TestWorkbookPageEdit)
#include "tst_workbookpageedit.moc"
