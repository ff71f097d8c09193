// The .xls format's calls, over its reader and its write-back, and its declaration.
#include "workbook/xls/xlsformat.h"

#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlswriter.h"

namespace workbook::xls {

namespace {

const WorkbookFormat &format() {
    static const XlsFormat xls;
    return xls;
}

} // namespace

bool isXlsFile(const QByteArray &bytes) {
    return hasCompoundFileSignature(bytes);
}

XlsFormat::XlsFormat()
    : FunctionsFormat(
          xlsSheetNames,
          [](const QByteArray &bytes, const QString &fileName, const QString &sheetName) {
              return readXlsSheet(bytes, fileName, sheetName).sheet;
          },
          checkWritable, writeSheetChanges) {}

// An OLE2 compound file is asked about first: an .xls workbook, or an Office document encrypted
// with a password, which the .xls reader names as such.
const FormatDeclaration Declaration{"xls", "Excel file", "*.xls", 300, isXlsFile, format};

} // namespace workbook::xls
