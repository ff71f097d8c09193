// Replacing a file's content: a new file renamed over the old one where it can be given all the
// old one has, else the old file rewritten in place behind a copy of its content.
#include "common/replacingfile.h"

#include "common/savebackup.h"
#include "common/secondthread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr qsizetype MostPerWrite = qsizetype(1) << 30;

std::function<void(ReplacingFile::Step)> &stepHook() {
    static std::function<void(ReplacingFile::Step)> hook;
    return hook;
}

void reached(ReplacingFile::Step step) {
    if (stepHook())
        stepHook()(step);
}

// A file-size limit (ulimit -f) sends SIGXFSZ, which by default ends the program part way
// through a save; ignored, the write fails with EFBIG as on a full disk. A handler the program
// set itself is left alone.
void ignoreFileSizeSignal() {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

QByteArray hiddenName(const QByteArray &folder, const QByteArray &suffix) {
    return folder + "/.kmlmaker-" + QByteArray::number(QRandomGenerator::global()->generate(), 36) +
           suffix;
}

// A new file with a hidden name of its own in the folder; -1 with errno when none can be made.
int createNamed(const QByteArray &folder, const QByteArray &suffix, mode_t mode, QByteArray &name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = hiddenName(folder, suffix);
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0)
                name.clear();
            return fd;
        }
    }
    name.clear();
    return -1;
}

