// File-level write-back: re-read, compare, edit the Workbook stream, check, save atomically.
#include "sources/workbook/workbookwriter.h"

#include "common/commanderror.h"
#include "sources/workbook/compoundfile.h"
#include "sources/workbook/streamlayout.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace workbook {

namespace {

const QString WorkbookStream = QStringLiteral("Workbook");
const QString Biff5Stream = QStringLiteral("Book");
constexpr qsizetype WriteChunk = 1 << 20;

QString nativePath(const QString &path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QByteArray hashOf(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

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
        throw CommandError(QStringLiteral(
            "The workbook is in the Excel 5.0/95 format and cannot be changed; save it as an "
            "Excel 97-2003 workbook first"));
    notAWorkbook();
}

// The rebuilt stream must lay out as a workbook with its sheets where BOUNDSHEET says, or an
// error of ours would be written into the user's file.
void checkRebuilt(const QByteArray &bytes) {
    CompoundFile file;
    std::vector<BiffRecord> records;
    if (!file.parse(bytes))
        throw CommandError(QStringLiteral("Stream write error"));
    const OleEntry *stream = file.root().child(WorkbookStream);
    if (!stream || !splitRecords(stream->data, records))
        throw CommandError(QStringLiteral("Stream write error"));
    const StreamLayout layout = readLayout(stream->data, records);
    for (const SheetSubstream &s : layout.sheets)
        if (s.begin < 0 || s.end < 0)
            throw CommandError(QStringLiteral("Stream write error"));
}

[[noreturn]] void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(nativePath(path)));
}

// readSize and readTime: the file as it was read, before the work began.
void save(const QString &path, const QByteArray &bytes, qint64 readSize,
          const QDateTime &readTime) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw CommandError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(nativePath(path), withoutFinalPeriod(file.errorString())));
    for (qsizetype at = 0; at < bytes.size(); at += WriteChunk) {
        const qsizetype n = std::min(WriteChunk, bytes.size() - at);
        if (file.write(bytes.constData() + at, n) != n) {
            file.cancelWriting();
            throw CommandError(QStringLiteral("Stream write error"));
        }
    }
    // A last look: another program may have written the file while this one worked.
    const QFileInfo now(path);
    if (!now.exists() || now.size() != readSize || now.lastModified() != readTime) {
        file.cancelWriting();
        changedOnDisk(path);
    }
    if (!file.commit())
        throw CommandError(QStringLiteral("Stream write error"));
}

} // namespace

FileIdentity fileIdentity(const QString &path, const QByteArray &bytes) {
    FileIdentity id;
    id.size = bytes.size();
    id.modified = QFileInfo(path).lastModified();
    id.hash = hashOf(bytes);
    return id;
}

void checkWritable(const QByteArray &fileBytes) {
    CompoundFile file;
    if (!file.parse(fileBytes))
        notAWorkbook();
    SheetEditor editor(workbookStream(file).data);
}

bool canWrite(const QByteArray &fileBytes) {
    try {
        checkWritable(fileBytes);
        return true;
    } catch (const CommandError &) {
        return false;
    }
}

bool canWrite(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return canWrite(file.readAll());
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    QFile file(path);
    if (!file.exists())
        throw CommandError(QStringLiteral("The workbook \"%1\" no longer exists; it was moved or "
                                          "deleted since it was opened or last refreshed")
                               .arg(nativePath(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(nativePath(path), withoutFinalPeriod(file.errorString())));
    const QByteArray bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed)
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(nativePath(path), withoutFinalPeriod(file.errorString())));
    WriteResult result;
    result.identity = fileIdentity(path, bytes);
    const qint64 readSize = QFileInfo(path).size();
    if (!result.identity.sameBytes(opened))
        changedOnDisk(path);

    CompoundFile compound;
    if (!compound.parse(bytes))
        notAWorkbook();
    OleEntry &stream = workbookStream(compound);
    SheetEditor editor(stream.data);
    for (const SheetChange &change : changes)
        result.rows.append(editor.apply(change));
    if (!editor.isChanged())
        return result;

    stream.data = editor.stream();
    // A BIFF5 copy next to the Workbook stream would show the old cells to older readers.
    compound.root().removeChild(Biff5Stream);
    const QByteArray out = compound.serialize();
    checkRebuilt(out);
    save(path, out, readSize, result.identity.modified);
    result.identity = fileIdentity(path, out);
    return result;
}

} // namespace workbook
