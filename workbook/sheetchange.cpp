// Sheet changes and cell names.
#include "workbook/sheetchange.h"

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

QString cellName(int row, int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

} // namespace workbook
