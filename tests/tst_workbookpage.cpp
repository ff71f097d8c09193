// The workbook page: opening a workbook into the grid, the navigator and the bound boxes, saving
// its rows, and every failure of an open or an export. Editing on the page is in
// tst_workbookpageedit.cpp.
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

class TestWorkbookPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startsClosed();
    void navigatorHints();
    void opensWorkbook();
    void navigatesAndBoxesFollow();
    void gridMovesTheCursor();
    void longTextColumn();
    void secondWorkbookReplacesFirst();
    void cancelledOpenChangesNothing();
    void openFailures_data();
    void openFailures();
    void openAfterInterruptedSave_data();
    void openAfterInterruptedSave();
    void threeColumns();
    void exportsRows();
    void exportWithoutWorkbook();
    void editInDBEdit3IsExported();
};

using namespace querytesting;
using namespace workbookpagetesting;

namespace {

// A KML file's text without its byte-order mark.
QString kmlText(const QString &path) {
    const QByteArray bytes = readFile(path).mid(2);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                              bytes.size() / 2);
}

} // namespace

void TestWorkbookPage::initTestCase() {
    useTestLocale();
}

void TestWorkbookPage::startsClosed() {
    Page p;
    QCOMPARE(p.form.DBGrid1->model()->columnCount(), 1);
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"---------"_qs);
    QVERIFY(p.form.DBNavigator1->button(NavigateButton::Delete)->isHidden());
    for (QLineEdit *e : {p.form.DBEdit1, p.form.DBEdit2, p.form.DBEdit3}) {
        QVERIFY(e->text().isEmpty());
        QVERIFY(e->isReadOnly());
    }
    QVERIFY(p.form.DBMemo1->isReadOnly());
    QVERIFY(!p.form.detailCore->Active());
    QCOMPARE(p.form.detailCore->objectName(), u"detailCore"_qs);
}

void TestWorkbookPage::navigatorHints() {
    Page p;
    const QStringList hints{u"第一个记录"_qs, u"前一个记录"_qs, u"下一个记录"_qs, u"最后记录"_qs,
                            u"插入记录"_qs,   u"删除记录"_qs,   u"编辑记录"_qs,   u"提交记录"_qs,
                            u"取消编辑"_qs,   u"刷新数据"_qs};
    int visible = 0;
    for (int i = 0; i < TDBNavigator::ButtonCount; ++i) {
        QToolButton *b = p.form.DBNavigator1->button(NavigateButton(i));
        QCOMPARE(b->toolTip(), hints[i]);
        if (!b->isHidden()) {
            ++visible;
            QCOMPARE(b->height(), 25);
            QCOMPARE(b->width(), 26); // 234 pixels shared by nine buttons
        }
    }
    QCOMPARE(visible, 9);
}

