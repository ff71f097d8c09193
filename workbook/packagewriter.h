// Saving a changed zip workbook (.xlsx, .ods) over the file it was read from: only if the file
// still holds the bytes that were read; the new package made in memory (it is compressed, a
// fraction of the sheet's size) by the format, and flushed to the disk before it takes the old
// content's place. A format's writer hands its way of applying changes to the package.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

namespace workbook {

// The new package's bytes with the changes applied, in order; result.rows gets the row each
// change addressed. An empty array when nothing changed. Throws CommandError on a refusal.
using PackageChanges = std::function<QByteArray(
    QByteArrayView bytes, const std::vector<SheetChange> &changes, WriteResult &result)>;

// Reads the package at path again and, if it still holds the bytes identified by opened,
// applies the changes and replaces the file's content; suffix ends the name of the new file
// while it is being written (".ods.tmp"). A refusal or failure throws CommandError and leaves
// the file as it was. Changes that change nothing write nothing.
WriteResult writeChangedPackage(const QString &path, const FileIdentity &opened,
                                const std::vector<SheetChange> &changes,
                                const PackageChanges &apply, const char *suffix);

} // namespace workbook
