// Reads one sheet of an OpenDocument spreadsheet (.ods) into the sheet model the .xls reader
// fills: floats, percentages, money, dates, times, truth values, texts of several paragraphs,
// errors and formulas' cached results. Repeated rows and columns are expanded only where they
// hold values, so a sheet that repeats an empty row a million times opens at once.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArrayView>
#include <QString>

namespace workbook::ods {

// Reads the sheet of that name (compared without regard to case) into sheet; path names the
// file in messages, as displayPath() gives it. Throws CommandError.
void readWorkbook(QByteArrayView bytes, const QString &path, const QString &sheetName,
                  SheetData &sheet);

} // namespace workbook::ods