void TestWorkbookPage::opensWorkbook() {
    Page p;
    const QString path = p.openCopy(u"xlwt-mixed.xls"_qs);
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.host.fileRequests.size(), 1);
    QCOMPARE(p.host.fileRequests[0].kind, FileDialogKind::Open);
    QCOMPARE(p.host.fileRequests[0].defaultExt, u"*.xls"_qs);
    QCOMPARE(
        p.host.fileRequests[0].filter,
        u"Excel file(*.xls)|*.xls|"
        "All workbooks(*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt)|*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt|"
        "Excel 2007 workbook(*.xlsx)|*.xlsx|OpenDocument spreadsheet(*.ods)|*.ods|"
        "Delimited text(*.csv;*.tsv;*.txt)|*.csv;*.tsv;*.txt"_qs);
    QCOMPARE(p.form.detailCore->ConnectionString, "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" +
                                                      path + ";Extended Properties=Excel 8.0");
    QCOMPARE(p.form.detailCore->SQL, QStringList{u"Select * from [sheet1$]"_qs});

    const QAbstractItemModel *m = p.form.DBGrid1->model();
    QCOMPARE(m->rowCount(), 4);
    QCOMPARE(m->columnCount(), 5);
    QCOMPARE(m->headerData(4, Qt::Horizontal).toString(), u"Extra"_qs);
    const int widths[] = {100, 100, 100, 80, TDBGrid::DefaultColumnWidth};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(p.form.DBGrid1->columnWidth(c), widths[c]);
    QCOMPARE(m->index(0, 0).data().toString(), u"116.3920388"_qs);
    QCOMPARE(p.verticalIndicatorRow(), 0);

    QCOMPARE(p.form.DataSource1->boundField(p.form.DBEdit1), u"经度"_qs);
    QCOMPARE(p.form.DataSource1->boundField(p.form.DBMemo1), u"地点描述"_qs);
    QCOMPARE(p.form.DBEdit1->text(), u"116.3920388"_qs);
    QCOMPARE(p.form.DBEdit2->text(), u"39.91120332"_qs);
    QCOMPARE(p.form.DBEdit3->text(), u"紫禁城"_qs);
    QCOMPARE(p.form.DBMemo1->toPlainText(), u"中国古代帝王宫殿，位于中国北京市<br/>"_qs);
    // A workbook that edits can be written into: the boxes take typing.
    QVERIFY(!p.form.DBEdit1->isReadOnly());
    QVERIFY(!p.form.DBMemo1->isReadOnly());
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"--xxxx--x"_qs);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestWorkbookPage::navigatesAndBoxesFollow() {
    Page p;
    p.openCopy(u"xlwt-mixed.xls"_qs);
    TDBNavigator *nav = p.form.DBNavigator1;
    nav->button(NavigateButton::Next)->click();
    QCOMPARE(p.form.DBEdit3->text(), u"上海浦东"_qs);
    QCOMPARE(p.form.DBMemo1->toPlainText(), QString());
    QCOMPARE(p.form.DBGrid1->currentIndex().row(), 1);
    QCOMPARE(p.verticalIndicatorRow(), 1);
    QCOMPARE(enabledButtons(nav), u"xxxxxx--x"_qs);

    nav->button(NavigateButton::Last)->click();
    QCOMPARE(p.form.DBEdit1->text(), u"7"_qs);
    QCOMPARE(enabledButtons(nav), u"xx--xx--x"_qs);
    nav->button(NavigateButton::Prior)->click();
    QCOMPARE(p.form.DBEdit1->text(), u"5E-5"_qs);
    QCOMPARE(enabledButtons(nav), u"xxxxxx--x"_qs);
    nav->button(NavigateButton::First)->click();
    QCOMPARE(p.form.DBEdit1->text(), u"116.3920388"_qs);
    QCOMPARE(enabledButtons(nav), u"--xxxx--x"_qs);
    QVERIFY(p.host.errors.isEmpty());
}

// A workbook in the Excel 5.0/95 format cannot take edits: it is browsed read-only.
void TestWorkbookPage::gridMovesTheCursor() {
    Page p;
    p.openCopy(u"gnumeric-biff7.xls"_qs);
    TDBGrid *grid = p.form.DBGrid1;
    grid->setCurrentIndex(grid->model()->index(2, 1));
    QCOMPARE(p.form.detailCore->RecNo(), 2);
    QCOMPARE(p.form.DBEdit3->text(), u"A&B"_qs);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"xxxx-----"_qs);

    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(p.form.detailCore->RecNo(), 3);
    QVERIFY(p.form.detailCore->Eof());
    QCOMPARE(grid->currentIndex().row(), 3);
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(p.form.detailCore->RecNo(), 2);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(p.form.detailCore->RecNo(), 0);
    QVERIFY(p.form.detailCore->Bof());
    QCOMPARE(grid->currentIndex(), grid->model()->index(0, 1));
    // Read-only: no key starts an edit, inserts, appends or deletes a record.
    QTest::keyClick(grid, Qt::Key_Insert);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClick(grid, Qt::Key_A);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(p.form.detailCore->RecordCount(), 4);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QVERIFY(!grid->indexWidget(grid->currentIndex()));
    QVERIFY(!grid->findChild<QLineEdit *>());
    QVERIFY(p.host.questions.isEmpty());
    QVERIFY(p.host.errors.isEmpty());
}

void TestWorkbookPage::longTextColumn() {
    Page p;
    p.open(u"xlwt-kinds.xls"_qs);
    const QAbstractItemModel *m = p.form.DBGrid1->model();
    QCOMPARE(m->index(2, 3).data().toString(), QueryModel::MemoText);
    QCOMPARE(m->index(1, 3).data().toString(), QueryModel::EmptyMemoText);
    QCOMPARE(m->index(2, 3).data(Qt::EditRole).toString(), QString(300, u'长'));
    QCOMPARE(m->index(2, 3).data(Qt::ToolTipRole).toString(), QString(300, u'长'));
    QCOMPARE(m->index(2, 2).data(Qt::ToolTipRole), QVariant());
    p.form.detailCore->MoveBy(2);
    QCOMPARE(p.form.DBMemo1->toPlainText(), QString(300, u'长'));
    QCOMPARE(m->index(4, 0).data().toString(), u"文字经度"_qs);
}

