// Parses a BIFF workbook stream into the sheet model: the globals and one worksheet's cells.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace workbook::xls {

// Reads the worksheet named sheetName (without regard to case) from a Workbook (BIFF8, biff 8)
// or Book (BIFF5/7, biff 5) stream into sheet. path names the workbook in messages, as
// displayPath() gives it. Throws CommandError: damaged, protected by a password, no such sheet,
// or a chart or macro sheet of that name.
void parseWorkbookStream(const QByteArray &stream, int biff, const QString &path,
                         const QString &sheetName, SheetData &sheet);

// The names of the stream's worksheets in BOUNDSHEET order, read from the globals alone; the
// other kinds of sheet are left out. Throws CommandError as parseWorkbookStream does.
QStringList worksheetNames(const QByteArray &stream, int biff, const QString &path);

} // namespace workbook::xls
