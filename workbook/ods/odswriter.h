// Writes edits of sheet1 back into an .ods file: only the content part is rewritten; every other
// zip entry, the mimetype first among them, is copied as it stands. The new package's sheet1 is
// read back before it is saved, and the write refused if it is not what the changes make
// (workbook/readbackcheck.h).
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace workbook::ods {

// The write-back's three calls as every zip format gives them: checkWritable and
// writeSheetChanges are FunctionsFormat's (workbook/workbookformat.h), the latter
// writeChangedPackage() (workbook/zippackagewriter.h) over applyChanges, the format's
// PackageChanges.
void checkWritable(QByteArrayView bytes);
WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes);
QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result);

} // namespace workbook::ods
