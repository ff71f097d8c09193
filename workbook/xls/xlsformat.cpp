// The .xls format's three calls, over its reader and its write-back.
#include "workbook/xls/xlsformat.h"

#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlswriter.h"

namespace workbook::xls {

bool isXlsFile(const QByteArray &bytes) {
    return hasCompoundFileSignature(bytes);
}

XlsFormat::XlsFormat()
    : FunctionsFormat(
          [](const QByteArray &bytes, const QString &fileName, const QString &sheetName) {
              return readXlsSheet(bytes, fileName, sheetName).sheet;
          },
          checkWritable, writeSheetChanges) {}

} // namespace workbook::xls
