// Posts through the workbook query as the file takes them: refusals that leave the record in edit
// state and the file untouched, read-only workbooks, refresh, and seeded random edits read back
// by a fresh query and by xlrd.
#include "app/querymodel.h"
#include "common/numtext.h"
#include "querytesting.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbooktesting.h"
#include "xlrdreading.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <optional>
#include <unistd.h>

using namespace workbooktesting;
using workbook::EditValue;
using workbook::SheetChange;

class TestAdoQueryWrite : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void refusals_data();
    void refusals();
    void readOnly_data();
    void readOnly();
    void refresh();
    void roundTrip_data();
    void roundTrip();

private:
    bool m_xlrd = false;
};

using namespace querytesting;

namespace {

// A random text as the user might type it into a field: a random cell value as it is shown.
QString randomText(QRandomGenerator &g) {
    const EditValue value = randomValue(g);
    if (const double *number = std::get_if<double>(&value))
        return numtext::FloatToStr(*number, u'.');
    if (const QString *text = std::get_if<QString>(&value))
        return *text;
    return QString();
}

} // namespace

void TestAdoQueryWrite::initTestCase() {
    useTestLocale();
    m_xlrd = xlrdreading::available();
}

// Each refusal of a post leaves the record in edit or insert state with what was typed, and
// the file as it was.
void TestAdoQueryWrite::refusals_data() {
    QTest::addColumn<int>("setup"); // 1 another program writes, 2 removed, 3 row 65536 used
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // %1: the file's full native path
    const QString changed = QStringLiteral(
        "The workbook \"%1\" was changed by another program since it was opened or last "
        "refreshed. Refresh the data, then make the change again");
    const QString gone = QStringLiteral("The workbook \"%1\" no longer exists; it was moved or "
                                        "deleted since it was opened or last refreshed");
    QTest::newRow("changed by another program") << 1 << false << 2 << "x" << changed;
    QTest::newRow("insert into a changed file") << 1 << true << 2 << "x" << changed;
    QTest::newRow("file removed") << 2 << false << 0 << "1" << gone;
    QTest::newRow("sheet full") << 3 << true << 2 << "x"
                                << "sheet1 is full: it cannot hold more than 65536 rows";
    QTest::newRow("text too long")
        << 0 << false << 3 << QString(32768, u'长')
        << "The text for cell D2 has 32768 characters; a cell holds at most 32767";
}

void TestAdoQueryWrite::refusals() {
    QFETCH(int, setup);
    QFETCH(bool, insert);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    if (setup == 3)
        c.changeBehindItsBack(SheetChange::setCell(65535, 0, 9.0));
    c.open();
    if (setup == 1)
        c.changeBehindItsBack(SheetChange::setCell(2, 2, u"别人改的"_qs));
    else if (setup == 2)
        QVERIFY(QFile::remove(c.path));
    const QByteArray before = c.bytes();
    const int count = c.q.RecordCount();
    if (insert)
        c.q.Append();
    else
        c.q.Edit();
    c.q.Fields(field).SetAsString(typed);
    QCOMPARE(errorOf([&] { c.q.Post(); }),
             message.contains(u"%1") ? message.arg(QDir::toNativeSeparators(c.path)) : message);
    QCOMPARE(c.q.State(), insert ? DataSetState::Insert : DataSetState::Edit);
    QCOMPARE(c.q.Fields(field).AsString(), typed);
    QCOMPARE(c.q.RecordCount(), count + (insert ? 1 : 0));
    QCOMPARE(c.bytes(), before);
    // A move tries the post again and stays too.
    QVERIFY(!errorOf([&] { c.q.Next(); }).isEmpty());
    QCOMPARE(c.q.State(), insert ? DataSetState::Insert : DataSetState::Edit);
    QCOMPARE(c.bytes(), before);

    if (setup == 1) {
        // Dropping the edit and reading the file again shows the other program's change, and
        // edits go through again.
        c.q.Cancel();
        c.q.Refresh();
        QCOMPARE(c.q.fieldText(1, 2), u"别人改的"_qs);
        c.q.First();
        c.q.Edit();
        c.q.Fields(field).SetAsString(typed);
        c.q.Post();
        QCOMPARE(recordsInFile(c.path)[0][field], typed);
        QCOMPARE(recordsInFile(c.path)[1][2], u"别人改的"_qs);
    }
}

// A workbook that edits cannot be written into opens read-only. A writable file in a folder that
// takes no new files is written in place.
void TestAdoQueryWrite::readOnly_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("lock"); // 0 none, 1 the file, 2 its folder
    QTest::newRow("Excel 5.0/95") << "gnumeric-biff7.xls" << 0;
    QTest::newRow("read-only file") << "xlwt-mixed.xls" << 1;
    QTest::newRow("read-only folder") << "xlwt-mixed.xls" << 2;
    QTest::newRow(".xlsx: read-only file") << "xlsx/libreoffice-mixed.xlsx" << 1;
    QTest::newRow(".ods: read-only file") << "ods/libreoffice-xls-mixed.ods" << 1;
}

