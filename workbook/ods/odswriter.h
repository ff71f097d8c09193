// Writes edits of sheet1 back into an .ods file: only the content part is rewritten; every other
// zip entry, the mimetype first among them, is copied as it stands.
#pragma once

#include "sources/workbook/sheeteditor.h"
#include "sources/workbook/workbookwriter.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace workbook::ods {

// Throws the CommandError that says why edits cannot be written into the package; nothing when
// they can.
void checkWritable(QByteArrayView bytes);

// The new package's bytes with the changes applied to sheet1, in changes' order; result.rows
// gets the row each change addressed. Returns an empty array when nothing changed. Throws
// CommandError on a refusal.
QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result);

} // namespace workbook::ods