void TestWorkbookPage::secondWorkbookReplacesFirst() {
    Page p;
    p.open(u"xlwt-kinds.xls"_qs);
    p.form.DBNavigator1->button(NavigateButton::Last)->click();
    p.open(u"crafted-biff8.xls"_qs);
    QVERIFY(p.host.errors.isEmpty());
    QCOMPARE(p.form.DBGrid1->model()->columnCount(), 6);
    QCOMPARE(p.form.DBGrid1->columnWidth(3), 80);
    QCOMPARE(p.form.DBGrid1->columnWidth(5), TDBGrid::DefaultColumnWidth);
    QCOMPARE(p.form.DBEdit1->text(), u"116"_qs);
    QCOMPARE(p.form.DBEdit2->text(), u"39.91"_qs);
    QCOMPARE(p.form.DBMemo1->toPlainText(), QString(u"Latin text "_qs).repeated(40));
    QCOMPARE(p.verticalIndicatorRow(), 0);
}

void TestWorkbookPage::cancelledOpenChangesNothing() {
    Page p;
    p.open(u"xlwt-mixed.xls"_qs);
    p.form.DBNavigator1->button(NavigateButton::Next)->click();
    p.host.fileAnswers << QString();
    p.form.Button2->click();
    QCOMPARE(p.form.detailCore->RecNo(), 1);
    QCOMPARE(p.form.DBEdit3->text(), u"上海浦东"_qs);
    QCOMPARE(p.form.OpenDialog1.FileName, fixture(u"xlwt-mixed.xls"_qs));
}

void TestWorkbookPage::openFailures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("shown");
    auto native = [](const QString &f) {
        return QDir::toNativeSeparators(QFileInfo(fixture(f)).absoluteFilePath());
    };
    QTest::newRow("not a workbook")
        << "csv/not-text.bin"
        << u"The file \"%1\" is not an Excel workbook."_qs.arg(native(u"csv/not-text.bin"_qs));
    QTest::newRow("password")
        << "filepass.xls"
        << u"The workbook \"%1\" is protected by a password and cannot be read."_qs.arg(
               native(u"filepass.xls"_qs));
    QTest::newRow("no sheet1") << "xlwt-no-sheet1.xls"
                               << u"The workbook \"%1\" has no sheet named \"sheet1\""_qs.arg(
                                      native(u"xlwt-no-sheet1.xls"_qs));
    QTest::newRow("missing file")
        << "missing.xls"
        << u"Cannot open the workbook \"%1\": No such file or directory."_qs.arg(
               native(u"missing.xls"_qs));
}

// A failed open leaves the query closed, the grid with one empty column and no box bound.
void TestWorkbookPage::openFailures() {
    QFETCH(QString, file);
    QFETCH(QString, shown);
    Page p;
    p.open(u"xlwt-mixed.xls"_qs);
    p.open(file);
    QCOMPARE(p.host.errors, QStringList{shown});
    QCOMPARE(p.host.lastCaption, applicationTitle());
    QVERIFY(!p.form.detailCore->Active());
    QCOMPARE(p.form.DBGrid1->model()->columnCount(), 1);
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(p.form.DataSource1->boundField(p.form.DBEdit1), QString());
    QCOMPARE(p.form.DBEdit1->text(), QString());
    QCOMPARE(p.form.DBMemo1->toPlainText(), QString());
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"---------"_qs);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestWorkbookPage::openAfterInterruptedSave_data() {
    QTest::addColumn<bool>("putBack");
    QTest::newRow("old content put back") << true;
    QTest::newRow("left as it is") << false;
}

