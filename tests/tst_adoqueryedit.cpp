// Editing through the workbook query: edit and insert states, what a post writes into the file,
// inserts and deletes. What the file does to a post (refusals, read-only workbooks, refresh,
// round trips) is in tst_adoquerywrite.cpp.
#include "app/querymodel.h"
#include "common/numtext.h"
#include "querytesting.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbook/xls/xlswriter.h"
#include "workbooktesting.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <functional>
#include <optional>
#include <unistd.h>

Q_DECLARE_METATYPE(DataSetState)
Q_DECLARE_METATYPE(workbook::CellKind)

using namespace workbooktesting;
using workbook::CellKind;
using workbook::EditValue;
using workbook::SheetChange;

class TestAdoQueryEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void states_data();
    void states();
    void textsOfAPendingEdit();
    void postedValues_data();
    void postedValues();
    void decimalSeparator();
    void onlyChangedFieldsWritten();
    void insertGoesAfterTheLastRow();
    void emptySheetGetsHeadings();
    void deleteRows();
    void deleteRefused();
    void movesSettle_data();
    void movesSettle();
};

using namespace querytesting;

namespace {

// The cell of a record's field as a fresh query reads the file.
workbook::Cell cellInFile(const QString &path, int record, int field) {
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, path);
    const workbook::Cell *cell = fresh.fieldCell(record, field);
    return cell ? *cell : workbook::Cell();
}

} // namespace

void TestAdoQueryEdit::initTestCase() {
    useTestLocale();
}

// Operations on xlwt-mixed.xls (four records) or another fixture: the state, record count and
// cursor afterwards; none of them writes the file.
void TestAdoQueryEdit::states_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<DataSetState>("state");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<bool>("bof");
    QTest::addColumn<bool>("eof");
    const QString mixed = QStringLiteral("xlwt-mixed.xls");
    using S = DataSetState;
    QTest::newRow("edit") << mixed << QStringList{"edit"} << S::Edit << 4 << 0 << true << false;
    QTest::newRow("edit twice") << mixed << QStringList{"edit", "set2:x", "edit"} << S::Edit << 4
                                << 0 << true << false;
    QTest::newRow("insert at the current record")
        << mixed << QStringList{"next", "next", "insert"} << S::Insert << 5 << 2 << false << false;
    QTest::newRow("append") << mixed << QStringList{"append"} << S::Insert << 5 << 4 << false
                            << true;
    QTest::newRow("cancel an insert: back where it was")
        << mixed << QStringList{"next", "insert", "cancel"} << S::Browse << 4 << 1 << false
        << false;
    QTest::newRow("cancel an append at the end")
        << mixed << QStringList{"last", "append", "cancel"} << S::Browse << 4 << 3 << false << true;
    QTest::newRow("an unchanged edit is dropped by a move")
        << mixed << QStringList{"edit", "next"} << S::Browse << 4 << 1 << false << false;
    QTest::newRow("the same text is no change")
        << mixed << QStringList{"edit", u"set2:紫禁城"_qs, "next"} << S::Browse << 4 << 1 << false
        << false;
    QTest::newRow("an unchanged insert is dropped by a move")
        << mixed << QStringList{"insert", "next"} << S::Browse << 4 << 1 << false << false;
    QTest::newRow("an insert of empty texts posts nothing")
        << mixed << QStringList{"append", "set2:", "post"} << S::Browse << 4 << 0 << true << false;
    QTest::newRow("delete drops an insert") << mixed << QStringList{"next", "insert", "delete"}
                                            << S::Browse << 4 << 1 << false << false;
    QTest::newRow("insert settles an unchanged edit")
        << mixed << QStringList{"edit", "insert"} << S::Insert << 5 << 0 << false << false;
    QTest::newRow("edit on an empty sheet inserts")
        << "xlwt-heading-only.xls" << QStringList{"edit"} << S::Insert << 1 << 0 << false << false;
    QTest::newRow("refresh drops an unchanged insert")
        << mixed << QStringList{"last", "append", "refresh"} << S::Browse << 4 << 3 << false
        << true;
}

