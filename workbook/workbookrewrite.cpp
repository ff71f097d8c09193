// The file-level steps every workbook's write takes: read again, compare, write the new
// content, look once more, replace.
#include "workbook/workbookrewrite.h"

#include "common/commanderror.h"
#include "common/savebackup.h"
#include "workbook/workbookerrors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace workbook {

namespace {

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

WorkbookRewrite::WorkbookRewrite(const QString &path, const FileIdentity &opened) : m_path(path) {
    QFile file(path);
    if (!file.exists())
        noLongerThere(path);
    savebackup::settle(path);
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(displayPath(path), withoutFinalPeriod(file.errorString())));
    // The file as it is before and after the reading: written meanwhile, it is not what was read.
    struct stat before {};
    const bool statted = ::fstat(file.handle(), &before) == 0;
    m_bytes = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    const bool stable = statted && ::fstat(file.handle(), &m_seen) == 0 && sameFile(before, m_seen);
    file.close();
    if (readFailed)
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(displayPath(path), withoutFinalPeriod(file.errorString())));
    m_result.identity = fileIdentity(path, m_bytes);
    m_readSize = QFileInfo(path).size();
    m_readTime = m_result.identity.modified;
    if (!m_result.identity.sameBytes(opened) || !stable)
        changedOnDisk(path);
}

ReplacingFile &WorkbookRewrite::newFile(const char *suffix) {
    m_newFile.emplace(m_path, suffix, ReplacingFile::Durability::Flushed);
    if (m_newFile->error() != 0)
        throw CommandError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(displayPath(m_path), systemErrorText(m_newFile->error())));
    m_newFile->expectOldFile(m_seen);
    return *m_newFile;
}

WriteResult WorkbookRewrite::commit(QByteArrayView written) {
    const QFileInfo now(m_path);
    if (!now.exists() || now.size() != m_readSize || now.lastModified() != m_readTime)
        changedOnDisk(m_path);
    if (!m_newFile->close())
        throw CommandError(streamWriteError(errno));
    // The replacement itself looks once more, at the last moment (ReplacingFile::expectOldFile).
    if (!m_newFile->commit()) {
        if (m_newFile->changedMeanwhile())
            changedOnDisk(m_path);
        throw CommandError(streamWriteError(errno) + m_newFile->failureNote());
    }
    m_result.identity = fileIdentity(m_path, written);
    return m_result;
}

} // namespace workbook
