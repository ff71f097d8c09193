// Reads one worksheet of an .xlsx workbook (Office Open XML SpreadsheetML) into the same sheet
// model the .xls reader fills: shared and inline strings, numbers classified by their cell
// style's number format, truth values, errors, formulas' cached results, the 1904 date system.
#pragma once

#include "workbook/numberformat.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace workbook::xlsx {

// The names of the workbook's worksheets in the order of the workbook part's <sheets>, as it
// spells them; chart sheets and dialog sheets, which readSheet refuses, are left out. Throws the
// CommandError readSheet gives for a damaged package.
QStringList sheetNames(const QByteArray &bytes, const QString &fileName);

// Reads the sheet of that name (compared without regard to case) from the file's bytes;
// fileName names the file in messages. Throws CommandError.
std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName);

// The number classes of a styles part's cell formats (cellXfs), by format index.
std::vector<NumberClass> cellFormatClasses(QByteArrayView stylesXml);

} // namespace workbook::xlsx
