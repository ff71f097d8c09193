// Reads one worksheet of an .xls file: an Excel 97-2003 (BIFF8) or Excel 5.0/95 (BIFF5/7)
// workbook stream inside an OLE2 compound file. Every length and offset in the file is checked;
// a damaged file gives an error, never a crash.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace workbook::xls {

struct XlsSheet {
    std::unique_ptr<SheetData> sheet;
    int biffVersion = 8; // 8, or 5 for Excel 5.0/95
};

// Reads the named sheet (compared without regard to case) from the bytes of an .xls file;
// fileName names the file in messages. Throws CommandError with the message for the user.
XlsSheet readXlsSheet(const QByteArray &bytes, const QString &fileName, const QString &sheetName);

// The names of the workbook's worksheets in BOUNDSHEET order, as the workbook spells them; chart
// sheets, macro sheets and VB modules, which readXlsSheet refuses, are left out. Throws the
// CommandError readXlsSheet gives for a damaged or protected file.
QStringList xlsSheetNames(const QByteArray &bytes, const QString &fileName);

} // namespace workbook::xls
