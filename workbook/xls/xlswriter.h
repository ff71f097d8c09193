// Writes edits of sheet1 back into an .xls file: only if the file still holds the bytes that
// were read, through a temporary file renamed over it, with every other stream kept.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace workbook::xls {

// Throws the CommandError that says why edits cannot be written into a workbook with these
// bytes; returns when they can: a compound file whose Workbook stream is BIFF8, not encrypted,
// with a worksheet named sheet1 that is not damaged.
void checkWritable(const QByteArray &fileBytes);

// Reads the workbook at path again and, if it still holds the bytes identified by opened,
// applies the changes to sheet1 in order and replaces the file. A refusal or failure throws
// CommandError and leaves the file as it was. Changes that change nothing write nothing.
WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes);

} // namespace workbook::xls
