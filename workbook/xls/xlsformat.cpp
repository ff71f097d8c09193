// The .xls format's three calls, over its reader and its write-back.
#include "workbook/xls/xlsformat.h"

#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlswriter.h"

namespace workbook::xls {

bool isXlsFile(const QByteArray &bytes) {
    return hasCompoundFileSignature(bytes);
}

SheetRead XlsFormat::read(QByteArray bytes, const QString &fileName,
                          const QString &sheetName) const {
    std::unique_ptr<SheetData> sheet = readXlsSheet(bytes, fileName, sheetName).sheet;
    return sheetRead(std::move(sheet), std::move(bytes), fileName);
}

QString XlsFormat::whyReadOnly(const SheetRead &read) const {
    return refusalOf([&] { checkWritable(read.bytes); });
}

WriteResult XlsFormat::write(const QString &path, const FileIdentity &opened,
                             const std::vector<SheetChange> &changes) const {
    return writeSheetChanges(path, opened, changes);
}

} // namespace workbook::xls
