// Output line buffer and its file format: FF FE, then each entry in UTF-16LE followed by CR LF.
#include "kml/kmlbuffer.h"

#include "common/commanderror.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>

namespace {

constexpr qsizetype ChunkBytes = 1 << 20;

// Appends the entry's UTF-16LE bytes and CR LF.
void appendEntry(QByteArray &out, const QString &entry) {
    const qsizetype at = out.size();
    out.resize(at + (entry.size() + 2) * 2);
    char *p = out.data() + at;
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        std::memcpy(p, entry.utf16(), size_t(entry.size()) * 2);
        p += entry.size() * 2;
    } else {
        for (QChar c : entry) {
            qToLittleEndian<quint16>(c.unicode(), p);
            p += 2;
        }
    }
    const char crlf[4] = {'\r', 0, '\n', 0};
    std::memcpy(p, crlf, 4);
}

QString cannotCreate(const QString &fileName, const QString &reason) {
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()),
             withoutFinalPeriod(reason));
}

// The reason a file cannot be created there, in the system's words.
QString creationFailure(const QString &fileName) {
    const QFileInfo info(fileName);
    const QFileInfo dir(info.absolutePath());
    if (fileName.isEmpty() || !dir.exists())
        return systemErrorText(ENOENT);
    if (info.isDir())
        return systemErrorText(EISDIR);
    if (!dir.isDir())
        return systemErrorText(ENOTDIR);
    if ((info.exists() && !info.isWritable()) || !dir.isWritable())
        return systemErrorText(EACCES);
    return QString();
}

} // namespace

void KmlBuffer::Clear() {
    m_entries.clear();
}

void KmlBuffer::Add(const QString &entry) {
    m_entries.append(entry);
}

void KmlBuffer::Add(QString &&entry) {
    m_entries.append(std::move(entry));
}

void KmlBuffer::reserve(qsizetype entries) {
    m_entries.reserve(entries);
}

QByteArray KmlBuffer::bytes() const {
    qsizetype units = 1;
    for (const QString &e : m_entries)
        units += e.size() + 2;
    QByteArray out;
    out.reserve(units * 2);
    out.append("\xFF\xFE", 2);
    for (const QString &e : m_entries)
        appendEntry(out, e);
    return out;
}

void KmlBuffer::SaveToFile(const QString &fileName) const {
    const QString early = creationFailure(fileName);
    if (!early.isEmpty())
        throw CommandError(cannotCreate(fileName, early));

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw CommandError(cannotCreate(fileName, file.errorString()));

    QByteArray chunk;
    chunk.reserve(ChunkBytes + 4096);
    chunk.append("\xFF\xFE", 2);
    auto flush = [&] {
        if (file.write(chunk) != chunk.size()) {
            file.cancelWriting();
            throw CommandError(QStringLiteral("Stream write error"));
        }
        chunk.resize(0);
    };
    for (const QString &e : m_entries) {
        appendEntry(chunk, e);
        if (chunk.size() >= ChunkBytes)
            flush();
    }
    flush();
    if (!file.commit())
        throw CommandError(QStringLiteral("Stream write error"));
}
