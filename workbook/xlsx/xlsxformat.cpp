// The .xlsx format's three calls, over its reader and its write-back.
#include "workbook/xlsx/xlsxformat.h"

#include "common/commanderror.h"
#include "workbook/xlsx/xlsxreader.h"
#include "workbook/xlsx/xlsxwriter.h"

namespace workbook::xlsx {

SheetRead XlsxFormat::read(QByteArray bytes, const QString &fileName,
                           const QString &sheetName) const {
    auto sheet = std::make_unique<SheetData>();
    readWorkbook(bytes, displayPath(fileName), sheetName, *sheet);
    return sheetRead(std::move(sheet), std::move(bytes), fileName);
}

QString XlsxFormat::whyReadOnly(const SheetRead &read) const {
    return refusalOf([&] { checkWritable(read.bytes); });
}

WriteResult XlsxFormat::write(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) const {
    return writeSheetChanges(path, opened, changes);
}

} // namespace workbook::xlsx