void TestAdoQueryEdit::states() {
    QFETCH(QString, file);
    QFETCH(QStringList, ops);
    Copy c(file);
    c.open();
    const QByteArray before = c.bytes();
    QueryModel model(&c.q);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    using Operation = void (TADOQuery::*)();
    const QHash<QString, Operation> operations{
        {u"edit"_qs, &TADOQuery::Edit},      {u"insert"_qs, &TADOQuery::Insert},
        {u"append"_qs, &TADOQuery::Append},  {u"cancel"_qs, &TADOQuery::Cancel},
        {u"post"_qs, &TADOQuery::Post},      {u"delete"_qs, &TADOQuery::Delete},
        {u"next"_qs, &TADOQuery::Next},      {u"last"_qs, &TADOQuery::Last},
        {u"refresh"_qs, &TADOQuery::Refresh}};
    for (const QString &op : ops) {
        if (op.startsWith(u"set")) // "set2:text" sets field 2
            c.q.Fields(op.mid(3, 1).toInt()).SetAsString(op.mid(5));
        else if (const Operation operation = operations.value(op))
            (c.q.*operation)();
        else
            QFAIL(qPrintable(op));
    }
    QTEST(c.q.State(), "state");
    QTEST(c.q.RecordCount(), "count");
    QTEST(model.rowCount(), "count");
    QTEST(c.q.RecNo(), "recNo");
    QTEST(c.q.Bof(), "bof");
    QTEST(c.q.Eof(), "eof");
    QCOMPARE(c.bytes(), before);
}

// A pending edit shows in the field texts of its record only, and a cancel takes it back; the
// blank record of an insert moves the records below it down by one.
void TestAdoQueryEdit::textsOfAPendingEdit() {
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.open();
    TADOQuery &q = c.q;
    QCOMPARE(errorOf([&] { q.Fields(2).SetAsString(u"x"_qs); }), NotEditing);
    q.Next();
    q.Edit();
    QVERIFY(!q.Modified());
    q.Fields(2).SetAsString(u"浦东新区"_qs);
    q.Fields(3).SetAsString(u"描述"_qs);
    QVERIFY(q.Modified());
    QCOMPARE(q.Fields(2).AsString(), u"浦东新区"_qs);
    QCOMPARE(q.fieldText(1, 3), u"描述"_qs);
    QVERIFY(!q.Fields(3).IsNull());
    QCOMPARE(q.fieldText(0, 2), u"紫禁城"_qs);
    q.Fields(0).SetAsString(QString());
    QVERIFY(q.Fields(0).IsNull());
    q.Cancel();
    QCOMPARE(q.State(), DataSetState::Browse);
    QCOMPARE(q.Fields(2).AsString(), u"上海浦东"_qs);
    QCOMPARE(q.Fields(0).AsString(), u"121.4965666"_qs);
    QVERIFY(q.Fields(3).IsNull());

    q.Insert();
    QCOMPARE(q.RecNo(), 1);
    QCOMPARE(q.fieldText(1, 2), QString());
    QVERIFY(!q.fieldCell(1, 0));
    QCOMPARE(q.fieldText(2, 2), u"上海浦东"_qs);
    QCOMPARE(q.fieldText(4, 2), u"整数"_qs);
    QCOMPARE(q.fieldText(0, 2), u"紫禁城"_qs);
    q.Fields(2).SetAsString(u"新"_qs);
    QCOMPARE(q.fieldText(1, 2), u"新"_qs);
    QCOMPARE(q.fieldText(2, 2), u"上海浦东"_qs);
}

