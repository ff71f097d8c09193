// A cell's element as an edit writes it into an OpenDocument content part: the value in the
// type its style shows (a number in a date style as a date), text as paragraphs with
// OpenDocument's white-space elements, and the cell's style, attributes and children other
// than its value kept.
#pragma once

#include "workbook/ods/odssheetindex.h"
#include "workbook/sheetchange.h"

#include <QByteArray>

namespace workbook::ods {

// Throws CommandError when the cell cannot hold the value: checkCellValue's refusals, and a text
// holding a character XML 1.0 cannot hold (which a text of an .xls or .xlsx cell may).
void checkValue(int row, int column, const EditValue &value, const SheetLimits &limits);

// The cell's element made anew from the old one (or none) for the value, in the row as parsed:
// its style, its other attributes and its children other than text kept; its value, type and
// formula replaced. Throws CommandError for a date the format does not have.
QByteArray newCell(const SheetIndex &index, const SheetRow &row, const CellItem *old, int column,
                   const EditValue &value);

} // namespace workbook::ods
