// What kind of workbook a file holds, decided by its content and never by its name.
#pragma once

#include <QByteArrayView>

namespace workbook {

enum class FormatKind {
    Xls,  // an OLE2 compound file: Excel 97-2003 or 5.0/95, or an encrypted Office document
    Xlsx, // a zip package whose [Content_Types].xml names a spreadsheet's workbook part
    Ods,  // a zip whose first entry "mimetype" says OpenDocument spreadsheet
    Unknown,
};

FormatKind formatKind(QByteArrayView bytes);

} // namespace workbook
