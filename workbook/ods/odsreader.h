// Reads one sheet of an OpenDocument spreadsheet (.ods) into the sheet model the .xls reader
// fills: floats, percentages, money, dates, times, truth values, texts of several paragraphs,
// errors and formulas' cached results. Repeated rows and columns are expanded only where they
// hold values, so a sheet that repeats an empty row a million times opens at once.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace workbook::ods {

// Reads the sheet of that name (compared without regard to case) from the file's bytes;
// fileName names the file in messages. Throws CommandError.
std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName);

} // namespace workbook::ods
