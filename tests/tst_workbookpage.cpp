// The workbook page: opening a workbook into the grid, the navigator and the bound boxes, saving
// its rows, and every failure the page reports.
#include "app/datasource.h"
#include "app/dbgrid.h"
#include "app/dbnavigator.h"
#include "app/querymodel.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "sources/adoquery.h"
#include "sources/workbook/workbookwriter.h"
#include "sources/workbooksource.h"

#include "coords/numtext.h"

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

namespace {

QString fixture(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/workbooks/") + name;
}

QByteArray bytesOf(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Which navigator buttons are enabled, as a string of nine letters for the visible ones:
// first, prior, next, last, insert, edit, post, cancel, refresh; "x" enabled, "-" not.
QString enabledButtons(TDBNavigator *nav) {
    QString out;
    for (NavigateButton b : {NavigateButton::First, NavigateButton::Prior, NavigateButton::Next,
                             NavigateButton::Last, NavigateButton::Insert, NavigateButton::Edit,
                             NavigateButton::Post, NavigateButton::Cancel, NavigateButton::Refresh})
        out += nav->button(b)->isEnabled() ? u'x' : u'-';
    return out;
}

// Types a text into a widget, one key event per character.
void type(QWidget *widget, const QString &text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// A KML file's text without its byte-order mark.
QString kmlText(const QString &path) {
    const QByteArray bytes = bytesOf(path).mid(2);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                              bytes.size() / 2);
}

// The records as a fresh query reads the file.
QList<QStringList> recordsInFile(const QString &path) {
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, path);
    QList<QStringList> out;
    for (int r = 0; r < fresh.RecordCount(); ++r) {
        QStringList texts;
        for (int f = 0; f < fresh.FieldCount(); ++f)
            texts << fresh.FieldText(r, f);
        out << texts;
    }
    return out;
}

struct Page {
    FakeDialogHost host;
    TForm1 form{&host};
    QAbstractItemModelTester tester{form.DataSource1->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    QTemporaryDir dir;

    // Opens a fixture where it is: for browsing only, as the data can be modified.
    void open(const QString &file) { openPath(fixture(file)); }
    void openPath(const QString &path) {
        host.fileAnswers << path;
        form.Button2->click();
    }
    // Opens a copy of a fixture, which edits may change; returns its path.
    QString openCopy(const QString &file, const QString &name = QStringLiteral("book.xls")) {
        const QString path = dir.filePath(name);
        QFile::remove(path);
        QFile::copy(fixture(file), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        openPath(path);
        return path;
    }
    int verticalIndicatorRow() const {
        const QAbstractItemModel *m = form.DBGrid1->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->headerData(r, Qt::Vertical).toString() == QueryModel::Indicator)
                return r;
        return -1;
    }
};

} // namespace

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
    void threeColumns();
    void exportsRows();
    void exportWithoutWorkbook();
    void editInDBEdit3IsExported();
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

void TestWorkbookPage::initTestCase() {
    std::setlocale(LC_TIME, "C.UTF-8");
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
    QCOMPARE(p.host.fileRequests[0].filter,
             u"Excel file(*.xls)|*.xls|Excel 2007 workbook(*.xlsx)|*.xlsx|"
             "OpenDocument spreadsheet(*.ods)|*.ods|"
             "All workbooks(*.xls;*.xlsx;*.ods)|*.xls;*.xlsx;*.ods"_qs);
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
        << "make-xlwt.py"
        << u"The file \"%1\" is not an Excel workbook."_qs.arg(native(u"make-xlwt.py"_qs));
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
    QCOMPARE(bytesOf(path), bytesOf(QStringLiteral(KML_TEST_DATA "/workbook-kinds.kml")));
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

void TestWorkbookPage::typingIntoTheGridThenPost() {
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
    QCOMPARE(fresh.FieldCell(2, 0)->kind, workbook::CellKind::Number);
}

// On a sheet without records, typing into a box inserts the first record and keeps what was
// typed.
void TestWorkbookPage::typingIntoAnEmptySheetInserts() {
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

void TestWorkbookPage::ctrlDelete_data() {
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

void TestWorkbookPage::ctrlDelete() {
    QFETCH(QString, file);
    QFETCH(bool, answer);
    QFETCH(QString, error);
    Page p;
    const QString book = p.openCopy(file);
    QList<QStringList> expected = recordsInFile(book);
    const QByteArray before = bytesOf(book);
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
        QCOMPARE(bytesOf(book), before);
    }
    QCOMPARE(grid->model()->rowCount(), expected.size());
    QCOMPARE(p.form.detailCore->RecNo(), 1);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(p.form.DBEdit3->text(), expected[1][2]);
}

void TestWorkbookPage::downPastTheLastRowAppends() {
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

void TestWorkbookPage::insertKeyAndEscape() {
    Page p;
    const QString book = p.openCopy(u"xlwt-mixed.xls"_qs);
    const QByteArray before = bytesOf(book);
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
    QCOMPARE(bytesOf(book), before);
}

// The navigator's buttons (first, prior, next, last, insert, edit, post, cancel, refresh) in
// each state of the query, and what its modifying buttons do.
void TestWorkbookPage::navigatorInEachState() {
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
    workbook::writeSheetChanges(book, workbook::fileIdentity(book, bytesOf(book)),
                                {workbook::SheetChange::setCell(5, 2, u"别人"_qs)});
    nav->button(NavigateButton::Refresh)->click();
    QCOMPARE(p.form.DBEdit3->text(), u"别人"_qs);
    QCOMPARE(p.form.DBGrid1->columnWidth(0), 100); // the same fields keep their columns

    p.form.detailCore->Close();
    QCOMPARE(enabledButtons(nav), u"---------"_qs);
}

// A workbook edits cannot be written into (here, Excel 5.0/95) is browsed read-only.
void TestWorkbookPage::readOnlyWorkbook() {
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
void TestWorkbookPage::refusalKeepsTheEdit() {
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
    workbook::writeSheetChanges(book, workbook::fileIdentity(book, bytesOf(book)),
                                {workbook::SheetChange::setCell(1, 2, u"别人"_qs)});
    const QByteArray before = bytesOf(book);
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
    QCOMPARE(bytesOf(book), before);
    // Clicking another row of the grid does not leave the record either.
    p.form.DBGrid1->setCurrentIndex(p.form.DBGrid1->model()->index(3, 1));
    QCOMPARE(p.host.errors.size(), 2);
    QCOMPARE(p.form.detailCore->RecNo(), 0);
    QCOMPARE(p.form.DBGrid1->currentIndex().row(), 0);
}

// Opening another workbook and closing the window post a pending edit first; a refused post
// keeps the window open.
void TestWorkbookPage::pendingEditBeforeOpenAndClose() {
    Page p;
    const QString first = p.openCopy(u"xlwt-mixed.xls"_qs);
    type(p.form.DBEdit3, u"甲"_qs);
    p.openCopy(u"xlwt-kinds.xls"_qs, u"second.xls"_qs);
    QCOMPARE(recordsInFile(first)[0][2], u"紫禁城甲"_qs);
    QCOMPARE(p.form.DBEdit3->text(), u"紫禁城"_qs);
    QCOMPARE(p.form.detailCore->FileName(), p.dir.filePath(u"second.xls"_qs));

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

QTEST_MAIN(TestWorkbookPage)
#include "tst_workbookpage.moc"
