// A zip workbook's write-back: its new package made by the format, saved with the file-level
// steps every workbook's write takes.
#include "workbook/zippackagewriter.h"

#include "common/commanderror.h"

namespace workbook {

WriteResult writeChangedPackage(const QString &path, const FileIdentity &opened,
                                const std::vector<SheetChange> &changes,
                                const PackageChanges &apply, const char *suffix) {
    WorkbookRewrite rewrite(path, opened);
    const QByteArray out = apply(rewrite.bytes(), changes, rewrite.result());
    if (out.isEmpty())
        return rewrite.result();
    ReplacingFile &file = rewrite.newFile(suffix);
    if (!file.write(out.constData(), out.size()))
        throw CommandError(streamWriteError(file.writeError()));
    return rewrite.commit(out);
}

QByteArray rewrittenPackage(const zip::Archive &archive,
                            const std::vector<zip::EntryChange> &changes) {
    const qsizetype size = archive.bytes().size();
    QByteArray out;
    out.reserve(size + size / 8 + 4096);
    if (!zip::rewrite(archive, changes, [&](QByteArrayView piece) {
            out.append(piece);
            return true;
        }))
        throw CommandError(QStringLiteral("Stream write error"));
    return out;
}

} // namespace workbook
