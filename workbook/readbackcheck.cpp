// The batch is replayed on positions alone: the cells it writes, the rows it appends and the rows
// it deletes, each delete moving what the batch wrote before it. The sheet read back is then
// looked at where those positions say, and, with the sheet as read before, everywhere.
#include "workbook/readbackcheck.h"

#include "common/commanderror.h"
#include "workbook/fieldtext.h"
#include "workbook/workbookerrors.h"
#include "workbook/xml/xmlscanner.h"

#include <cmath>

namespace workbook {

namespace {

// A date written into an .ods cell is kept to the millisecond.
constexpr double DateTolerance = 1.0 / 86400000.0;

// The refusal names numbers in the form a file holds them: a write knows nothing of the user's
// decimal separator.
constexpr QChar MessageSeparator = u'.';

bool isNumeric(CellKind kind) {
    return kind == CellKind::Number || kind == CellKind::Date || kind == CellKind::Currency;
}

QString quoted(QStringView text) {
    constexpr qsizetype Shown = 40;
    return QStringLiteral("\"%1\"").arg(
        text.size() > Shown ? text.first(Shown).toString() + QChar(0x2026) : text.toString());
}

// A cell as the message shows it.
QString shown(const SheetData &sheet, const Cell *cell) {
    if (!cell || (cell->kind == CellKind::Text && sheet.strings.length(cell->text) == 0))
        return QStringLiteral("empty");
    if (cell->kind == CellKind::Text)
        return quoted(sheet.strings.view(cell->text));
    return fieldtext::cellText(sheet, cell, MessageSeparator);
}

// A value written, as the message shows it next to the cell found.
QString shown(const EditValue &value, const SheetData &written, const Cell *found) {
    if (const QString *text = std::get_if<QString>(&value))
        return text->isEmpty() ? QStringLiteral("empty") : quoted(*text);
    if (const double *number = std::get_if<double>(&value))
        return found && found->kind == CellKind::Date
                   ? fieldtext::dateTime(*number, written.date1904, MessageSeparator)
                   : fieldtext::number(*number, MessageSeparator);
    return QStringLiteral("empty");
}

bool isEmpty(const SheetData &sheet, const Cell *cell) {
    return !cell || (cell->kind == CellKind::Text && sheet.strings.length(cell->text) == 0);
}

bool holds(const SheetData &sheet, const Cell *cell, const EditValue &value) {
    if (const double *number = std::get_if<double>(&value)) {
        if (!cell || !isNumeric(cell->kind))
            return false;
        return cell->number == *number ||
               (cell->kind == CellKind::Date && std::fabs(cell->number - *number) <= DateTolerance);
    }
    const QString *text = std::get_if<QString>(&value);
    if (!text || text->isEmpty())
        return isEmpty(sheet, cell);
    return cell && cell->kind == CellKind::Text && sheet.strings.view(cell->text) == *text;
}

// The same value, each cell of its own sheet.
bool same(const SheetData &a, const Cell &x, const SheetData &b, const Cell *y) {
    if (!y || x.kind != y->kind)
        return isEmpty(a, &x) && isEmpty(b, y);
    switch (x.kind) {
    case CellKind::Text:
        return a.strings.view(x.text) == b.strings.view(y->text);
    case CellKind::Bool:
    case CellKind::Error:
        return x.code == y->code;
    case CellKind::Empty:
        return true;
    default:
        return x.number == y->number;
    }
}

} // namespace

ReadBackCheck::ReadBackCheck(const std::vector<SheetChange> &changes, const QList<int> &rows,
                             TextAsRead asRead) {
    auto put = [&](int row, int column, EditValue value) {
        if (QString *text = std::get_if<QString>(&value); text && asRead)
            *text = asRead(*text);
        m_written[{row, column}] = std::move(value);
    };
    // The rows of this batch's changes are the last ones the write reported.
    const qsizetype first = rows.size() - qsizetype(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const SheetChange &change = changes[i];
        const int row = first + qsizetype(i) >= 0 ? rows[first + qsizetype(i)] : change.row;
        switch (change.kind) {
        case SheetChange::Kind::SetCell:
            put(change.row, change.column, change.value);
            break;
        case SheetChange::Kind::AppendRow:
            m_newRows.insert(row);
            for (int k = 0; k < change.values.size(); ++k)
                put(row, k, change.values[k]);
            break;
        case SheetChange::Kind::DeleteRow: {
            std::map<Position, EditValue> moved;
            for (auto &[at, value] : m_written)
                if (at.first != change.row)
                    moved.emplace(
                        Position{at.first > change.row ? at.first - 1 : at.first, at.second},
                        std::move(value));
            m_written = std::move(moved);
            std::set<int> newRows;
            for (int r : m_newRows)
                if (r != change.row)
                    newRows.insert(r > change.row ? r - 1 : r);
            m_newRows = std::move(newRows);
            m_deleted.push_back(change.row);
            break;
        }
        }
    }
}

ReadBackCheck::Moved ReadBackCheck::after(int row) const {
    for (int deleted : m_deleted) {
        if (row == deleted)
            return Moved{true, 0};
        if (row > deleted)
            --row;
    }
    return Moved{false, row};
}

int ReadBackCheck::beforeRow(int row) const {
    for (auto it = m_deleted.rbegin(); it != m_deleted.rend(); ++it)
        if (row >= *it)
            ++row;
    return row;
}

void ReadBackCheck::check(const SheetData &written, const SheetData *before) const {
    for (const auto &[at, value] : m_written) {
        const Cell *found = written.cell(at.first, at.second);
        if (!holds(written, found, value))
            writtenDiffers(at.first, at.second, shown(written, found),
                           shown(value, written, found));
    }
    if (before) {
        for (const Cell &c : before->cells()) {
            const Moved to = after(int(c.row));
            if (to.gone)
                continue;
            const Cell *found = written.cell(to.row, c.column);
            // An appended row is laid where the editor found no row: one the reader had cells
            // in would lose them.
            const bool overlaid = m_newRows.count(to.row) && !isEmpty(*before, &c);
            if (!overlaid &&
                (m_written.count({to.row, c.column}) || same(*before, c, written, found)))
                continue;
            writtenDiffers(to.row, c.column, shown(written, found), shown(*before, &c));
        }
    }
    for (const Cell &c : written.cells()) {
        const int row = int(c.row);
        if (m_written.count({row, c.column}) || isEmpty(written, &c))
            continue;
        const bool unexpected =
            m_newRows.count(row) ||
            (before && isEmpty(*before, before->cell(beforeRow(row), c.column)));
        if (unexpected)
            writtenDiffers(row, c.column, shown(written, &c), QStringLiteral("empty"));
    }
}

std::unique_ptr<SheetData> readBack(const std::function<std::unique_ptr<SheetData>()> &read) {
    try {
        return read();
    } catch (const CommandError &) {
    } catch (const DamagedFile &) {
    }
    unreadableAfterWriting();
}

void checkPackageReadBack(
    const ReadBackCheck &check,
    const std::function<std::unique_ptr<SheetData>(const QByteArray &)> &readSheet1,
    QByteArrayView before, const QByteArray &written) {
    auto read = [&](const QByteArray &package) {
        return readBack([&] { return readSheet1(package); });
    };
    std::unique_ptr<SheetData> old;
    if (check.movesRows())
        old = read(QByteArray::fromRawData(before.data(), before.size()));
    check.check(*read(written), old.get());
}

} // namespace workbook
