// The .xls format: an OLE2 compound file holding an Excel 97-2003 (BIFF8) workbook stream, or
// an Excel 5.0/95 (BIFF5/7) one, which is read but not written.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::xls {

// Whether the bytes are an OLE2 compound file, the container of every .xls file.
bool isXlsFile(const QByteArray &bytes);

// The sheet list and the reader (xlsreader), the writability check and the write-back
// (xlswriter).
class XlsFormat : public FunctionsFormat {
public:
    XlsFormat();
};

// The .xls format to the registry: "Excel file(*.xls)", and the first format it asks.
extern const FormatDeclaration Declaration;

} // namespace workbook::xls
