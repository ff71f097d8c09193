// Changes to a sheet as the dataset asks for them, whatever the file's format: set a cell,
// append a row, delete a row; what a write of them reports back; and the refusals every
// format's editor gives alike, worded once.
#pragma once

#include "workbook/fileidentity.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <variant>

namespace workbook {

// What an edit puts into a cell: nothing, a number or a text.
using EditValue = std::variant<std::monostate, double, QString>;

// One change to the sheet, addressed by 0-based row and column. A batch applies in order, each
// change seeing the rows as the changes before it left them.
struct SheetChange {
    enum class Kind { SetCell, AppendRow, DeleteRow };
    Kind kind = Kind::SetCell;
    int row = 0;
    int column = 0;
    EditValue value;         // SetCell
    QList<EditValue> values; // AppendRow, from column 0

    static SheetChange setCell(int row, int column, EditValue value);
    static SheetChange appendRow(QList<EditValue> values);
    static SheetChange deleteRow(int row);
};

struct WriteResult {
    FileIdentity identity; // of the file as it now is
    QList<int> rows;       // the row each change addressed; for an append, the row written
};

// The A1-style name of a 0-based cell position ("D5"), as messages name cells.
QString cellName(int row, int column);

// What a format's sheet and cell hold at most, which edits are checked against.
struct SheetLimits {
    int rows;
    int columns;
    int textLength;
};

// Each check throws CommandError with the refusal the user reads, and returns when the edit may
// go ahead. A cell outside the sheet:
void checkCellPosition(int row, int column, const SheetLimits &limits);
// A value the cell cannot hold: a text too long, a number that is infinite or undefined.
void checkCellValue(int row, int column, const EditValue &value, const SheetLimits &limits);
// A row to be written at row with these values: more values than columns, a sheet that is full,
// a value a cell cannot hold.
void checkAppendedRow(int row, const QList<EditValue> &values, const SheetLimits &limits);
// A row to be deleted: it must exist (lastRow is the last), and nothing may refer to row
// positions. rowPositionUsers says what does, in words ("merged cells"); it is asked only when
// the row exists.
void checkDeletedRow(int row, int lastRow, const std::function<QStringList()> &rowPositionUsers);
// A cell that cannot be changed on its own: part of an array formula or data table, or the cell
// whose formula others share.
[[noreturn]] void inArrayFormula(int row, int column);
[[noreturn]] void sharedFormulaCell(int row, int column);

// Applies one change through an editor's setCell(row, column, value), appendRow(values) and
// deleteRow(row, deleteArgs...); returns the row the change addressed (for an append, the row
// written).
template <typename Editor, typename... DeleteArgs>
int applyChange(Editor &editor, const SheetChange &change, const DeleteArgs &...deleteArgs) {
    switch (change.kind) {
    case SheetChange::Kind::SetCell:
        editor.setCell(change.row, change.column, change.value);
        break;
    case SheetChange::Kind::AppendRow:
        return editor.appendRow(change.values);
    case SheetChange::Kind::DeleteRow:
        editor.deleteRow(change.row, deleteArgs...);
        break;
    }
    return change.row;
}

} // namespace workbook
