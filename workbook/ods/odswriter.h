// Writes edits of sheet1 back into an .ods file: only the content part is rewritten; every other
// zip entry, the mimetype first among them, is copied as it stands.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace workbook::ods {

// Throws the CommandError that says why edits cannot be written into the package; nothing when
// they can.
void checkWritable(QByteArrayView bytes);

// Reads the package at path again and, if it still holds the bytes identified by opened,
// applies the changes to sheet1 in order and replaces the file's content, flushed to the disk.
// A refusal or failure throws CommandError and leaves the file as it was. Changes that change
// nothing write nothing.
WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes);

// The new package's bytes with the changes applied to sheet1, in changes' order; result.rows
// gets the row each change addressed. Returns an empty array when nothing changed. Throws
// CommandError on a refusal.
QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result);

} // namespace workbook::ods
