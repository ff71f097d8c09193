// The copy a save in place keeps of the old content: its name and record, and how a copy that a
// killed save left is settled.
#include "common/savebackup.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zlib.h>

namespace savebackup {

namespace {

constexpr char RecordAttribute[] = "user.kmlmaker.backup";
constexpr size_t MostPerWrite = size_t(1) << 30;
constexpr size_t Chunk = size_t(1) << 20;

Question &theQuestion() {
    static Question question;
    return question;
}

// The record as text: a version, the numbers, then the file's name to the end.
QByteArray recordText(const Record &r) {
    return "1 " + QByteArray::number(quint64(r.device)) + ' ' +
           QByteArray::number(quint64(r.inode)) + ' ' + QByteArray::number(r.newSize) + ' ' +
           QByteArray::number(r.newChecksum) + ' ' + r.file;
}

std::optional<Record> parseRecord(const QByteArray &text) {
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() < 6 || parts[0] != "1")
        return std::nullopt;
    bool ok[4] = {};
    Record r;
    r.device = dev_t(parts[1].toULongLong(&ok[0]));
    r.inode = ino_t(parts[2].toULongLong(&ok[1]));
    r.newSize = parts[3].toLongLong(&ok[2]);
    r.newChecksum = parts[4].toUInt(&ok[3]);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || r.newSize < 0)
        return std::nullopt;
    qsizetype at = 0;
    for (int i = 0; i < 5; ++i)
        at += parts[i].size() + 1;
    r.file = text.mid(at);
    return r;
}

// The copy's record; none when it has none (a copy begun and not finished, or one kept where
// the file system keeps no extended attributes).
std::optional<Record> readRecord(const QByteArray &copy) {
    QByteArray text(4096 + 256, Qt::Uninitialized);
    const ssize_t n = ::getxattr(copy.constData(), RecordAttribute, text.data(), text.size());
    if (n < 0)
        return std::nullopt;
    text.truncate(n);
    return parseRecord(text);
}

struct Descriptor {
    int fd;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
};

bool readAll(int fd, char *data, size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

std::optional<quint32> fileChecksum(int fd, off_t size) {
    std::unique_ptr<char[]> chunk(new char[Chunk]);
    uLong crc = crc32(0, nullptr, 0);
    for (off_t at = 0; at < size;) {
        const size_t n = std::min(Chunk, size_t(size - at));
        if (!readAll(fd, chunk.get(), n, at))
            return std::nullopt;
        crc = crc32_z(crc, reinterpret_cast<const Bytef *>(chunk.get()), n);
        at += off_t(n);
    }
    return quint32(crc);
}

// Whether the first size bytes of both files are the same.
bool samePrefix(int a, int b, off_t size) {
    std::unique_ptr<char[]> one(new char[Chunk]), two(new char[Chunk]);
    for (off_t at = 0; at < size;) {
        const size_t n = std::min(Chunk, size_t(size - at));
        if (!readAll(a, one.get(), n, at) || !readAll(b, two.get(), n, at) ||
            std::memcmp(one.get(), two.get(), n) != 0)
            return false;
        at += off_t(n);
    }
    return true;
}

// Whether the file is whole: it holds what the copy keeps, or what the save wrote; or, without a
// record, the copy was cut short while it was made and the file, never touched, begins with it.
bool isWhole(int file, int copy, const std::optional<Record> &record) {
    struct stat f {
    }, c{};
    if (::fstat(file, &f) != 0 || ::fstat(copy, &c) != 0)
        return false;
    if (record && f.st_size == record->newSize &&
        fileChecksum(file, f.st_size) == record->newChecksum)
        return true;
    if (c.st_size > f.st_size || (record && c.st_size != f.st_size))
        return false;
    return samePrefix(file, copy, c.st_size);
}

// Whether a copy backs the file. Its record names the file and tells it by its inode: the same
// inode is the same file; under the same name another inode is a file that replaced it since (the
// copy backs whatever other name the old one kept). A copy named after the file beside it also
// backs it where its record names another path (the folder was moved or copied) or where it has
// no record; one in the temporary folder, or named after another name of the file, only by its
// inode.
bool backsFile(const std::optional<Record> &record, const QByteArray &target,
               const struct stat &file, bool named) {
    if (!record)
        return named;
    if (record->device == file.st_dev && record->inode == file.st_ino)
        return true;
    return named && record->file != target;
}

} // namespace

QByteArray copyName(const QByteArray &folder, const QByteArray &target) {
    const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return folder + '/' + name + ".kmlmaker-backup";
    return folder + '/' + name.left(dot) + ".kmlmaker-backup" + name.mid(dot);
}

