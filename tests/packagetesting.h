// Helpers for the tests of zip workbooks (.xlsx, .ods): a sheet as a map of values to compare
// before and after, a fixture's copy opened as the dataset opens it, seeded random batches of
// changes and the model they leave, packages made with parts replaced, the entries of two
// archives compared byte for byte, and the message of a refusal.
#pragma once

#include "common/zip/ziparchive.h"
#include "testsupport.h"
#include "workbook/formatregistry.h"
#include "workbook/sheetchange.h"
#include "workbook/xlsx/xlsxpackage.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <variant>

Q_DECLARE_METATYPE(workbook::SheetChange)

namespace packagetesting {

// What a cell holds, as the tests model it: a number, a text, or a value of another kind left
// as it was read (a truth value, an error), compared by its text.
using Value = std::variant<double, QString>;
using Model = std::map<std::pair<int, int>, Value>;

inline Model modelOf(const workbook::SheetData &s) {
    using workbook::CellKind;
    Model m;
    for (const workbook::Cell &c : s.cells()) {
        if (c.kind == CellKind::Text)
            m[{c.row, c.column}] = s.text(c);
        else if (c.kind == CellKind::Number || c.kind == CellKind::Date ||
                 c.kind == CellKind::Currency)
            m[{c.row, c.column}] = c.number;
        else
            m[{c.row, c.column}] = QStringLiteral("<kind %1>").arg(int(c.kind) * 256 + c.code);
    }
    return m;
}

// Sheet1 of the file as the dataset reads it, and the identity a write checks; false, with a
// warning, when it cannot be read.
inline bool readSheet(const QString &path, workbook::SheetData &sheet,
                      workbook::FileIdentity &identity) {
    try {
        const QByteArray bytes = workbook::readWorkbookFile(path);
        workbook::SheetRead read =
            workbook::formatOf(bytes, path).read(bytes, path, QStringLiteral("sheet1"));
        sheet = std::move(*read.sheet);
        identity = read.identity;
    } catch (const CommandError &e) {
        qWarning() << e.message();
        return false;
    }
    return true;
}

// A fixture copied to copy (replacing what is there) and read as the dataset reads it: the
// copy's bytes, sheet1 and the identity a write checks. ok is false, with a warning, when the
// copy or the read fails.
struct OpenedCopy {
    QString path;
    QByteArray bytes;
    workbook::SheetData sheet;
    workbook::FileIdentity identity;
    bool ok = false;
};

inline OpenedCopy openCopy(const QString &fixture, const QString &copy) {
    OpenedCopy out;
    out.path = copy;
    QFile::remove(copy);
    if (!QFile::copy(fixture, copy)) {
        qWarning() << "cannot copy" << fixture;
        return out;
    }
    out.bytes = testsupport::readFile(copy);
    out.ok = readSheet(copy, out.sheet, out.identity);
    return out;
}

// One batch of one to three seeded changes: set a cell in the first rows and columns (value
// nothing, a text of text(), or a number), append a row of one to four such values, or delete
// one of the first rows.
inline std::vector<workbook::SheetChange>
randomChanges(QRandomGenerator &rng, int rows, int columns,
              const std::function<QString(QRandomGenerator &)> &text) {
    using workbook::EditValue;
    using workbook::SheetChange;
    std::vector<SheetChange> changes;
    for (int n = 1 + rng.bounded(3); n > 0; --n) {
        const int what = rng.bounded(10);
        auto value = [&]() -> EditValue {
            switch (rng.bounded(4)) {
            case 0:
                return std::monostate();
            case 1:
                return text(rng);
            default:
                return double(rng.bounded(2000000) - 1000000) / 1024.0;
            }
        };
        if (what < 6) {
            changes.push_back(
                SheetChange::setCell(rng.bounded(rows), rng.bounded(columns), value()));
        } else if (what < 8) {
            QList<EditValue> values;
            for (int c = 1 + rng.bounded(4); c > 0; --c)
                values << value();
            changes.push_back(SheetChange::appendRow(values));
        } else {
            changes.push_back(SheetChange::deleteRow(rng.bounded(rows)));
        }
    }
    return changes;
}

// The model as the changes written leave it; rows are the rows the write says each change
// addressed, asRead what the reader gives back for a text written.
inline void applyToModel(
    Model &model, const std::vector<workbook::SheetChange> &changes, const QList<int> &rows,
    const std::function<QString(const QString &)> &asRead = [](const QString &t) { return t; }) {
    using workbook::EditValue;
    using workbook::SheetChange;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const SheetChange &c = changes[i];
        auto put = [&](int row, int column, const EditValue &v) {
            if (std::holds_alternative<std::monostate>(v))
                model.erase({row, column});
            else if (const double *d = std::get_if<double>(&v))
                model[{row, column}] = *d;
            else
                model[{row, column}] = asRead(std::get<QString>(v));
        };
        if (c.kind == SheetChange::Kind::SetCell) {
            put(c.row, c.column, c.value);
        } else if (c.kind == SheetChange::Kind::AppendRow) {
            for (int k = 0; k < c.values.size(); ++k)
                put(rows[qsizetype(i)], k, c.values[k]);
        } else {
            Model moved;
            for (const auto &[at, v] : model)
                if (at.first != c.row)
                    moved[{at.first > c.row ? at.first - 1 : at.first, at.second}] = v;
            model = std::move(moved);
        }
    }
}

