// File-level write-back: re-read, compare, edit the Workbook stream, check, save atomically.
#include "sources/workbook/workbookwriter.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"
#include "sources/workbook/compoundfile.h"
#include "sources/workbook/streamlayout.h"
#include "workbook/formatkind.h"
#include "workbook/ods/odswriter.h"
#include "workbook/xlsx/xlsxwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include <unistd.h>

namespace workbook {

namespace {

const QString WorkbookStream = QStringLiteral("Workbook");
const QString Biff5Stream = QStringLiteral("Book");

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

[[noreturn]] void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(nativePath(path)));
}

} // namespace

void RecordChainCheck::feed(QByteArrayView piece) {
    const char *p = piece.constData();
    qsizetype n = piece.size();
    while (n > 0 && !m_bad) {
        if (m_padding) {
            for (qsizetype i = 0; i < n; ++i)
                m_bad = m_bad || p[i] != 0;
            m_pos += std::uint64_t(n);
            return;
        }
        if (m_pos < m_next) { // a record's data
            const qsizetype take =
                qsizetype(std::min<std::uint64_t>(std::uint64_t(n), m_next - m_pos));
            for (qsizetype i = 0; i < take && m_offsetFill >= 0 && m_offsetFill < 4; ++i)
                m_offset[m_offsetFill++] = p[i];
            if (m_offsetFill == 4) {
                m_sheets.push_back(u32(m_offset));
                m_offsetFill = -1;
            }
            p += take;
            n -= take;
            m_pos += std::uint64_t(take);
            continue;
        }
        if (m_headFill == 0 && n >= 4) { // a whole header here: the usual case
            header(std::uint32_t(m_pos), u16(p), u16(p + 2));
            p += 4;
            n -= 4;
            m_pos += 4;
            continue;
        }
        m_head[m_headFill++] = *p++;
        --n;
        ++m_pos;
        if (m_headFill == 4) {
            m_headFill = 0;
            header(std::uint32_t(m_pos - 4), u16(m_head), u16(m_head + 2));
        }
    }
}

void RecordChainCheck::header(std::uint32_t at, std::uint16_t type, std::uint16_t length) {
    if (type == 0 && length == 0) {
        m_padding = true; // only zeros may follow
        return;
    }
    m_offsetFill = m_inGlobals && type == rec::BoundSheet && length >= 4 ? 0 : -1;
    if (!m_inGlobals && std::find(m_sheets.begin(), m_sheets.end(), at) != m_sheets.end()) {
        if (type != rec::Bof || m_depth != 0)
            m_bad = true;
        ++m_found;
    }
    if (type == rec::Bof)
        ++m_depth;
    else if (type == rec::Eof && --m_depth == 0)
        m_inGlobals = false;
    m_next = std::uint64_t(at) + 4 + length;
}

bool RecordChainCheck::finish() const {
    if (m_bad || m_pos < m_next)
        return false;
    for (int i = 0; i < m_headFill; ++i) // bytes too few for a header can only be padding
        if (m_head[i] != 0)
            return false;
    return m_found == m_sheets.size() && !m_sheets.empty();
}

FileIdentity fileIdentity(const QString &path, QByteArrayView bytes) {
    FileIdentity id;
    id.size = bytes.size();
    id.modified = QFileInfo(path).lastModified();
    id.hash = hashOf(bytes);
    return id;
}

void checkWritable(const QByteArray &fileBytes) {
    switch (formatKind(fileBytes)) {
    case FormatKind::Xls:
        break;
    case FormatKind::Xlsx:
        xlsx::checkWritable(fileBytes);
        return;
    case FormatKind::Ods:
        ods::checkWritable(fileBytes);
        return;
    case FormatKind::Unknown:
        notAWorkbook();
    }
    CompoundFile file;
    if (!file.parse(fileBytes, CompoundFile::StreamBytes::Viewed))
        notAWorkbook();
    SheetEditor::check(workbookStream(file).data);
}

bool canWrite(const QByteArray &fileBytes) {
    try {
        checkWritable(fileBytes);
        return true;
    } catch (const CommandError &) {
        return false;
    }
}

namespace {

struct ReadBytes {
    QString path; // absolute
    QByteArray bytes;
    FileIdentity identity;
};

std::mutex g_offerLock;
ReadBytes g_offered;

} // namespace

void offerReadBytes(const QString &path, const QByteArray &bytes, const FileIdentity &identity) {
    ReadBytes offer{bytes.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath(), bytes,
                    identity};
    const std::lock_guard<std::mutex> lock(g_offerLock);
    std::swap(g_offered, offer); // the old bytes go after the lock is released
}

bool canWrite(const QString &path) {
    ReadBytes offered;
    {
        const std::lock_guard<std::mutex> lock(g_offerLock);
        std::swap(offered, g_offered);
    }
    const QFileInfo now(path);
    if (!offered.bytes.isEmpty() && offered.path == now.absoluteFilePath() &&
        now.size() == offered.identity.size && now.lastModified() == offered.identity.modified)
        return canWrite(offered.bytes);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return canWrite(file.readAll());
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    // A zip is an .xlsx or .ods package, each with a writer of its own.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.read(2) == "PK") {
        file.seek(0);
        const bool ods = formatKind(file.readAll()) == FormatKind::Ods;
        file.close();
        return ods ? ods::writeSheetChanges(path, opened, changes)
                   : xlsx::writeSheetChanges(path, opened, changes);
    }
    file.close();
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
                               .arg(nativePath(path), systemErrorText(newFile.error())));
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

} // namespace workbook
