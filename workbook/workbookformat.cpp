// The format interface's common parts: the format made of its folder's functions, the refusal
// of a file no format knows, and the whole-file read every format starts from.
#include "workbook/workbookformat.h"

#include "common/commanderror.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <sys/stat.h>

namespace workbook {

namespace {

// Why a file could not be read whole: what the program found, or an error the system reported.
enum class Unreadable { Missing, Folder, NotAllowed, NotAFile, TooLarge, ReadFailed, System };

struct ReadFailure {
    Unreadable why;
    int systemError = 0; // the system's errno, for Unreadable::System
};

// The reason's words in the message, as the system words the error closest to each finding.
QString reasonText(const ReadFailure &failure) {
    int closest = failure.systemError;
    switch (failure.why) {
    case Unreadable::Missing:
        closest = ENOENT;
        break;
    case Unreadable::Folder:
        closest = EISDIR;
        break;
    case Unreadable::NotAllowed:
        closest = EACCES;
        break;
    case Unreadable::NotAFile:
        closest = EINVAL;
        break;
    case Unreadable::TooLarge:
        closest = EFBIG;
        break;
    case Unreadable::ReadFailed:
        closest = EIO;
        break;
    case Unreadable::System:
        break;
    }
    return QString::fromLocal8Bit(std::strerror(closest));
}

// The file's bytes, or why it cannot be read whole.
std::optional<ReadFailure> readWhole(const QString &fileName, QByteArray &bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(fileName);
        return ReadFailure{!info.exists() ? Unreadable::Missing
                           : info.isDir() ? Unreadable::Folder
                                          : Unreadable::NotAllowed};
    }
    struct stat st {};
    if (fstat(file.handle(), &st) != 0)
        return ReadFailure{Unreadable::System, errno};
    // Only a regular file: a pipe or a device could be read without end.
    if (!S_ISREG(st.st_mode))
        return ReadFailure{S_ISDIR(st.st_mode) ? Unreadable::Folder : Unreadable::NotAFile};
    if (st.st_size > std::numeric_limits<int>::max())
        return ReadFailure{Unreadable::TooLarge};
    bytes = file.read(qint64(st.st_size));
    if (file.error() != QFileDevice::NoError)
        return ReadFailure{Unreadable::ReadFailed};
    return std::nullopt;
}

} // namespace

WorkbookFormat::~WorkbookFormat() = default;

FunctionsFormat::FunctionsFormat(SheetNames sheetNames, ReadSheet readSheet,
                                 CheckWritable checkWritable, Write write)
    : m_sheetNames(std::move(sheetNames)), m_readSheet(std::move(readSheet)),
      m_checkWritable(std::move(checkWritable)), m_write(std::move(write)) {}

QStringList FunctionsFormat::sheetNames(const QByteArray &bytes, const QString &fileName) const {
    return m_sheetNames(bytes, fileName);
}

SheetRead FunctionsFormat::read(QByteArray bytes, const QString &fileName,
                                const QString &sheetName) const {
    SheetRead out;
    out.sheet = m_readSheet(bytes, fileName, sheetName);
    out.identity = fileIdentity(fileName, bytes);
    out.bytes = std::move(bytes);
    return out;
}

QString FunctionsFormat::whyReadOnly(const SheetRead &read) const {
    if (read.readOnlyReason)
        return *read.readOnlyReason;
    try {
        m_checkWritable(read.bytes);
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

WriteResult FunctionsFormat::write(const QString &path, const FileIdentity &opened,
                                   const std::vector<SheetChange> &changes) const {
    return m_write(path, opened, changes);
}

void notAWorkbook(const QString &fileName) {
    throw CommandError(
        QStringLiteral("The file \"%1\" is not an Excel workbook").arg(displayPath(fileName)));
}

QByteArray readWorkbookFile(const QString &fileName) {
    QByteArray bytes;
    if (const std::optional<ReadFailure> failure = readWhole(fileName, bytes))
        throw CommandError(QStringLiteral("Cannot open the workbook \"%1\": %2")
                               .arg(displayPath(fileName), reasonText(*failure)));
    return bytes;
}

} // namespace workbook
