// The .xlsx format: an Office Open XML spreadsheet, a zip package whose [Content_Types].xml names
// a workbook part. Read (xlsxreader) from the sheet's part that the package's relationships
// lead to; written back (xlsxwriter) in sheet1's part, with the workbook part and the
// calculation chain where formulas need it, every other entry keeping its compressed bytes.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::xlsx {

class XlsxFormat : public FunctionsFormat {
public:
    XlsxFormat();
};

// The .xlsx format to the registry: "Excel 2007 workbook(*.xlsx)", asked after the .ods format.
extern const FormatDeclaration Declaration;

} // namespace workbook::xlsx
