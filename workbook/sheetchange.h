// Changes to a sheet as the dataset asks for them, whatever the file's format: set a cell,
// append a row, delete a row; and what a write of them reports back.
#pragma once

#include "workbook/fileidentity.h"

#include <QList>
#include <QString>

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

} // namespace workbook
