// What in an .xlsx workbook depends on the row positions of sheet1, and whether formulas read
// its cells: formulas on any sheet, defined names, charts, pivot caches, and the sheet's own
// merged cells, comments, drawings, hyperlinks, formats, validations, filters and tables.
// Deleting a row shifts the rows below, so anything found here refuses the delete.
#pragma once

#include "workbook/sheetreferences.h"
#include "workbook/xlsx/xlsxpackage.h"

#include <QStringList>

namespace workbook::xlsx {

// Scans the package; sheetXml is the sheet's part as UTF-8. Throws DamagedFile.
SheetReferences findReferences(const Package &package, const SheetEntry &sheet,
                               const QByteArray &sheetXml);

// Whether formulas may read the sheet's cells, so that their cached results go stale when a cell
// changes: the sheet's own (sheetHasFormulas), those of other worksheets naming it, and any
// formula elsewhere when a defined name refers to it. Reads only the parts that hold formulas.
bool formulasReadSheet(const Package &package, const SheetEntry &sheet, bool sheetHasFormulas);

// Whether a formula's text refers to cells (or names) at all: "1+2" does not, "A1*2" and
// "Places" do.
bool formulaHasReferences(QStringView formula);
// Whether a formula's text names the sheet in a reference ('Sheet1'!A1, sheet1!A1:B2), or
// may cover it (a 3-D reference Sheet0:Sheet2!A1).
bool formulaNamesSheet(QStringView formula, const QString &sheetName);

} // namespace workbook::xlsx
