// Reads one worksheet of an .xls file: an Excel 97-2003 (BIFF8) or Excel 5.0/95 (BIFF5/7)
// workbook stream inside an OLE2 compound file. Every length and offset in the file is checked;
// a damaged file gives an error, never a crash.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace workbook::xls {

struct XlsSheet {
    std::unique_ptr<SheetData> sheet;
    int biffVersion = 8; // 8, or 5 for Excel 5.0/95
};

// Reads the named sheet (compared without regard to case) from the bytes of an .xls file;
// fileName names the file in messages. Throws CommandError with the message for the user.
XlsSheet readXlsSheet(const QByteArray &bytes, const QString &fileName, const QString &sheetName);

} // namespace workbook::xls
