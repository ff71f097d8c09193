// Saving a changed workbook over the file it was read from. Every format's write takes the same
// file-level steps (WorkbookRewrite): read the file again and compare it with what was opened,
// write the new content into a ReplacingFile flushed to the disk, take a last look at the file,
// and put the new content in its place. For the zip workbooks (.xlsx, .ods) the new package is
// made in memory (it is compressed, a fraction of the sheet's size) by the format, and the rest
// is writeChangedPackage().
#pragma once

#include "common/replacingfile.h"
#include "common/zip/ziparchive.h"
#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"
#include "workbook/workbookerrors.h"
#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace workbook {

class WorkbookRewrite {
public:
    // Settles a copy an interrupted save left (savebackup::settle), then reads the file at path
    // again. Throws CommandError when it is gone or cannot be read, or no longer holds the bytes
    // identified by opened.
    WorkbookRewrite(const QString &path, const FileIdentity &opened);

    // The file's bytes as read again.
    QByteArray &bytes() { return m_bytes; }
    // What the write reports: the rows the changes addressed go here.
    WriteResult &result() { return m_result; }

    // The new file, flushed to the disk when it is committed; suffix ends its name while it is
    // written beside the old one (".xls.tmp"). Throws CommandError when it cannot be made.
    ReplacingFile &newFile(const char *suffix);
    // Looks once more that the file is still the one read (another program may have written it
    // while this one worked), and again at the last moment before the new content takes its
    // place; puts it there and returns the result with the identity of written, the new content.
    // Throws CommandError.
    WriteResult commit(QByteArrayView written);

private:
    QString m_path;
    QByteArray m_bytes;
    WriteResult m_result;
    qint64 m_readSize = 0;
    QDateTime m_readTime;
    struct stat m_seen {}; // the file as it was read, for the replacement's last look
    std::optional<ReplacingFile> m_newFile;
};

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
    } catch (const Damage &) {
    } catch (const xml::XmlError &) {
    }
    damagedForWriting();
}

} // namespace workbook