void TestAdoQueryWrite::readOnly() {
    QFETCH(QString, file);
    QFETCH(int, lock);
    Copy c(file);
    // Group and others alike: the unprivileged user keeps the root group.
    const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const auto traversable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const auto writable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    QFile::setPermissions(c.dir.path(), readable | traversable | QFile::WriteOwner);
    if (lock == 1) {
        QFile::setPermissions(c.path, readable);
    } else {
        // The file may be written by the user the test runs as; its folder perhaps not.
        QFile::setPermissions(c.path, readable | QFile::WriteOwner);
        if (geteuid() == 0)
            QCOMPARE(chown(QFile::encodeName(c.path).constData(), Nobody, gid_t(-1)), 0);
        if (lock == 2)
            QFile::setPermissions(c.dir.path(), readable | traversable);
    }
    if (lock == 2) {
        const Unprivileged user;
        c.open();
        QVERIFY(c.q.CanModify());
        c.q.Edit();
        c.q.Fields(2).SetAsString(u"就地"_qs);
        c.q.Post();
        QCOMPARE(recordsInFile(c.path)[0][2], u"就地"_qs);
        QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"book.xls"_qs});
        return;
    }
    {
        const Unprivileged user;
        c.open();
        QVERIFY(!c.q.CanModify());
        for (const auto &op : std::initializer_list<std::function<void()>>{
                 [&] { c.q.Edit(); }, [&] { c.q.Insert(); }, [&] { c.q.Append(); },
                 [&] { c.q.Delete(); }})
            QCOMPARE(errorOf(op), ReadOnly);
        QCOMPARE(c.q.State(), DataSetState::Browse);
        QCOMPARE(c.q.RecordCount(), 4);
        c.q.Refresh(); // reading is still allowed
        QVERIFY(!c.q.CanModify());
    }
    if (lock == 0)
        return;
    // Once the file may be written, a refresh finds out.
    QFile::setPermissions(c.dir.path(), readable | traversable | writable);
    QFile::setPermissions(c.path, readable | writable);
    const Unprivileged user;
    c.q.Refresh();
    QVERIFY(c.q.CanModify());
}

// A refresh reads the file again: another program's change shows, and posts are checked against
// the file as it was read then.
void TestAdoQueryWrite::refresh() {
    Copy c(QStringLiteral("xlwt-mixed.xls"));
    c.open();
    QueryModel model(&c.q);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    c.q.MoveBy(3);
    c.changeBehindItsBack(SheetChange::appendRow({1.0, 2.0, u"别人加的"_qs}));
    c.changeBehindItsBack(SheetChange::setCell(1, 2, u"别人改的"_qs));
    c.q.Refresh();
    QCOMPARE(c.q.RecordCount(), 5);
    QCOMPARE(c.q.RecNo(), 3);
    QCOMPARE(c.q.fieldText(0, 2), u"别人改的"_qs);
    QCOMPARE(c.q.fieldText(4, 2), u"别人加的"_qs);
    QVERIFY(c.q.identity().sameBytes(workbook::fileIdentity(c.path, c.bytes())));
    c.q.Edit();
    c.q.Fields(2).SetAsString(u"我改的"_qs);
    c.q.Post();
    QCOMPARE(recordsInFile(c.path), textsOf(c.q));
    QCOMPARE(c.q.fieldText(3, 2), u"我改的"_qs);
}

void TestAdoQueryWrite::roundTrip_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("deleteRefusal"); // empty: rows may be deleted
    const QString refused = QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to "
                                           "row positions; clear the row's cells instead");
    for (const QString &producer : {u"xlwt"_qs, u"gnumeric"_qs, u"libreoffice"_qs}) {
        QTest::newRow(qPrintable(producer + u"-mixed"))
            << producer + u"-mixed.xls"
            << refused.arg(u"formulas on sheet1 and formulas on sheet Refs"_qs);
        QTest::newRow(qPrintable(producer + u"-rows2000"))
            << producer + u"-rows2000.xls" << refused.arg(u"formulas on sheet Notes"_qs);
        QTest::newRow(qPrintable(producer + u"-plain")) << producer + u"-plain.xls" << QString();
    }
}