// One field typed into a record, posted: the text the record then shows (and a fresh reading of
// the file shows), and the cell in the file.
void TestAdoQueryEdit::postedValues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<CellKind>("kind");
    QTest::addColumn<double>("number");
    // xlwt-kinds.xls: fields 0 and 1 numbers, 2 text, 3 long text, 4 dates; the same sheet as
    // LibreOffice writes it as .xlsx and as .ods.
    for (const QString &file : {u"xlwt-kinds.xls"_qs, u"xlsx/libreoffice-kinds.xlsx"_qs,
                                u"ods/libreoffice-xls-kinds.ods"_qs}) {
        const auto newRow = [&file](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(file + u": " + QLatin1String(name))) << file;
        };
        newRow("number into a number field") << 0 << 0 << "117.25"
                                             << "117.25" << CellKind::Number << 117.25;
        newRow("exponent") << 0 << 0 << "1.5e3"
                           << "1500" << CellKind::Number << 1500.0;
        newRow("blanks around a number") << 0 << 1 << " 42 "
                                         << "42" << CellKind::Number << 42.0;
        newRow("small number") << 1 << 0 << "0.00005"
                               << "5E-5" << CellKind::Number << 0.00005;
        newRow("not a number stays text")
            << 0 << 0 << u"东经117度"_qs << u"东经117度"_qs << CellKind::Text << 0.0;
        newRow("beyond a cell's numbers stays text") << 0 << 0 << "1E400"
                                                     << "1E400" << CellKind::Text << 0.0;
        newRow("number into a text field stays text") << 0 << 2 << "42"
                                                      << "42" << CellKind::Text << 0.0;
        newRow("empty empties the cell") << 0 << 0 << ""
                                         << "" << CellKind::Empty << 0.0;
        newRow("CJK text") << 1 << 2 << u"北京 天安门"_qs << u"北京 天安门"_qs << CellKind::Text
                           << 0.0;
        const QString limit = QString(32767, u'长');
        newRow("text at the cell limit") << 0 << 3 << limit << limit << CellKind::Text << 0.0;
        newRow("date as it is shown") << 2 << 4 << "05/02/2024 08:15:00"
                                      << "05/02/2024 08:15:00" << CellKind::Date << 45414.34375;
        newRow("date without a time") << 2 << 4 << "05/03/2024"
                                      << "05/03/2024" << CellKind::Date << 45415.0;
        if (!file.endsWith(u".ods")) // no such day in OpenDocument: refused there
            newRow("1900 leap day") << 2 << 4 << "02/29/1900"
                                    << "02/29/1900" << CellKind::Date << 60.0;
        newRow("day that does not exist stays text") << 2 << 4 << "02/30/2024"
                                                     << "02/30/2024" << CellKind::Text << 0.0;
        newRow("number into a date cell") << 2 << 4 << "45414.5"
                                          << "05/02/2024 12:00:00" << CellKind::Date << 45414.5;
    }
}

void TestAdoQueryEdit::postedValues() {
    QFETCH(QString, file);
    QFETCH(int, record);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(CellKind, kind);
    QFETCH(double, number);
    Copy c(file);
    c.open();
    c.q.MoveBy(record);
    c.q.Edit();
    c.q.Fields(field).SetAsString(typed);
    c.q.Post();
    QCOMPARE(c.q.State(), DataSetState::Browse);
    QCOMPARE(c.q.RecNo(), record);
    QCOMPARE(c.q.Fields(field).AsString(), shown);
    QCOMPARE(textsOf(c.q), recordsInFile(c.path));
    QVERIFY(c.q.identity().sameBytes(workbook::fileIdentity(c.path, c.bytes())));
    const workbook::Cell cell = cellInFile(c.path, record, field);
    QCOMPARE(cell.kind, kind);
    if (kind == CellKind::Number || kind == CellKind::Date)
        QCOMPARE(cell.number, number);
}

