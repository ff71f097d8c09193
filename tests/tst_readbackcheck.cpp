// The read-back check on sheets made in memory: what a batch must leave where it wrote, in the
// rows it appended and, given the sheet before, everywhere else as deletes moved it; each
// difference refused with the cell and the two values.
#include "testsupport.h"

#include "common/commanderror.h"
#include "workbook/readbackcheck.h"
#include "workbook/workbookerrors.h"

#include <QTest>

#include <algorithm>

#include <vector>

using namespace workbook;

namespace {

// A cell of a sheet made for a test: a number of a kind, or a text.
struct Put {
    int row;
    int column;
    CellKind kind;
    double number = 0;
    QString text = QString();
};

Put number(int row, int column, double value, CellKind kind = CellKind::Number) {
    return Put{row, column, kind, value};
}

Put text(int row, int column, const QString &value) {
    return Put{row, column, CellKind::Text, 0, value};
}

using Puts = QList<Put>;
using Changes = std::vector<SheetChange>;

SheetData sheetOf(const Puts &puts) {
    SheetData sheet;
    std::vector<Cell> cells;
    for (const Put &p : puts) {
        Cell c;
        c.row = std::uint32_t(p.row);
        c.column = std::uint16_t(p.column);
        c.kind = p.kind;
        if (p.kind == CellKind::Text)
            c.text = sheet.strings.add(p.text);
        else
            c.number = p.number;
        cells.push_back(c);
    }
    sheet.setCells(std::move(cells));
    return sheet;
}

} // namespace

Q_DECLARE_METATYPE(Puts)
Q_DECLARE_METATYPE(Changes)

class TestReadBackCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::useTestLocale(); }
    void check_data();
    void check();
    void unreadable();
};

void TestReadBackCheck::check_data() {
    QTest::addColumn<Puts>("before");
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QList<int>>("rows"); // as the write reports them
    QTest::addColumn<Puts>("written");    // the sheet read back
    QTest::addColumn<bool>("withBefore");
    QTest::addColumn<QString>("message"); // empty: the write may go ahead
    const QString differs = QStringLiteral("The workbook cannot be changed safely: cell %1 of "
                                           "sheet1 would read back as %2 instead of %3");
    const Puts three{number(0, 0, 1), number(1, 0, 2), number(2, 0, 3)};

    QTest::newRow("a number read back")
        << Puts{number(0, 0, 1)} << Changes{SheetChange::setCell(0, 0, 2.5)} << QList<int>{0}
        << Puts{number(0, 0, 2.5)} << false << QString();
    QTest::newRow("a number lost")
        << Puts{number(0, 0, 1)} << Changes{SheetChange::setCell(0, 0, 2.5)} << QList<int>{0}
        << Puts{number(0, 0, 1)} << false << differs.arg("A1", "1", "2.5");
    QTest::newRow("a date within its millisecond")
        << Puts{} << Changes{SheetChange::setCell(0, 0, 45413.1234567891)} << QList<int>{0}
        << Puts{number(0, 0, 45413.123456789, CellKind::Date)} << false << QString();
    QTest::newRow("a number is not a date to the millisecond")
        << Puts{} << Changes{SheetChange::setCell(0, 0, 1.0000000001)} << QList<int>{0}
        << Puts{number(0, 0, 1)} << false << differs.arg("A1", "1", "1.0000000001");
    QTest::newRow("a text landing in another cell")
        << Puts{} << Changes{SheetChange::setCell(1, 0, QStringLiteral("点"))} << QList<int>{1}
        << Puts{text(0, 0, "点")} << false << differs.arg("A2", "empty", "\"点\"");
    QTest::newRow("an emptied cell read back as an empty text")
        << Puts{number(0, 0, 1)} << Changes{SheetChange::setCell(0, 0, EditValue())}
        << QList<int>{0} << Puts{text(0, 0, QString())} << true << QString();
    QTest::newRow("an appended row holds nothing else")
        << Puts{number(0, 0, 1)} << Changes{SheetChange::appendRow({5.0})} << QList<int>{1}
        << Puts{number(0, 0, 1), number(1, 0, 5), text(1, 3, "old")} << false
        << differs.arg("D2", "\"old\"", "empty");
    QTest::newRow("an appended row laid over cells the reader had")
        << Puts{number(0, 0, 1), number(1, 0, 4)} << Changes{SheetChange::appendRow({5.0})}
        << QList<int>{1} << Puts{number(0, 0, 1), number(1, 0, 5)} << true
        << differs.arg("A2", "5", "4");
    QTest::newRow("a delete moves the rows below it")
        << three << Changes{SheetChange::deleteRow(1)} << QList<int>{1}
        << Puts{number(0, 0, 1), number(1, 0, 3)} << true << QString();
    QTest::newRow("a delete that left its row")
        << three << Changes{SheetChange::deleteRow(1)} << QList<int>{1}
        << Puts{number(0, 0, 1), number(1, 0, 2), number(2, 0, 3)} << true
        << differs.arg("A2", "2", "3");
    QTest::newRow("a cell written before a delete moves with its row")
        << three << Changes{SheetChange::setCell(2, 1, 9.0), SheetChange::deleteRow(0)}
        << QList<int>{2, 0} << Puts{number(0, 0, 2), number(1, 0, 3), number(1, 1, 9)} << true
        << QString();
    QTest::newRow("two deletes, the second counted after the first")
        << three << Changes{SheetChange::deleteRow(0), SheetChange::deleteRow(1)}
        << QList<int>{0, 1} << Puts{number(0, 0, 2)} << true << QString();
    QTest::newRow("a cell where the batch put none")
        << Puts{number(0, 0, 1)} << Changes{SheetChange::setCell(0, 0, 2.0)} << QList<int>{0}
        << Puts{number(0, 0, 2), number(4, 2, 7)} << true << differs.arg("C5", "7", "empty");
    QTest::newRow("a kept cell turned into another kind")
        << Puts{text(0, 1, "x")} << Changes{SheetChange::setCell(0, 0, 2.0)} << QList<int>{0}
        << Puts{number(0, 0, 2), Put{0, 1, CellKind::Bool}} << true
        << differs.arg("B1", "False", "\"x\"");
}

void TestReadBackCheck::check() {
    QFETCH(Puts, before);
    QFETCH(Changes, changes);
    QFETCH(QList<int>, rows);
    QFETCH(Puts, written);
    QFETCH(bool, withBefore);
    QFETCH(QString, message);
    const SheetData was = sheetOf(before);
    const SheetData now = sheetOf(written);
    const ReadBackCheck readBack(changes, rows);
    QCOMPARE(readBack.movesRows(),
             std::any_of(changes.begin(), changes.end(), [](const SheetChange &c) {
                 return c.kind == SheetChange::Kind::DeleteRow;
             }));
    QCOMPARE(testsupport::errorOf([&] { readBack.check(now, withBefore ? &was : nullptr); }),
             message);
}

// New bytes the reader refuses, for whatever reason, refuse the write.
void TestReadBackCheck::unreadable() {
    const QString message = QStringLiteral("The workbook cannot be changed safely: it would not "
                                           "open again after the change");
    QCOMPARE(testsupport::errorOf([] {
                 readBack([]() -> std::unique_ptr<SheetData> { damage("a part is missing"); });
             }),
             message);
    QCOMPARE(testsupport::errorOf([] {
                 readBack([]() -> std::unique_ptr<SheetData> {
                     damaged(QStringLiteral("book.xlsx"), "a row lies outside the sheet");
                 });
             }),
             message);
}

QTEST_GUILESS_MAIN(TestReadBackCheck)
#include "tst_readbackcheck.moc"
