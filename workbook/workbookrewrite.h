// Saving a changed workbook over the file it was read from. Every format's write (.xls, .xlsx,
// .ods) takes the same file-level steps (WorkbookRewrite): read the file again and compare it
// with what was opened, write the new content into a ReplacingFile flushed to the disk, take a
// last look at the file, and put the new content in its place. The zip workbooks take them
// through writeChangedPackage() (workbook/zippackagewriter.h).
#pragma once

#include "common/replacingfile.h"
#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

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

} // namespace workbook
