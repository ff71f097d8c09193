// The .ods format's three calls, over its reader and its write-back.
#include "workbook/ods/odsformat.h"

#include "common/commanderror.h"
#include "workbook/ods/odsreader.h"
#include "workbook/ods/odswriter.h"

namespace workbook::ods {

SheetRead OdsFormat::read(QByteArray bytes, const QString &fileName,
                          const QString &sheetName) const {
    SheetRead out;
    out.sheet = std::make_unique<SheetData>();
    readWorkbook(bytes, displayPath(fileName), sheetName, *out.sheet);
    out.identity = fileIdentity(fileName, bytes);
    out.bytes = std::move(bytes);
    return out;
}

QString OdsFormat::whyReadOnly(const SheetRead &read) const {
    try {
        checkWritable(read.bytes);
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

WriteResult OdsFormat::write(const QString &path, const FileIdentity &opened,
                             const std::vector<SheetChange> &changes) const {
    return writeSheetChanges(path, opened, changes);
}

} // namespace workbook::ods
