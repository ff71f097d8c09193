// Reads a delimited text file (.csv, .tsv, .txt) as the one sheet it is, named sheet1: each
// record a row (empty records too, as rows without cells), each field a text cell exactly as
// written, an empty field an empty cell. A delimited file has no types, so no text is read as a
// number or a date.
#pragma once

#include "workbook/csv/csvdialect.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace workbook::csv {

// A sheet holds at most these, as in the other formats.
inline constexpr int SheetRows = 1048576, SheetColumns = 16384, MaxCellText = 32767;
// Beyond this many cells with values a file is not read: each takes 16 bytes (as .ods).
inline constexpr std::size_t MaxCells = std::size_t(1) << 25;

// The sheet of that name, which must be sheet1 (compared without regard to case), from the
// file's bytes; fileName names the file in messages. Throws CommandError.
std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName);

// The same, telling also the file's dialect and whether it ends inside a quoted field.
std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName, Dialect *dialect, bool *endsInQuote);

// The names of the file's sheets: always the one, sheet1.
QStringList csvSheetNames(const QByteArray &bytes);

} // namespace workbook::csv
