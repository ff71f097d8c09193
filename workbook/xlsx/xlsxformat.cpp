// The .xlsx format's three calls, over its reader and its write-back.
#include "workbook/xlsx/xlsxformat.h"

#include "workbook/xlsx/xlsxreader.h"
#include "workbook/xlsx/xlsxwriter.h"

namespace workbook::xlsx {

XlsxFormat::XlsxFormat() : FunctionsFormat(readSheet, checkWritable, writeSheetChanges) {}

} // namespace workbook::xlsx