// A file without a name in the folder, which can be given one later when linkable. Where the
// file system cannot make one, a named file that is removed at once (when not linkable).
int createUnnamed(const QByteArray &folder, bool linkable, bool &unnamed) {
    const int fd =
        ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC | (linkable ? 0 : O_EXCL), 0666);
    unnamed = fd >= 0;
    if (fd >= 0 || linkable || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    QByteArray name;
    const int named = createNamed(folder, ".tmp", 0600, name);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

// An unnamed file can be given a name through /proc, or by root directly.
bool canNameUnnamedFiles() {
    return ::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0;
}

bool giveName(int fd, const QByteArray &name) {
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    return ::linkat(fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0;
}

// Closes the last descriptor of a file whose name is gone, which frees its pages and blocks,
// away from the thread that waits for the save.
void releaseLater(int fd) {
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (const std::system_error &) {
        ::close(fd);
    }
}

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::vector<QByteArray> attributeNames(const char *list, ssize_t size) {
    std::vector<QByteArray> names;
    for (ssize_t at = 0; at < size;) {
        const QByteArray name(list + at);
        at += name.size() + 1;
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

// The extended attribute names of a file (by path, or by descriptor when path is null); ACLs
// are among them. None where the file system keeps none.
bool listAttributes(const char *path, int fd, std::vector<QByteArray> &names) {
    for (ssize_t room = 1024;;) {
        std::unique_ptr<char[]> list(new char[size_t(room)]);
        const ssize_t n = path ? ::listxattr(path, list.get(), size_t(room))
                               : ::flistxattr(fd, list.get(), size_t(room));
        if (n >= 0) {
            names = attributeNames(list.get(), n);
            return true;
        }
        if (errno == ENOTSUP) {
            names.clear();
            return true;
        }
        if (errno != ERANGE)
            return false;
        room *= 4;
    }
}

bool attributeValue(const char *path, int fd, const QByteArray &name, QByteArray &value) {
    for (ssize_t room = 256;;) {
        value.resize(room);
        const ssize_t n = path ? ::getxattr(path, name.constData(), value.data(), size_t(room))
                               : ::fgetxattr(fd, name.constData(), value.data(), size_t(room));
        if (n >= 0) {
            value.resize(n);
            return true;
        }
        if (errno != ERANGE)
            return false;
        room *= 4;
    }
}

// Gives the new file exactly the old file's extended attributes (ACLs included): those it got
// from its folder (a default ACL) and the old file lacks are removed.
bool copyAttributes(const char *oldPath, int newFd) {
    std::vector<QByteArray> wanted, present;
    if (!listAttributes(oldPath, -1, wanted) || !listAttributes(nullptr, newFd, present))
        return false;
    for (const QByteArray &name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::fremovexattr(newFd, name.constData()) != 0)
            return false;
    QByteArray value, already;
    for (const QByteArray &name : wanted) {
        if (!attributeValue(oldPath, -1, name, value))
            return false;
        if (attributeValue(nullptr, newFd, name, already) && already == value)
            continue;
        if (::fsetxattr(newFd, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            return false;
    }
    return true;
}

QString shownPath(const QString &fileName) {
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

// The new content of a save in place, mapped, so that it goes over the old content in one call.
class MappedContent {
public:
    MappedContent(int fd, off_t size) : m_size(size) {
        if (size > 0)
            m_data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    }
    ~MappedContent() {
        if (m_data != MAP_FAILED && m_data)
            ::munmap(m_data, size_t(m_size));
    }
    MappedContent(const MappedContent &) = delete;
    MappedContent &operator=(const MappedContent &) = delete;
    bool ok() const { return m_data != MAP_FAILED; }
    const char *data() const { return m_data ? static_cast<const char *>(m_data) : ""; }
    off_t size() const { return m_size; }

private:
    void *m_data = nullptr;
    off_t m_size;
};

// Gives the copy what lets everyone who could read the file read it: the file's group, its
// ACLs and attributes, its permission bits for reading and writing. Where some of it cannot be
// given (another user's group) the copy has less; it is made all the same.
void shareLike(int copy, const char *file, const struct stat &old) {
    struct stat made {};
    if (::fstat(copy, &made) == 0 && made.st_gid != old.st_gid)
        (void)::fchown(copy, uid_t(-1), old.st_gid);
    (void)copyAttributes(file, copy);
    (void)::fchmod(copy, (old.st_mode & 0666) | 0600);
}

} // namespace

QString ReplacingFile::replacedPath(const QString &fileName) {
    const QFileInfo info(fileName);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
}

void ReplacingFile::setStepHook(std::function<void(Step)> hook) {
    stepHook() = std::move(hook);
}

void ReplacingFile::expectOldFile(const struct stat &seen) {
    m_seen = seen;
    m_expectOld = true;
}

// The last look: the name still leads to the file that was read, of the same size and time.
bool ReplacingFile::oldFileUnchanged() const {
    if (!m_expectOld)
        return true;
    struct stat now {};
    return ::stat(m_target.constData(), &now) == 0 && now.st_dev == m_seen.st_dev &&
           now.st_ino == m_seen.st_ino && now.st_size == m_seen.st_size &&
           now.st_mtim.tv_sec == m_seen.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == m_seen.st_mtim.tv_nsec;
}

ReplacingFile::ReplacingFile(const QString &fileName, const char *suffix, Durability durability)
    : m_shownName(shownPath(fileName)), m_suffix(suffix),
      m_flush(durability == Durability::Flushed) {
    ignoreFileSizeSignal();
    const QString target = replacedPath(fileName);
    m_target = QFile::encodeName(target);
    m_folder = QFile::encodeName(QFileInfo(target).absolutePath());
    struct stat old {};
    m_exists = ::stat(m_target.constData(), &old) == 0;
    // A file with other names keeps them only when its own content changes.
    const bool linked = m_exists && S_ISREG(old.st_mode) && old.st_nlink > 1;
    if (!linked && prepareRename())
        return;
    const int renameError = errno;
    if (m_exists && S_ISREG(old.st_mode) && prepareInPlace())
        return;
    m_error = m_exists && S_ISREG(old.st_mode) ? errno : renameError;
    if (m_error == 0)
        m_error = EIO;
}

ReplacingFile::~ReplacingFile() {
    closeFd(m_fd);
    closeFd(m_targetFd);
    if (!m_committed && !m_named.isEmpty())
        ::unlink(m_named.constData());
}

// A new file in the folder that has what the old one has, or false (with errno).
bool ReplacingFile::prepareRename() {
    if (canNameUnnamedFiles())
        m_fd = createUnnamed(m_folder, true, m_unnamed);
    if (m_fd < 0)
        m_fd = createNamed(m_folder, m_suffix, 0666, m_named);
    if (m_fd < 0)
        return false;
    struct stat old {};
    if (!m_exists || ::stat(m_target.constData(), &old) != 0 || !S_ISREG(old.st_mode))
        return true;
    // Owner and group first (a change of owner clears the set-id bits), then the attributes,
    // then the permission bits, which an ACL's mask would otherwise overrule.
    struct stat made {};
    bool same = ::fstat(m_fd, &made) == 0;
    if (same && (made.st_uid != old.st_uid || made.st_gid != old.st_gid))
        same = ::fchown(m_fd, made.st_uid == old.st_uid ? uid_t(-1) : old.st_uid,
                        made.st_gid == old.st_gid ? gid_t(-1) : old.st_gid) == 0;
    same = same && copyAttributes(m_target.constData(), m_fd) &&
           ::fchmod(m_fd, old.st_mode & 07777) == 0 && ::fstat(m_fd, &made) == 0 &&
           made.st_uid == old.st_uid && made.st_gid == old.st_gid &&
           (made.st_mode & 07777) == (old.st_mode & 07777);
    if (same)
        return true;
    closeFd(m_fd);
    if (!m_named.isEmpty())
        ::unlink(m_named.constData());
    m_named.clear();
    m_unnamed = false;
    errno = EPERM;
    return false;
}

// The old file open for rewriting, and a new file without a name for the content meanwhile:
// beside it where its folder takes files, else in the temporary folder.
bool ReplacingFile::prepareInPlace() {
    m_targetFd = ::open(m_target.constData(), O_RDWR | O_CLOEXEC);
    if (m_targetFd < 0)
        return false;
    bool unnamed = false;
    m_fd = createUnnamed(m_folder, false, unnamed);
    if (m_fd < 0)
        m_fd = createUnnamed(QFile::encodeName(QDir::tempPath()), false, unnamed);
    if (m_fd < 0) {
        const int e = errno;
        closeFd(m_targetFd);
        errno = e;
        return false;
    }
    m_inPlace = true;
    return true;
}

bool ReplacingFile::write(const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t w = ::write(m_fd, data, size_t(qMin(size, MostPerWrite)));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (m_writeError == 0)
                m_writeError = errno;
            return false;
        }
        data += w;
        size -= w;
    }
    return true;
}

bool ReplacingFile::close() {
    // The descriptor stays open inside: an unnamed file is named through it, and content to be
    // written in place is read from it.
    m_closed = true;
    const bool closed = m_fd >= 0 && (m_inPlace || !m_flush || ::fsync(m_fd) == 0);
    if (closed)
        reached(Step::Closed);
    return closed;
}

bool ReplacingFile::commit() {
    if (m_fd < 0) {
        errno = m_error ? m_error : EBADF;
        return false;
    }
    m_closed = true;
    return m_inPlace ? commitInPlace() : commitRename();
}

bool ReplacingFile::commitRename() {
    if (m_unnamed) {
        bool named = false;
        for (int attempt = 0; attempt < 100 && !named; ++attempt) {
            m_named = hiddenName(m_folder, m_suffix);
            named = giveName(m_fd, m_named);
            if (!named && errno != EEXIST)
                break;
        }
        if (!named) {
            m_named.clear();
            return false;
        }
    }
    // Held open across the rename, the old file is freed when this descriptor closes.
    struct stat st {};
    const int old = ::lstat(m_target.constData(), &st) == 0 && S_ISREG(st.st_mode)
                        ? ::open(m_target.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)
                        : -1;
    m_changedMeanwhile = !oldFileUnchanged();
    m_committed = !m_changedMeanwhile && ::rename(m_named.constData(), m_target.constData()) == 0;
    const int renameError = errno;
    if (m_committed)
        m_named.clear();
    if (m_committed && m_flush) {
        // The rename itself on the disk. Should this fail, the new content is in place all the
        // same and nothing could be undone: the save stands.
        const int folder = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    if (old >= 0) {
        if (m_committed && !m_flush)
            releaseLater(old);
        else
            ::close(old);
    }
    errno = renameError;
    return m_committed;
}

// The old content is copied aside first and flushed, whatever the save's durability: only then
// is the file touched, with the new content in one call, cut to length and flushed, and only then
// is the copy removed. Killed at any moment, the file is either whole or has its copy beside it,
// recorded well enough for the next look to tell which (savebackup::find).
bool ReplacingFile::commitInPlace() {
    const off_t newSize = ::lseek(m_fd, 0, SEEK_END);
    struct stat old {};
    if (newSize < 0 || ::fstat(m_targetFd, &old) != 0)
        return false;
    const MappedContent content(m_fd, newSize);
    if (!content.ok())
        return false;
    // The checksum the copy records is taken meanwhile on a second thread.
    quint32 newChecksum = 0;
    SecondThread checksummer(
        [&] { newChecksum = savebackup::checksum(content.data(), content.size()); });

    QByteArray copyName;
    int copy = -1;
    if (::access(m_folder.constData(), W_OK | X_OK) == 0) {
        copyName = savebackup::copyName(m_folder, m_target);
        copy = ::open(copyName.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (copy < 0 && (copyName.isEmpty() || errno != EEXIST)) {
        copyName = savebackup::copyName(savebackup::temporaryFolder(), m_target);
        copy = ::open(copyName.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (copy < 0) {
        const int e = errno;
        checksummer.wait();
        errno = e;
        return false;
    }
    reached(Step::CopyBegun);
    bool kept = savebackup::copyContent(m_targetFd, copy, old.st_size) && ::fsync(copy) == 0;
    int keepError = kept ? 0 : errno;
    checksummer.wait();
    if (kept) {
        shareLike(copy, m_target.constData(), old);
        kept = savebackup::writeRecord(
                   copy, {m_target, old.st_dev, old.st_ino, qint64(newSize), newChecksum}) &&
               ::fsync(copy) == 0;
        if (!kept)
            keepError = errno;
    }
    m_changedMeanwhile = kept && !oldFileUnchanged();
    if (!kept || m_changedMeanwhile) {
        ::close(copy);
        ::unlink(copyName.constData());
        errno = keepError;
        return false;
    }
    reached(Step::CopyKept);

    bool written = savebackup::writeAll(m_targetFd, content.data(), size_t(newSize), 0);
    if (written)
        reached(Step::ContentWritten);
    written = written && (newSize >= old.st_size || ::ftruncate(m_targetFd, newSize) == 0);
    if (written)
        reached(Step::Truncated);
    if (written && ::fsync(m_targetFd) == 0) {
        ::close(copy);
        ::unlink(copyName.constData());
        m_committed = true;
        return true;
    }
    const int writeError = errno;
    const bool restored = savebackup::copyContent(copy, m_targetFd, old.st_size) &&
                          ::ftruncate(m_targetFd, old.st_size) == 0 && ::fsync(m_targetFd) == 0;
    ::close(copy);
    if (restored) {
        ::unlink(copyName.constData());
        m_failureNote = QStringLiteral(". The old content of \"%1\" was put back").arg(m_shownName);
    } else {
        m_failureNote = QStringLiteral(". The old content of \"%1\" could not be put back; a copy "
                                       "of it is kept in \"%2\"")
                            .arg(m_shownName, QFile::decodeName(copyName));
    }
    errno = writeError;
    return false;
}
