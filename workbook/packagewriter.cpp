// The file-level steps every zip workbook's write takes: read again, compare, make the new
// package, look once more, replace.
#include "workbook/packagewriter.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace workbook {

namespace {

QString nativePath(const QString &path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

[[noreturn]] void changedOnDisk(const QString &path) {
    throw CommandError(QStringLiteral("The workbook \"%1\" was changed by another program since "
                                      "it was opened or last refreshed. Refresh the data, then "
                                      "make the change again")
                           .arg(nativePath(path)));
}

} // namespace

WriteResult writeChangedPackage(const QString &path, const FileIdentity &opened,
                                const std::vector<SheetChange> &changes,
                                const PackageChanges &apply, const char *suffix) {
    QFile file(path);
    if (!file.exists())
        throw CommandError(QStringLiteral("The workbook \"%1\" no longer exists; it was moved or "
                                          "deleted since it was opened or last refreshed")
                               .arg(nativePath(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(nativePath(path), withoutFinalPeriod(file.errorString())));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                               .arg(nativePath(path), withoutFinalPeriod(file.errorString())));
    file.close();
    WriteResult result;
    result.identity = fileIdentity(path, bytes);
    const qint64 readSize = QFileInfo(path).size();
    const QDateTime readTime = result.identity.modified;
    if (!result.identity.sameBytes(opened))
        changedOnDisk(path);

    const QByteArray out = apply(bytes, changes, result);
    if (out.isEmpty())
        return result;
    ReplacingFile newFile(path, suffix, ReplacingFile::Durability::Flushed);
    if (newFile.error() != 0)
        throw CommandError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(nativePath(path), systemErrorText(newFile.error())));
    if (!newFile.write(out.constData(), out.size()))
        throw CommandError(QStringLiteral("Stream write error"));
    // A last look: another program may have written the file while this one worked.
    const QFileInfo now(path);
    if (!now.exists() || now.size() != readSize || now.lastModified() != readTime)
        changedOnDisk(path);
    if (!newFile.close() || !newFile.commit())
        throw CommandError(QStringLiteral("Stream write error") + newFile.failureNote());
    result.identity = fileIdentity(path, out);
    return result;
}

} // namespace workbook