// Numbers are read with the separator the query was given (the window's, from the regional
// settings).
void TestAdoQueryEdit::decimalSeparator() {
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.q.setDecimalSeparator(u',');
    c.open();
    c.q.Edit();
    c.q.Fields(0).SetAsString(u"116,5"_qs);
    c.q.Fields(1).SetAsString(u"39.5"_qs);
    c.q.Post();
    const workbook::Cell longitude = cellInFile(c.path, 0, 0);
    QCOMPARE(longitude.kind, workbook::CellKind::Number);
    QCOMPARE(longitude.number, 116.5);
    QCOMPARE(cellInFile(c.path, 0, 1).kind, workbook::CellKind::Text);
}

// A field set to the text it shows is not written: a number keeps every digit it had, though
// its text shows fifteen.
void TestAdoQueryEdit::onlyChangedFieldsWritten() {
    Copy c(QStringLiteral("gnumeric-rows2000.xls"));
    c.open();
    const double latitude = c.q.fieldCell(0, 1)->number;
    QCOMPARE(latitude, 20.142857142857142);
    c.q.Edit();
    c.q.Fields(1).SetAsString(c.q.Fields(1).AsString());
    c.q.Fields(2).SetAsString(u"新"_qs);
    c.q.Post();
    QCOMPARE(cellInFile(c.path, 0, 1).number, latitude);
    QCOMPARE(recordsInFile(c.path)[0][2], u"新"_qs);

    // A post that changes nothing leaves the file as it was.
    const QByteArray before = c.bytes();
    c.q.Edit();
    c.q.Fields(2).SetAsString(u"新"_qs);
    c.q.Post();
    QCOMPARE(c.bytes(), before);
}

// A posted insert is written after the sheet's last row, formatted blanks counted: the rows
// between become empty records, and the record is where a fresh reading puts it.
void TestAdoQueryEdit::insertGoesAfterTheLastRow() {
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.changeBehindItsBack(SheetChange::setCell(8, 1, u"x"_qs));
    c.changeBehindItsBack(SheetChange::setCell(8, 1, EditValue())); // a formatted blank
    c.open();
    TADOQuery &q = c.q;
    QueryModel model(&q);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(q.RecordCount(), 4);
    const QList<QStringList> before = textsOf(q);
    q.Next();
    q.Insert();
    q.Fields(0).SetAsString(u"1.5"_qs);
    q.Fields(2).SetAsString(u"新点"_qs);
    q.Post();
    QCOMPARE(q.RecordCount(), 9);
    QCOMPARE(q.RecNo(), 8);
    QCOMPARE(q.sheetRow(q.RecNo()), 9);
    QCOMPARE(textsOf(q).mid(0, 4), before);
    for (int r = 4; r < 8; ++r)
        QCOMPARE(textsOf(q)[r], QStringList(5, QString()));
    QCOMPARE(textsOf(q)[8], (QStringList{"1.5", "", u"新点"_qs, "", ""}));
    QCOMPARE(recordsInFile(c.path), textsOf(q));

    // Texts alone: the record is known without reading the file again.
    q.Append();
    q.Fields(3).SetAsString(u"只有文字"_qs);
    q.Post();
    QCOMPARE(q.RecNo(), 9);
    QCOMPARE(q.Fields(3).AsString(), u"只有文字"_qs);
    QCOMPARE(recordsInFile(c.path), textsOf(q));
    QCOMPARE(model.rowCount(), 10);
}

// An insert into a sheet without any cell writes the field names as headings first, so that
// the record stays a record.
void TestAdoQueryEdit::emptySheetGetsHeadings() {
    Copy c(QStringLiteral("xlwt-empty-sheet1.xls"));
    c.open();
    c.q.Edit();
    QCOMPARE(c.q.State(), DataSetState::Insert);
    c.q.Fields(0).SetAsString(u"7.5"_qs);
    c.q.Post();
    QCOMPARE(c.q.RecordCount(), 1);
    QCOMPARE(c.q.Fields(0).AsString(), u"7.5"_qs);
    TADOQuery fresh;
    workbooksource::openWorkbook(fresh, c.path);
    QCOMPARE(fresh.Fields(0).FieldName(), u"F1"_qs);
    QCOMPARE(textsOf(fresh), (QList<QStringList>{{"7.5"}}));
}

