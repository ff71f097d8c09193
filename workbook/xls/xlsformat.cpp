// The .xls format's three calls, over its reader and its write-back.
#include "workbook/xls/xlsformat.h"

#include "common/commanderror.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlswriter.h"

namespace workbook::xls {

bool isXlsFile(const QByteArray &bytes) {
    return hasCompoundFileSignature(bytes);
}

SheetRead XlsFormat::read(QByteArray bytes, const QString &fileName,
                          const QString &sheetName) const {
    SheetRead out;
    out.sheet = readXlsSheet(bytes, fileName, sheetName).sheet;
    out.identity = fileIdentity(fileName, bytes);
    out.bytes = std::move(bytes);
    return out;
}

QString XlsFormat::whyReadOnly(const SheetRead &read) const {
    try {
        checkWritable(read.bytes);
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

WriteResult XlsFormat::write(const QString &path, const FileIdentity &opened,
                             const std::vector<SheetChange> &changes) const {
    return writeSheetChanges(path, opened, changes);
}

} // namespace workbook::xls
