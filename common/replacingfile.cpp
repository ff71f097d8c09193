// Writing a file beside the one it replaces and renaming it over that one.
#include "common/replacingfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MostPerWrite = qsizetype(1) << 30;

// The file that a save replaces: a symbolic link stays and its target gets the new content.
QString replacedFile(const QString &fileName) {
    const QFileInfo info(fileName);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
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

} // namespace

ReplacingFile::ReplacingFile(const QString &fileName, const char *suffix) {
    const QString target = replacedFile(fileName);
    m_target = QFile::encodeName(target);
    const QByteArray dir = QFile::encodeName(QFileInfo(target).absolutePath());
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_path = dir + "/.kmlmaker-" +
                 QByteArray::number(QRandomGenerator::global()->generate(), 36) + suffix;
        m_fd = ::open(m_path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    m_error = m_fd < 0 ? errno : 0;
    // An existing file keeps its permissions.
    struct stat st {};
    if (m_fd >= 0 && ::stat(m_target.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(m_fd, st.st_mode & 07777);
}

ReplacingFile::~ReplacingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_path.isEmpty() && m_error == 0)
        ::unlink(m_path.constData());
}

bool ReplacingFile::write(const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t w = ::write(m_fd, data, size_t(qMin(size, MostPerWrite)));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        size -= w;
    }
    return true;
}

bool ReplacingFile::close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

bool ReplacingFile::commit() {
    // Held open across the rename, the old file is freed when this descriptor closes.
    struct stat st {};
    const int old = ::lstat(m_target.constData(), &st) == 0 && S_ISREG(st.st_mode)
                        ? ::open(m_target.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)
                        : -1;
    m_committed = ::rename(m_path.constData(), m_target.constData()) == 0;
    const int renameError = errno;
    if (old >= 0) {
        if (m_committed)
            releaseLater(old);
        else
            ::close(old);
    }
    errno = renameError;
    return m_committed;
}
