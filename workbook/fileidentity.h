// The identity of a workbook's bytes as they were read: what a write checks before it replaces
// the file, so that a change another program made since is never written over.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace workbook {

struct FileIdentity {
    qint64 size = -1;
    QDateTime modified;
    // A 128-bit digest of the bytes. It tells bytes apart within one run of the program; it is
    // not cryptographic, and not to be stored: it may differ between machines or Qt versions.
    QByteArray hash;

    // The same bytes: size and hash agree. The time alone does not count, as a file touched
    // without a change loses nothing when it is written over.
    bool sameBytes(const FileIdentity &other) const {
        return size == other.size && hash == other.hash;
    }
};

// The identity of bytes just read from path; its modification time is read after them.
FileIdentity fileIdentity(const QString &path, QByteArrayView bytes);

} // namespace workbook
