// File-level write-back: re-read, compare, edit the Workbook stream, check, save atomically.
#include "workbook/xls/xlswriter.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/recordchaincheck.h"
#include "workbook/xls/sheeteditor.h"
#include "workbook/xls/streamlayout.h"
#include "workbook/xls/xlserrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace workbook::xls {

namespace {

const QString WorkbookStream = QStringLiteral("Workbook");
const QString Biff5Stream = QStringLiteral("Book");

[[noreturn]] void notAWorkbook() {
    throw CommandError(
        QStringLiteral("The file is not an Excel 97-2003 workbook and cannot be changed"));
}

// The Workbook stream of a parsed file, after checking that a BIFF8 workbook is there.
OleEntry &workbookStream(CompoundFile &file) {
    OleEntry *stream = file.root().child(WorkbookStream);
    if (stream && !stream->isStorage)
        return *stream;
    const OleEntry *old = file.root().child(Biff5Stream);
    if (old && !old->isStorage)
        olderFormatForWriting();
    notAWorkbook();
}

[[noreturn]] void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(displayPath(path)));
}

} // namespace

void checkWritable(const QByteArray &fileBytes) {
    CompoundFile file;
    if (!file.parse(fileBytes, CompoundFile::StreamBytes::Viewed))
        notAWorkbook();
    SheetEditor::check(workbookStream(file).data);
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    QFile file(path);
    if (!file.exists())
        throw CommandError(QStringLiteral("The workbook \"%1\" no longer exists; it was moved or "
                                          "deleted since it was opened or last refreshed")
                               .arg(displayPath(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(displayPath(path), withoutFinalPeriod(file.errorString())));
    QByteArray bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed)
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(displayPath(path), withoutFinalPeriod(file.errorString())));
    WriteResult result;
    result.identity = fileIdentity(path, bytes);
    const qint64 readSize = QFileInfo(path).size();
    const QDateTime readTime = result.identity.modified;
    if (!result.identity.sameBytes(opened))
        changedOnDisk(path);

    // The streams are views of the file's bytes where they can be, so those bytes stay until
    // the new file is written: the file is read, rebuilt and written once each, and copied
    // only where libgsf must gather a stream's sectors.
    CompoundFile compound;
    if (!compound.parse(bytes, CompoundFile::StreamBytes::Viewed))
        notAWorkbook();
    OleEntry &stream = workbookStream(compound);
    SheetEditor editor(stream.data);
    for (const SheetChange &change : changes)
        result.rows.append(editor.apply(change));
    if (!editor.isChanged())
        return result;

    // The rebuilt stream goes straight into the new file, checked on its way; the new content
    // replaces the old as the KML file's does (common/replacingfile.h), but flushed to the disk
    // first: a post must survive a power cut right after it.
    RecordChainCheck check;
    stream.produce = [&editor, &check](const std::function<bool(QByteArrayView)> &put) {
        return editor.writeStream([&](QByteArrayView piece) {
            check.feed(piece);
            return put(piece);
        });
    };
    // A BIFF5 copy next to the Workbook stream would show the old cells to older readers.
    compound.root().removeChild(Biff5Stream);
    ReplacingFile newFile(path, ".xls.tmp", ReplacingFile::Durability::Flushed);
    if (newFile.error() != 0)
        throw CommandError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(displayPath(path), systemErrorText(newFile.error())));
    compound.serializeTo(newFile.descriptor());
    if (!check.finish())
        throw CommandError(QStringLiteral("Stream write error"));

    // What was written, read back for its identity into the old bytes' room: the streams
    // viewed there are written out and done with.
    const off_t written = ::lseek(newFile.descriptor(), 0, SEEK_END);
    if (written < 8 || written > std::numeric_limits<int>::max())
        throw CommandError(QStringLiteral("Stream write error"));
    bytes.resize(qsizetype(written));
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(newFile.descriptor(), bytes.data() + done,
                                  size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw CommandError(QStringLiteral("Stream write error"));
        done += n;
    }
    if (!bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        throw CommandError(QStringLiteral("Stream write error"));
    // A last look: another program may have written the file while this one worked.
    const QFileInfo now(path);
    if (!now.exists() || now.size() != readSize || now.lastModified() != readTime)
        changedOnDisk(path);
    if (!newFile.close() || !newFile.commit())
        throw CommandError(QStringLiteral("Stream write error") + newFile.failureNote());
    result.identity = fileIdentity(path, bytes);
    return result;
}

} // namespace workbook::xls
