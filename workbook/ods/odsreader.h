// Reads one sheet of an OpenDocument spreadsheet (.ods) into the sheet model the .xls reader
// fills: floats, percentages, money, dates, times, truth values, texts of several paragraphs,
// errors and formulas' cached results. Repeated rows and columns are expanded only where they
// hold values, so a sheet that repeats an empty row a million times opens at once.
#pragma once

#include "sources/workbook/workbookreader.h"

#include <QByteArrayView>
#include <QString>

namespace workbook::ods {

// Reads the sheet of that name (compared without regard to case) into sheet. False with the
// user's message in error; path names the file in it.
bool readWorkbook(QByteArrayView bytes, const QString &path, const QString &sheetName,
                  SheetData &sheet, QString &error);

} // namespace workbook::ods