QByteArray temporaryFolder() {
    return QFile::encodeName(QDir::tempPath());
}

bool writeRecord(int fd, const Record &r) {
    const QByteArray text = recordText(r);
    if (::fsetxattr(fd, RecordAttribute, text.constData(), size_t(text.size()), 0) == 0)
        return true;
    return errno == ENOTSUP;
}

quint32 checksum(const char *data, qint64 size) {
    return quint32(
        crc32_z(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(data), z_size_t(size)));
}

bool writeAll(int fd, const char *data, size_t size, off_t at) {
    while (size > 0) {
        const ssize_t w = ::pwrite(fd, data, std::min(size, MostPerWrite), at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return w == 0 ? (errno = EIO, false) : false;
        data += w;
        size -= size_t(w);
        at += w;
    }
    return true;
}

bool copyContent(int from, int to, off_t size) {
    off_t in = 0, out = 0;
    while (in < size) {
        const ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(size - in), 0);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP))
            return n == 0 ? (errno = EIO, false) : false;
        break; // not offered between these files: copy through memory
    }
    std::unique_ptr<char[]> chunk(new char[Chunk]);
    while (in < size) {
        const ssize_t n = ::pread(from, chunk.get(), std::min(Chunk, size_t(size - in)), in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 ? (errno = EIO, false) : false;
        if (!writeAll(to, chunk.get(), size_t(n), in))
            return false;
        in += n;
    }
    return true;
}

std::optional<Interrupted> find(const QString &fileName) {
    const QByteArray target = QFile::encodeName(ReplacingFile::replacedPath(fileName));
    struct stat file {};
    if (::stat(target.constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return std::nullopt;
    const QString folderName = QFileInfo(QFile::decodeName(target)).absolutePath();
    const QByteArray folder = QFile::encodeName(folderName);
    // The copy by this name beside the file, or in the temporary folder; for a file of several
    // names, the copies a save by another name kept beside it, which only their record ties to it.
    std::vector<std::pair<QByteArray, bool>> candidates{
        {copyName(folder, target), true}, {copyName(temporaryFolder(), target), false}};
    if (file.st_nlink > 1) {
        const QStringList others = QDir(folderName)
                                       .entryList({QStringLiteral("*.kmlmaker-backup*")},
                                                  QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &name : others) {
            const QByteArray copy = folder + '/' + QFile::encodeName(name);
            if (copy != candidates[0].first)
                candidates.emplace_back(copy, false);
        }
    }
    for (const auto &[copy, named] : candidates) {
        struct stat st {};
        if (::lstat(copy.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const std::optional<Record> record = readRecord(copy);
        if (!backsFile(record, target, file, named))
            continue;
        const Descriptor f(::open(target.constData(), O_RDONLY | O_CLOEXEC));
        const Descriptor c(::open(copy.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (f.fd < 0 || c.fd < 0)
            continue;
        if (isWhole(f.fd, c.fd, record)) {
            ::unlink(copy.constData());
            continue;
        }
        return Interrupted{displayPath(QFile::decodeName(target)), QFile::decodeName(copy)};
    }
    return std::nullopt;
}

void restore(const Interrupted &found) {
    const QByteArray file = QFile::encodeName(found.file);
    const QByteArray copy = QFile::encodeName(found.copy);
    const Descriptor f(::open(file.constData(), O_RDWR | O_CLOEXEC));
    const Descriptor c(::open(copy.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (f.fd < 0 || c.fd < 0 || ::fstat(c.fd, &st) != 0 || !copyContent(c.fd, f.fd, st.st_size) ||
        ::ftruncate(f.fd, st.st_size) != 0 || ::fsync(f.fd) != 0)
        throw CommandError(
            QStringLiteral("The old content of \"%1\" could not be put back from \"%2\". %3")
                .arg(found.file, found.copy, systemErrorText(errno)));
    ::unlink(copy.constData());
}

QString interruptedMessage(const Interrupted &found) {
    return QStringLiteral("The file \"%1\" is incomplete: a save into it was interrupted. Its old "
                          "content is kept in \"%2\"")
        .arg(found.file, found.copy);
}

void setQuestion(Question question) {
    theQuestion() = std::move(question);
}

void settle(const QString &fileName) {
    const std::optional<Interrupted> found = find(fileName);
    if (!found)
        return;
    if (theQuestion() && theQuestion()(*found)) {
        restore(*found);
        return;
    }
    throw CommandError(interruptedMessage(*found));
}

} // namespace savebackup