// Seeded random edits, inserts and deletes through the query, as the page makes them. Then a
// fresh query reads exactly the records the edited one shows, xlrd reads in sheet1 exactly the
// cells expected, and every other sheet as it was.
void TestAdoQueryWrite::roundTrip() {
    QFETCH(QString, file);
    QFETCH(QString, deleteRefusal);
    Copy c(file);
    c.open();
    TADOQuery &q = c.q;
    // The grid's model follows every change; its tester walks the whole model at each insert or
    // removal, so only the smaller sheets have one.
    QueryModel model(&q);
    std::optional<QAbstractItemModelTester> tester;
    if (q.RecordCount() < 500)
        tester.emplace(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QJsonArray original = m_xlrd ? xlrdreading::sheets(c.path) : QJsonArray();
    xlrdreading::SheetModel expected(
        xlrdreading::cellsOf(xlrdreading::sheetNamed(original, u"sheet1"_qs)));
    // What write-back puts into a cell for a changed field.
    auto expect = [&](int row, int field, const QString &text) {
        const int column = q.sheetColumn(field);
        numtext::Extended value;
        if (text.isEmpty())
            expected.set(row, column, EditValue());
        else if (q.Fields(field).isNumeric() &&
                 numtext::TextToFloat(text, q.decimalSeparator(), value))
            expected.set(row, column, toDouble(value));
        else
            expected.set(row, column, text);
    };

    if (!deleteRefusal.isEmpty()) {
        const QByteArray before = c.bytes();
        q.MoveBy(1);
        QCOMPARE(errorOf([&] { q.Delete(); }), deleteRefusal);
        QCOMPARE(c.bytes(), before);
    }

    QRandomGenerator g(qHash(file));
    const int fields = qMin(q.FieldCount(), 5);
    for (int step = 0; step < 40; ++step) {
        const int pick = int(g.bounded(20));
        if (pick < 11 && q.RecordCount() > 0) {
            const int record = int(g.bounded(q.RecordCount()));
            q.MoveBy(record - q.RecNo());
            QCOMPARE(q.RecNo(), record);
            q.Edit();
            QMap<int, QString> before, typed;
            for (int k = 0, n = 1 + int(g.bounded(3)); k < n; ++k) {
                const int f = int(g.bounded(fields));
                if (!before.contains(f))
                    before[f] = q.fieldText(record, f);
                typed[f] = randomText(g);
                q.Fields(f).SetAsString(typed[f]);
            }
            const int ending = int(g.bounded(10));
            if (ending == 0) {
                q.Cancel();
                continue;
            }
            const int row = q.sheetRow(record);
            for (auto it = typed.cbegin(); it != typed.cend(); ++it)
                if (it.value() != before[it.key()])
                    expect(row, it.key(), it.value());
            if (ending < 4)
                q.MoveBy(record == 0 ? 1 : -1); // a move posts
            else
                q.Post();
            QCOMPARE(q.State(), DataSetState::Browse);
        } else if (pick < 16) {
            if (g.bounded(2))
                q.Append();
            else
                q.Insert();
            QMap<int, QString> typed;
            for (int k = 0, n = 1 + int(g.bounded(4)); k < n; ++k) {
                const int f = int(g.bounded(fields));
                typed[f] = randomText(g);
                q.Fields(f).SetAsString(typed[f]);
            }
            const int row = expected.lastRow() + 1;
            bool written = false;
            for (auto it = typed.cbegin(); it != typed.cend(); ++it)
                if (!it.value().isEmpty()) {
                    expect(row, it.key(), it.value());
                    written = true;
                }
            q.Post();
            QCOMPARE(q.State(), DataSetState::Browse);
            if (written && m_xlrd)
                QCOMPARE(q.sheetRow(q.RecNo()), row);
        } else if (q.RecordCount() > 1 && deleteRefusal.isEmpty()) {
            const int record = int(g.bounded(q.RecordCount()));
            q.MoveBy(record - q.RecNo());
            const int row = q.sheetRow(record);
            q.Delete();
            expected.remove(row);
        }
    }

    QCOMPARE(recordsInFile(c.path), textsOf(q));
    QCOMPARE(model.rowCount(), q.RecordCount());
    if (!m_xlrd)
        QSKIP("the records were compared; xlrd (Debian's python3-xlrd) compares the cells");
    const QJsonArray after = xlrdreading::sheets(c.path);
    QCOMPARE(after.size(), original.size());
    for (int s = 0; s < original.size(); ++s) {
        const QJsonObject o = original[s].toObject();
        if (o[u"name"].toString().compare(u"sheet1", Qt::CaseInsensitive) != 0)
            QCOMPARE(after[s].toObject(), o); // other sheets: every cell, value and format
    }
    const QString difference = xlrdreading::difference(
        xlrdreading::cellsOf(xlrdreading::sheetNamed(after, u"sheet1"_qs)), expected.cells());
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_GUILESS_MAIN(TestAdoQueryWrite)
#include "tst_adoquerywrite.moc"
