// Sheet changes, cell names, and the refusals of edits.
#include "workbook/sheetchange.h"

#include "common/commanderror.h"

#include <cmath>

namespace workbook {

SheetChange SheetChange::setCell(int row, int column, EditValue value) {
    SheetChange c;
    c.kind = Kind::SetCell;
    c.row = row;
    c.column = column;
    c.value = std::move(value);
    return c;
}

SheetChange SheetChange::appendRow(QList<EditValue> values) {
    SheetChange c;
    c.kind = Kind::AppendRow;
    c.values = std::move(values);
    return c;
}

SheetChange SheetChange::deleteRow(int row) {
    SheetChange c;
    c.kind = Kind::DeleteRow;
    c.row = row;
    return c;
}

// Positions are counted in 64 bits: a refusal names the position asked for, which may be the
// largest int.
QString cellName(int row, int column) {
    QString letters;
    for (qint64 c = qint64(column) + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + int((c - 1) % 26)));
    return letters + QString::number(qint64(row) + 1);
}

void checkCellPosition(int row, int column, const SheetLimits &limits) {
    if (row < 0 || row >= limits.rows || column < 0 || column >= limits.columns)
        throw CommandError(QStringLiteral("There is no cell at row %1, column %2 of sheet1; a "
                                          "sheet has %3 rows and %4 columns")
                               .arg(qint64(row) + 1)
                               .arg(qint64(column) + 1)
                               .arg(limits.rows)
                               .arg(limits.columns));
}

void checkCellValue(int row, int column, const EditValue &value, const SheetLimits &limits) {
    if (const QString *text = std::get_if<QString>(&value)) {
        if (text->size() > limits.textLength)
            throw CommandError(
                QStringLiteral("The text for cell %1 has %2 characters; a cell holds at most %3")
                    .arg(cellName(row, column))
                    .arg(text->size())
                    .arg(limits.textLength));
    } else if (const double *number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number))
            throw CommandError(QStringLiteral("Cell %1 cannot hold an infinite or undefined number")
                                   .arg(cellName(row, column)));
    }
}

void checkAppendedRow(int row, const QList<EditValue> &values, const SheetLimits &limits) {
    if (values.size() > limits.columns)
        throw CommandError(QStringLiteral("A row of sheet1 holds at most %1 cells; %2 were given")
                               .arg(limits.columns)
                               .arg(values.size()));
    if (row >= limits.rows)
        throw CommandError(
            QStringLiteral("sheet1 is full: it cannot hold more than %1 rows").arg(limits.rows));
    for (int c = 0; c < values.size(); ++c)
        checkCellValue(row, c, values[c], limits);
}

void checkDeletedRow(int row, int lastRow, const std::function<QStringList()> &rowPositionUsers) {
    if (row < 0 || row > lastRow)
        throw CommandError(QStringLiteral("Row %1 of sheet1 does not exist").arg(qint64(row) + 1));
    const QStringList users = rowPositionUsers();
    if (users.isEmpty())
        return;
    QString list = users.first();
    for (int i = 1; i < users.size(); ++i)
        list += (i == users.size() - 1 ? QStringLiteral(" and ") : QStringLiteral(", ")) + users[i];
    throw CommandError(QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to row "
                                      "positions; clear the row's cells instead")
                           .arg(list));
}

void inArrayFormula(int row, int column) {
    throw CommandError(QStringLiteral("Cell %1 of sheet1 is part of an array formula or data "
                                      "table and cannot be changed on its own")
                           .arg(cellName(row, column)));
}

void sharedFormulaCell(int row, int column) {
    throw CommandError(QStringLiteral("Cell %1 of sheet1 holds a formula that other cells share "
                                      "and cannot be changed on its own")
                           .arg(cellName(row, column)));
}

} // namespace workbook
