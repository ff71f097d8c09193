// What in an OpenDocument spreadsheet depends on the row positions of sheet1, and whether
// formulas read its cells: formulas on any sheet, named ranges and expressions, database ranges
// (filters and tables), pivot tables, charts, and sheet1's own merged cells, comments, links,
// validations, conditional formats and shapes anchored to its cells. Deleting a row shifts the
// rows below, so anything found here refuses the delete.
#pragma once

#include "workbook/ods/odspackage.h"
#include "workbook/sheetreferences.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace workbook::ods {

// Scans the content part (UTF-8) and the package's embedded objects (charts). Throws
// DamagedFile.
SheetReferences findReferences(const Package &package, const QByteArray &content,
                               const QString &sheetName = QStringLiteral("sheet1"));

// Whether a cell range address list ("Sheet1.A1:Sheet1.B5 $'My sheet'.C3") names the sheet;
// an address without a sheet is on contextSheet.
bool addressNamesSheet(QStringView addresses, const QString &sheet, const QString &contextSheet);

// What an OpenFormula expression ("of:=SUM([.A1:.B3])*Rate") refers to.
struct FormulaReferences {
    bool any = false;   // cells, ranges or names at all
    bool sheet = false; // a reference on the sheet (or one that may cover it)
};
FormulaReferences formulaReferences(QStringView formula, const QString &sheet,
                                    const QString &contextSheet);

} // namespace workbook::ods
