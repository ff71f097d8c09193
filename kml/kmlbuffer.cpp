// Output line buffer and its file format: FF FE, then each entry in UTF-16LE followed by CR LF.
// The entries are kept as one text in that very layout, so a document of a million placemarks
// costs no allocation per entry and is saved with a single write.
#include "kml/kmlbuffer.h"

#include "common/commanderror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Bom[] = "\xFF\xFE";
constexpr qsizetype MaxWrite = qsizetype(1) << 30;

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

// The file that a save replaces: a symbolic link stays and its target gets the new content.
QString replacedFile(const QString &fileName) {
    const QFileInfo info(fileName);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
}

// A new file beside the one it replaces; removed again unless it takes that file's place.
class TempFile {
public:
    explicit TempFile(const QString &target) : m_target(QFile::encodeName(target)) {
        const QByteArray dir = QFile::encodeName(QFileInfo(target).absolutePath());
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_path = dir + "/.kmlmaker-" +
                     QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".kml.tmp";
            m_fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        m_error = m_fd < 0 ? errno : 0;
        // An existing file keeps its permissions.
        struct stat st {};
        if (m_fd >= 0 && ::stat(m_target.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(m_fd, st.st_mode & 07777);
    }
    ~TempFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed && !m_path.isEmpty() && m_error == 0)
            ::unlink(m_path.constData());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    int error() const { return m_error; }

    bool write(const char *p, qsizetype n) {
        while (n > 0) {
            const ssize_t w = ::write(m_fd, p, size_t(qMin(n, MaxWrite)));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            p += w;
            n -= w;
        }
        return true;
    }

    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

    // Puts the new file in the old one's place in one step; errno tells why when it fails. The
    // data is not forced to disk first: for a long list that would keep the window waiting on
    // the disk for seconds, and a KML file can always be made again.
    bool commit() {
        m_committed = ::rename(m_path.constData(), m_target.constData()) == 0;
        return m_committed;
    }

private:
    QByteArray m_target;
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
};

} // namespace

void KmlBuffer::Clear() {
    m_text.clear();
    m_ends.clear();
    m_entries.clear();
    m_entriesValid = true;
}

void KmlBuffer::Add(const QString &entry) {
    Add({QStringView(entry)});
}

void KmlBuffer::Add(QString &&entry) {
    Add({QStringView(entry)});
}

void KmlBuffer::Add(std::initializer_list<QStringView> pieces) {
    qsizetype n = 0;
    for (QStringView piece : pieces)
        n += piece.size();
    const qsizetype at = m_text.size();
    m_text.resize(at + n + 2); // grows geometrically, so a long document adds in linear time
    char16_t *out = reinterpret_cast<char16_t *>(m_text.data()) + at;
    for (QStringView piece : pieces) {
        std::memcpy(out, piece.utf16(), size_t(piece.size()) * 2);
        out += piece.size();
    }
    out[0] = u'\r';
    out[1] = u'\n';
    m_ends.append(at + n);
    m_entriesValid = false;
}

void KmlBuffer::reserve(qsizetype entries) {
    m_ends.reserve(entries);
}

void KmlBuffer::reserveText(qsizetype units) {
    m_text.reserve(units);
}

const QStringList &KmlBuffer::entries() const {
    if (!m_entriesValid) {
        m_entries.clear();
        m_entries.reserve(m_ends.size());
        qsizetype start = 0;
        for (qsizetype end : m_ends) {
            m_entries.append(m_text.mid(start, end - start));
            start = end + 2;
        }
        m_entriesValid = true;
    }
    return m_entries;
}

QByteArray KmlBuffer::bytes() const {
    QByteArray out(2 + m_text.size() * 2, Qt::Uninitialized);
    std::memcpy(out.data(), Bom, 2);
    qToLittleEndian<quint16>(m_text.utf16(), m_text.size(), out.data() + 2);
    return out;
}

void KmlBuffer::SaveToFile(const QString &fileName) const {
    const QString early = creationFailure(fileName);
    if (!early.isEmpty())
        throw CommandError(cannotCreate(fileName, early));

    TempFile file(replacedFile(fileName));
    if (file.error() != 0)
        throw CommandError(cannotCreate(fileName, systemErrorText(file.error())));

    bool written = file.write(Bom, 2);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        written = written &&
                  file.write(reinterpret_cast<const char *>(m_text.utf16()), m_text.size() * 2);
    } else {
        constexpr qsizetype Chunk = 1 << 19;
        QByteArray le(Chunk * 2, Qt::Uninitialized);
        for (qsizetype at = 0; written && at < m_text.size(); at += Chunk) {
            const qsizetype n = qMin(Chunk, m_text.size() - at);
            qToLittleEndian<quint16>(m_text.utf16() + at, n, le.data());
            written = file.write(le.constData(), n * 2);
        }
    }
    if (!file.close() || !written)
        throw CommandError(QStringLiteral("Stream write error"));
    if (!file.commit())
        throw CommandError(cannotCreate(fileName, systemErrorText(errno)));
}