// How a round trip draws its batches: how many, the texts, the refusals a batch may meet, and
// what the reader gives back for a text written (see applyToModel). Cells are set in the rows
// of the sheet and two more, and in its columns and one more (at least minColumns + 1, at most
// maxColumns); rows are deleted among the same rows.
struct RandomBatches {
    int batches = 0;
    int minColumns = 1;
    int maxColumns = std::numeric_limits<int>::max();
    std::function<QString(QRandomGenerator &)> text;
    std::function<bool(const QString &refusal)> mayRefuse;
    std::function<QString(const QString &)> asRead = [](const QString &t) { return t; };
};

using WriteChanges =
    std::function<workbook::WriteResult(const QString &path, const workbook::FileIdentity &opened,
                                        const std::vector<workbook::SheetChange> &changes)>;

// Writes batches drawn from the seed into the copy, one write each, the copy's identity following
// every write, and returns the model of sheet1 as they leave it (alongside, another model, takes
// the same changes); a refusal must be one the batches may meet, and leaves the file as it was. A
// failed check fails the test (QTest::currentTestFailed()).
inline Model writeRandomBatches(OpenedCopy &book, quint32 seed, const RandomBatches &how,
                                const WriteChanges &write, Model *alongside = nullptr) {
    Model model = modelOf(book.sheet);
    QRandomGenerator rng{seed};
    const int rows = std::max(book.sheet.firstRow() + book.sheet.rowCount(), 1) + 2;
    const int columns =
        std::min(std::max(book.sheet.firstColumn() + book.sheet.columnCount(), how.minColumns) + 1,
                 how.maxColumns);
    for (int batch = 0; batch < how.batches; ++batch) {
        const std::vector<workbook::SheetChange> changes =
            randomChanges(rng, rows, columns, how.text);
        const QByteArray before = testsupport::readFile(book.path);
        workbook::WriteResult result;
        const QString refusal =
            testsupport::errorOf([&] { result = write(book.path, book.identity, changes); });
        if (!refusal.isEmpty()) {
            [&] {
                QVERIFY2(how.mayRefuse(refusal), qPrintable(refusal));
                QCOMPARE(testsupport::readFile(book.path), before);
            }();
            if (QTest::currentTestFailed())
                return model;
            continue;
        }
        book.identity = result.identity;
        [&] { QCOMPARE(result.rows.size(), qsizetype(changes.size())); }();
        if (QTest::currentTestFailed())
            return model;
        applyToModel(model, changes, result.rows, how.asRead);
        if (alongside)
            applyToModel(*alongside, changes, result.rows, how.asRead);
    }
    return model;
}

// A cell whose formula another program computes anew when it opens the file, as marked in a
// model of sheet1 that the changes were applied to: one that reads sheet1 (its result follows
// the edits) or one with no stored result (read as empty).
inline const QString Recomputed = QStringLiteral("<recomputed>");

// The model with the named cells of sheet1 ("Sheet1!E5", any case) marked Recomputed.
inline Model withRecomputed(Model model, const QStringList &cells) {
    for (const QString &name : cells) {
        int row = 0, column = 0;
        if (name.section(u'!', 0, 0).compare(u"sheet1", Qt::CaseInsensitive) == 0 &&
            workbook::xlsx::parseCellName(name.section(u'!', 1).toLatin1(), row, column))
            model[{row, column}] = Recomputed;
    }
    return model;
}

// A workbook a round trip wrote, kept for the readers that read them all in one run: its
// fixture, the model of sheet1 after the changes and the one with recomputed cells marked
// (withRecomputed), the date system, and the recomputed cells ("Refs!A1").
struct Written {
    QString original, path;
    Model model, marked;
    bool date1904 = false;
    QStringList recomputed;
};

// Writes the change into a copy of the fixture named copyName: refused with message, the file
// as it was, no other file beside it. A failed check fails the test.
inline void checkRefused(const QString &fixture, const QString &copyName,
                         const workbook::SheetChange &change, const QString &message,
                         const WriteChanges &write) {
    QTemporaryDir dir;
    const OpenedCopy book = openCopy(fixture, dir.filePath(copyName));
    QVERIFY(book.ok);
    QCOMPARE(testsupport::errorOf([&] { write(book.path, book.identity, {change}); }), message);
    QCOMPARE(testsupport::readFile(book.path), book.bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{copyName});
}

