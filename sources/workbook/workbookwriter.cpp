// File-level write-back: re-read, compare, edit the Workbook stream, check, save atomically.
#include "sources/workbook/workbookwriter.h"

#include "common/commanderror.h"
#include "sources/workbook/compoundfile.h"
#include "sources/workbook/streamlayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace workbook {

namespace {

const QString WorkbookStream = QStringLiteral("Workbook");
const QString Biff5Stream = QStringLiteral("Book");
constexpr qsizetype WriteChunk = 1 << 20;

QString nativePath(const QString &path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Two differently seeded 64-bit hashes: a 13 MB workbook takes about a millisecond, where
// SHA-1 takes seventeen, twice for every write.
QByteArray hashOf(QByteArrayView bytes) {
    QByteArray digest(16, '\0');
    const quint64 a = qHashBits(bytes.constData(), size_t(bytes.size()), 0x6b6d6c6d616b6572);
    const quint64 b = qHashBits(bytes.constData(), size_t(bytes.size()), 0x7772697465626163);
    std::memcpy(digest.data(), &a, 8);
    std::memcpy(digest.data() + 8, &b, 8);
    return digest;
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

// The rebuilt stream must still be a chain of records with every sheet's BOF where its
// BOUNDSHEET says, or an error of ours would be written into the user's file. One walk over the
// record headers, apart from the code that laid the stream out.
void checkRebuilt(const QByteArray &stream) {
    const auto fail = [] { throw CommandError(QStringLiteral("Stream write error")); };
    const char *p = stream.constData();
    const qsizetype size = stream.size();
    std::vector<std::uint32_t> sheets; // BOF offsets named by BOUNDSHEET, found so far
    size_t found = 0;
    int depth = 0;
    bool inGlobals = true;
    qsizetype at = 0;
    while (at + 4 <= size) {
        const std::uint16_t type = u16(p + at), length = u16(p + at + 2);
        if (type == 0 && length == 0)
            break; // zero padding after the last record
        if (at + 4 + length > size)
            fail();
        if (inGlobals && type == rec::BoundSheet && length >= 4)
            sheets.push_back(u32(p + at + 4));
        if (!inGlobals &&
            std::find(sheets.begin(), sheets.end(), std::uint32_t(at)) != sheets.end()) {
            if (type != rec::Bof || depth != 0)
                fail();
            ++found;
        }
        if (type == rec::Bof)
            ++depth;
        else if (type == rec::Eof && --depth == 0)
            inGlobals = false;
        at += 4 + length;
    }
    for (; at < size; ++at)
        if (p[at] != 0)
            fail();
    if (found != sheets.size() || sheets.empty())
        fail();
}

[[noreturn]] void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(nativePath(path)));
}

// readSize and readTime: the file as it was read, before the work began.
void save(const QString &path, QByteArrayView bytes, qint64 readSize, const QDateTime &readTime) {
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

FileIdentity fileIdentity(const QString &path, QByteArrayView bytes) {
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
    QByteArray bytes = file.readAll();
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
    // Each buffer goes as soon as it is done with, so that the next can take its memory: the
    // file is read, parsed, rebuilt and written once each.
    bytes = QByteArray();
    OleEntry &stream = workbookStream(compound);
    {
        SheetEditor editor(stream.data);
        for (const SheetChange &change : changes)
            result.rows.append(editor.apply(change));
        if (!editor.isChanged())
            return result;
        QByteArray rebuilt = editor.stream();
        stream.data = QByteArray();
        stream.data = std::move(rebuilt);
    }
    checkRebuilt(stream.data);
    // A BIFF5 copy next to the Workbook stream would show the old cells to older readers.
    compound.root().removeChild(Biff5Stream);
    const QDateTime readTime = result.identity.modified;
    compound.serialize([&](QByteArrayView out) {
        if (!out.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
            throw CommandError(QStringLiteral("Stream write error"));
        save(path, out, readSize, readTime);
        result.identity = fileIdentity(path, out);
    });
    return result;
}

} // namespace workbook