void TestAdoQueryEdit::deleteRows() {
    Copy c(QStringLiteral("libreoffice-plain.xls"));
    c.open();
    TADOQuery &q = c.q;
    QueryModel model(&q);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const int count = q.RecordCount();
    QList<QStringList> expected = textsOf(q);
    q.MoveBy(5);
    q.Delete();
    expected.removeAt(5);
    QCOMPARE(q.RecordCount(), count - 1);
    QCOMPARE(q.RecNo(), 5);
    QCOMPARE(textsOf(q), expected);
    QCOMPARE(recordsInFile(c.path), expected);

    // In edit state the edit goes with the row.
    q.Last();
    q.Edit();
    q.Fields(2).SetAsString(u"不写"_qs);
    q.Delete();
    expected.removeLast();
    QCOMPARE(q.State(), DataSetState::Browse);
    QCOMPARE(q.RecNo(), count - 3);
    QCOMPARE(recordsInFile(c.path), expected);
    QCOMPARE(model.rowCount(), count - 2);

    Copy empty(QStringLiteral("xlwt-heading-only.xls"));
    empty.open();
    QCOMPARE(errorOf([&] { empty.q.Delete(); }),
             u"detailCore: Cannot perform this operation on an empty dataset"_qs);
}

// Where something in the workbook refers to row positions of sheet1, no row is deleted: the
// message says why, and the record, its pending edit and the file stay.
void TestAdoQueryEdit::deleteRefused() {
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.open();
    const QByteArray before = c.bytes();
    c.q.Next();
    c.q.Edit();
    c.q.Fields(2).SetAsString(u"改"_qs);
    QCOMPARE(errorOf([&] { c.q.Delete(); }),
             u"Rows of sheet1 cannot be deleted while formulas on sheet1 and formulas on sheet "
             "Refs refer to row positions; clear the row's cells instead"_qs);
    QCOMPARE(c.q.State(), DataSetState::Edit);
    QCOMPARE(c.q.Fields(2).AsString(), u"改"_qs);
    QCOMPARE(c.q.RecordCount(), 4);
    QCOMPARE(c.bytes(), before);
}

void TestAdoQueryEdit::movesSettle_data() {
    QTest::addColumn<QString>("move");
    QTest::addColumn<bool>("change");
    for (const char *move : {"First", "Last", "Next", "Prior", "MoveBy", "Refresh"}) {
        QTest::addRow("%s posts a change", move) << move << true;
        QTest::addRow("%s drops an edit without one", move) << move << false;
    }
}

// Moving to another record first posts a pending edit that changes something, and drops one
// that does not: then the file is not written at all.
void TestAdoQueryEdit::movesSettle() {
    QFETCH(QString, move);
    QFETCH(bool, change);
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.open();
    c.q.MoveBy(2);
    const QByteArray before = c.bytes();
    c.q.Edit();
    c.q.Fields(2).SetAsString(change ? u"移动前"_qs : u"A&B"_qs);
    const QHash<QString, std::function<void()>> moves{{u"First"_qs, [&] { c.q.First(); }},
                                                      {u"Last"_qs, [&] { c.q.Last(); }},
                                                      {u"Next"_qs, [&] { c.q.Next(); }},
                                                      {u"Prior"_qs, [&] { c.q.Prior(); }},
                                                      {u"MoveBy"_qs, [&] { c.q.MoveBy(-2); }}};
    moves.value(move, [&] { c.q.Refresh(); })();
    QCOMPARE(c.q.State(), DataSetState::Browse);
    QCOMPARE(recordsInFile(c.path)[2][2], change ? u"移动前"_qs : u"A&B"_qs);
    QCOMPARE(c.q.fieldText(2, 2), change ? u"移动前"_qs : u"A&B"_qs);
    if (!change)
        QCOMPARE(c.bytes(), before);
}

QTEST_GUILESS_MAIN(TestAdoQueryEdit)
#include "tst_adoqueryedit.moc"