// Writes a change into a copy of the fixture that another program replaced with other since it
// was read: refused with the message that says so, the other program's file left as it is.
inline void checkChangedOnDisk(const QString &fixture, const QString &other,
                               const QString &copyName, const WriteChanges &write) {
    QTemporaryDir dir;
    const OpenedCopy book = openCopy(fixture, dir.filePath(copyName));
    QVERIFY(book.ok);
    QVERIFY(QFile::remove(book.path) && QFile::copy(other, book.path));
    const QByteArray changed = testsupport::readFile(book.path);
    QCOMPARE(testsupport::errorOf([&] {
                 write(book.path, book.identity, {workbook::SheetChange::setCell(1, 1, 2.0)});
             }),
             QStringLiteral("The workbook \"%1\" was changed by another program since it was "
                            "opened or last refreshed. Refresh the data, then make the change "
                            "again")
                 .arg(QDir::toNativeSeparators(book.path)));
    QCOMPARE(testsupport::readFile(book.path), changed); // the other program's file untouched
}

// A package laid out as the template's, its entries copied as they stand but for the parts
// named in the changes.
inline QByteArray withParts(const QByteArray &templateBytes,
                            const std::vector<zip::EntryChange> &changes) {
    const zip::Archive archive(templateBytes);
    QByteArray out;
    zip::rewrite(archive, changes, [&](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

// Rows of a refusals table (file, change, message) for what every format refuses alike: a text
// too long, a number that is none, a row that does not exist, a position past the sheet's
// 1,048,576 rows, a row wider than the sheet. file is a fixture with a cell B2 and fewer than 41
// rows; columns is its sheet's width.
inline void addLimitRefusals(const QString &file, int columns) {
    using workbook::EditValue;
    using workbook::SheetChange;
    QTest::newRow("text too long")
        << file << SheetChange::setCell(1, 1, QString(32768, u'x'))
        << QStringLiteral("The text for cell B2 has 32768 characters; a cell holds at most 32767");
    QTest::newRow("not a number") << file << SheetChange::setCell(1, 1, qQNaN())
                                  << QStringLiteral(
                                         "Cell B2 cannot hold an infinite or undefined number");
    QTest::newRow("no such row") << file << SheetChange::deleteRow(40)
                                 << QStringLiteral("Row 41 of sheet1 does not exist");
    // Positions as large as an int goes, counted past it in the message.
    QTest::newRow("the largest row and column numbers")
        << file << SheetChange::setCell(2147483647, 2147483647, 1.0)
        << QStringLiteral("There is no cell at row 2147483648, column 2147483648 of sheet1; a "
                          "sheet has 1048576 rows and %1 columns")
               .arg(columns);
    QTest::newRow("the largest row number deleted")
        << file << SheetChange::deleteRow(2147483647)
        << QStringLiteral("Row 2147483648 of sheet1 does not exist");
    QList<EditValue> wide;
    for (int i = 0; i < columns + 1; ++i)
        wide << EditValue(1.0);
    QTest::newRow("row too wide") << file << SheetChange::appendRow(wide)
                                  << QStringLiteral(
                                         "A row of sheet1 holds at most %1 cells; %2 were given")
                                         .arg(columns)
                                         .arg(columns + 1);
}

using testsupport::errorOf;

// Entries other than the named ones: the same local header, data and central record but for
// its offset. Empty when they all are.
inline QString untouchedDiffer(const QByteArray &before, const QByteArray &after,
                               const QList<QByteArray> &rewritten) {
    const zip::Archive a(before), b(after);
    for (const zip::Entry &e : a.entries()) {
        if (rewritten.contains(e.name))
            continue;
        const zip::Entry *n = b.find(e.name);
        if (!n)
            return QString::fromUtf8(e.name) + " is missing";
        if (a.raw(e) != b.raw(*n))
            return QString::fromUtf8(e.name) + " differs";
        QByteArray c1 = a.centralRecord(e).toByteArray(), c2 = b.centralRecord(*n).toByteArray();
        c1.replace(42, 4, "\0\0\0\0", 4);
        c2.replace(42, 4, "\0\0\0\0", 4);
        if (c1 != c2)
            return QString::fromUtf8(e.name) + " has another central record";
    }
    return QString();
}

// The entries' names in the order their bytes stand.
inline QStringList entryOrder(const QByteArray &bytes) {
    QStringList names;
    std::vector<zip::Entry> entries = zip::Archive(bytes).entries();
    std::sort(entries.begin(), entries.end(), [](const zip::Entry &x, const zip::Entry &y) {
        return x.localOffset < y.localOffset;
    });
    for (const zip::Entry &e : entries)
        names << QString::fromUtf8(e.name);
    return names;
}

inline QByteArray part(const QByteArray &bytes, const QByteArray &name) {
    const zip::Archive a(bytes);
    const zip::Entry *e = a.find(name);
    return e ? a.read(*e) : QByteArray();
}

} // namespace packagetesting
