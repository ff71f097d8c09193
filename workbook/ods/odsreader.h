// Reads one sheet of an OpenDocument spreadsheet (.ods) into the sheet model the .xls reader
// fills: floats, percentages, money, dates, times, truth values, texts of several paragraphs,
// errors and formulas' cached results. Repeated rows and columns are expanded only where they
// hold values, so a sheet that repeats an empty row a million times opens at once.
#pragma once

#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace workbook::ods {

// The names of the document's sheets (its tables) in content.xml's order, as it writes them.
// Throws the CommandError readSheet gives for a damaged or encrypted package.
QStringList sheetNames(const QByteArray &bytes, const QString &fileName);

// Reads the sheet of that name (compared without regard to case) from the file's bytes;
// fileName names the file in messages. Throws CommandError.
std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName);

// How the rows of a sheet are read. Usual: a big sheet's in two halves at once, each row of the
// shape LibreOffice writes by the fast row reader, any other by the scanner. The others are for
// the tests that compare the two: every row by the scanner in one pass, or every sheet in two
// halves (where it parts cleanly) with the fast row reader, whatever its size. fastRows, when
// given, gets how many rows the fast row reader read.
enum class RowReading { Usual, Scanner, Halves };
std::unique_ptr<SheetData> readSheetRows(const QByteArray &bytes, const QString &fileName,
                                         const QString &sheetName, RowReading reading,
                                         std::int64_t *fastRows = nullptr);

} // namespace workbook::ods