// A workbook that a killed save left damaged, with its old content in the copy beside it: the
// open asks whether to put the old content back, naming both files; OK opens the old content,
// Cancel ends the open with the same words in the error box and changes no file.
void TestWorkbookPage::openAfterInterruptedSave() {
    QFETCH(bool, putBack);
    Page p;
    const QString path = p.dir.filePath(u"book.xls"_qs);
    const QString copy = p.dir.filePath(u"book.kmlmaker-backup.xls"_qs);
    const QByteArray old = readFile(fixture(u"xlwt-mixed.xls"_qs));
    QByteArray damaged = old;
    damaged.replace(0, 512, QByteArray(512, 'x'));
    QVERIFY(writeFile(path, damaged));
    QVERIFY(writeFile(copy, old));
    p.host.confirmAnswers << putBack;
    p.openPath(path);

    const QString found = u"The file \"%1\" is incomplete: a save into it was interrupted. Its "
                          "old content is kept in \"%2\""_qs.arg(native(path), copy);
    QCOMPARE(p.host.questions, QStringList{found + u".\n\nPut the old content back?"_qs});
    if (putBack) {
        QCOMPARE(p.host.errors, QStringList());
        QCOMPARE(p.form.DBGrid1->model()->rowCount(), 4);
        QCOMPARE(readFile(path), old);
        QVERIFY(!QFileInfo::exists(copy));
    } else {
        QCOMPARE(p.host.errors, QStringList{found}); // ends in a quotation mark: no period
        QVERIFY(!p.form.detailCore->Active());
        QCOMPARE(readFile(path), damaged);
        QCOMPARE(readFile(copy), old);
    }
}

void TestWorkbookPage::threeColumns() {
    Page p;
    p.open(u"xlwt-mixed.xls"_qs);
    p.openCopy(u"xlwt-three-columns.xls"_qs);
    QCOMPARE(p.host.errors, QStringList{u"List index out of bounds (3)"_qs});
    QVERIFY(p.form.detailCore->Active());
    QCOMPARE(p.form.DBGrid1->model()->rowCount(), 2);
    QCOMPARE(p.form.DBGrid1->model()->columnCount(), 3);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(p.form.DBGrid1->columnWidth(c), 100);
    for (QWidget *box : std::initializer_list<QWidget *>{p.form.DBEdit1, p.form.DBEdit2,
                                                         p.form.DBEdit3, p.form.DBMemo1})
        QCOMPARE(p.form.DataSource1->boundField(box), QString());
    QCOMPARE(p.form.DBEdit1->text(), QString());
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"--xxxx--x"_qs);
}

void TestWorkbookPage::exportsRows() {
    Page p;
    p.openCopy(u"xlwt-kinds.xls"_qs);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.kml"_qs);
    p.host.fileAnswers << path;
    p.form.Button3->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.host.fileRequests.last().kind, FileDialogKind::Save);
    QCOMPARE(readFile(path), golden(u"workbook-kinds.kml"_qs));
    QCOMPARE(p.form.Memo2.count(), 9);
    QCOMPARE(p.form.detailCore->RecNo(), 5);
    QCOMPARE(p.verticalIndicatorRow(), 5);
    QCOMPARE(p.form.DBGrid1->currentIndex().row(), 5);
    QCOMPARE(p.form.DBEdit3->text(), u"money"_qs);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"xx--xx--x"_qs);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Cancelling the save dialog changes nothing.
    p.form.Button3->click();
    QCOMPARE(p.form.Memo2.count(), 9);
}

void TestWorkbookPage::exportWithoutWorkbook() {
    Page p;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.kml"_qs);
    p.host.fileAnswers << path;
    p.form.Button3->click();
    QCOMPARE(p.host.errors,
             QStringList{u"detailCore: Cannot perform this operation on a closed dataset."_qs});
    QCOMPARE(p.form.Memo2.count(), 2);
    QVERIFY(!QFile::exists(path));
}

// A name typed into DBEdit3 and not posted is posted by the export, written into the workbook,
// and is the name of that row's placemark.
void TestWorkbookPage::editInDBEdit3IsExported() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    p.form.DBNavigator1->button(NavigateButton::Next)->click();
    p.form.DBEdit3->selectAll();
    type(p.form.DBEdit3, u"浦东新区"_qs);
    QCOMPARE(p.form.detailCore->State(), DataSetState::Edit);
    QCOMPARE(enabledButtons(p.form.DBNavigator1), u"xxxxx-xxx"_qs);
    const QString kml = p.dir.filePath(u"out.kml"_qs);
    p.host.fileAnswers << kml;
    p.form.Button3->click();
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.form.detailCore->State(), DataSetState::Browse);
    QVERIFY(kmlText(kml).contains(u"<name>浦东新区</name>"_qs));
    QVERIFY(!kmlText(kml).contains(u"上海浦东"_qs));
    QCOMPARE(recordsInFile(book)[1][2], u"浦东新区"_qs);
    QCOMPARE(p.form.detailCore->RecNo(), 3);
    QCOMPARE(p.form.DBEdit3->text(), u"整数"_qs);
}

QTEST_MAIN(TestWorkbookPage)
#include "tst_workbookpage.moc"
