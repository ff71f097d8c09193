// Saving a changed zip workbook (.xlsx, .ods): the new package is made in memory by the format
// (it is compressed, a fraction of the sheet's size) and saved with WorkbookRewrite's steps; the
// other entries keep their compressed bytes, order and metadata.
#pragma once

#include "common/zip/ziparchive.h"
#include "workbook/workbookerrors.h"
#include "workbook/workbookrewrite.h"

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

// A zip workbook's write-back: reads the package at path again and, if it still holds the bytes
// identified by opened, applies the changes and replaces the file's content; suffix as for
// WorkbookRewrite::newFile. A refusal or failure throws CommandError and leaves the file as it
// was. Changes that change nothing write nothing.
WriteResult writeChangedPackage(const QString &path, const FileIdentity &opened,
                                const std::vector<SheetChange> &changes,
                                const PackageChanges &apply, const char *suffix);

// The archive written again with the changes (zip::rewrite) into one array, as the new package.
// Throws CommandError when it cannot be made.
QByteArray rewrittenPackage(const zip::Archive &archive,
                            const std::vector<zip::EntryChange> &changes);

// What f returns, for the write-back of a package: a package, part or XML that cannot be read
// refuses the write as a damaged workbook.
template <typename F> auto damageRefusesWriting(F &&f) -> decltype(f()) {
    try {
        return f();
    } catch (const DamagedFile &) {
    }
    damagedForWriting();
}

} // namespace workbook
