// The .ods format's three calls, over its reader and its write-back.
#include "workbook/ods/odsformat.h"

#include "common/commanderror.h"
#include "workbook/ods/odsreader.h"
#include "workbook/ods/odswriter.h"

namespace workbook::ods {

SheetRead OdsFormat::read(QByteArray bytes, const QString &fileName,
                          const QString &sheetName) const {
    auto sheet = std::make_unique<SheetData>();
    readWorkbook(bytes, displayPath(fileName), sheetName, *sheet);
    return sheetRead(std::move(sheet), std::move(bytes), fileName);
}

QString OdsFormat::whyReadOnly(const SheetRead &read) const {
    return refusalOf([&] { checkWritable(read.bytes); });
}

WriteResult OdsFormat::write(const QString &path, const FileIdentity &opened,
                             const std::vector<SheetChange> &changes) const {
    return writeSheetChanges(path, opened, changes);
}

} // namespace workbook::ods
