// File-level write-back: the Workbook stream edited, checked as it is written, and the file read
// back, between the steps every format's write takes (workbook/workbookrewrite.h).
#include "workbook/xls/xlswriter.h"

#include "common/commanderror.h"
#include "workbook/readbackcheck.h"
#include "workbook/workbookrewrite.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/recordchaincheck.h"
#include "workbook/xls/streamlayout.h"
#include "workbook/xls/xlserrors.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlssheeteditor.h"

#include <cerrno>
#include <limits>

#include <unistd.h>

namespace workbook::xls {

namespace {

const QString WorkbookStream = QStringLiteral("Workbook");
const QString Biff5Stream = QStringLiteral("Book");

[[noreturn]] void notAWorkbook() {
    throw CommandError(
        QStringLiteral("The file is not an Excel 97-2003 workbook and cannot be changed"));
}

// The Workbook stream of a parsed file, after checking that a BIFF8 workbook is there.
OleEntry &workbookStream(CompoundFile &file) {
    OleEntry *stream = file.root().child(WorkbookStream);
    if (stream && !stream->isStorage)
        return *stream;
    const OleEntry *old = file.root().child(Biff5Stream);
    if (old && !old->isStorage)
        olderFormatForWriting();
    notAWorkbook();
}

std::unique_ptr<SheetData> sheet1(const QByteArray &bytes) {
    return readBack([&] { return readXlsSheet(bytes, QString(), QStringLiteral("sheet1")).sheet; });
}

} // namespace

void checkWritable(const QByteArray &fileBytes) {
    CompoundFile file;
    if (!file.parse(fileBytes, CompoundFile::StreamBytes::Viewed))
        notAWorkbook();
    SheetEditor::check(workbookStream(file).data);
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    WorkbookRewrite rewrite(path, opened);
    QByteArray &bytes = rewrite.bytes();

    // The streams are views of the file's bytes where they can be, so those bytes stay until
    // the new file is written: the file is read, rebuilt and written once each, and copied
    // only where libgsf must gather a stream's sectors.
    CompoundFile compound;
    if (!compound.parse(bytes, CompoundFile::StreamBytes::Viewed))
        notAWorkbook();
    OleEntry &stream = workbookStream(compound);
    SheetEditor editor(stream.data);
    for (const SheetChange &change : changes)
        rewrite.result().rows.append(editor.apply(change));
    if (!editor.isChanged())
        return rewrite.result();
    // A batch that moves rows is read back from the file written and compared, cell by cell,
    // with the sheet as it was read before (read while the old bytes are there): rows rebuilt
    // around a delete once brought back values that a later record of the same cell had
    // overwritten. A batch that moves no rows rewrites only the records of the cells it changes,
    // which the record chain check sees whole; reading it back would double the cost of a post.
    const ReadBackCheck readBackCheck(changes, rewrite.result().rows);
    std::unique_ptr<SheetData> before;
    if (readBackCheck.movesRows())
        before = sheet1(bytes);

    // The rebuilt stream goes straight into the new file, checked on its way.
    RecordChainCheck check;
    stream.produce = [&editor, &check](const std::function<bool(QByteArrayView)> &put) {
        return editor.writeStream([&](QByteArrayView piece) {
            check.feed(piece);
            return put(piece);
        });
    };
    // A BIFF5 copy next to the Workbook stream would show the old cells to older readers.
    compound.root().removeChild(Biff5Stream);
    ReplacingFile &newFile = rewrite.newFile(".xls.tmp");
    compound.serializeTo(newFile.descriptor());
    if (!check.finish())
        throw CommandError(QStringLiteral("Stream write error"));

    // What was written, read back for its identity into the old bytes' room: the streams
    // viewed there are written out and done with.
    const off_t written = ::lseek(newFile.descriptor(), 0, SEEK_END);
    if (written < 8 || written > std::numeric_limits<int>::max())
        throw CommandError(QStringLiteral("Stream write error"));
    bytes.resize(qsizetype(written));
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(newFile.descriptor(), bytes.data() + done,
                                  size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw CommandError(QStringLiteral("Stream write error"));
        done += n;
    }
    if (!bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        throw CommandError(QStringLiteral("Stream write error"));
    if (before)
        readBackCheck.check(*sheet1(bytes), before.get());
    return rewrite.commit(bytes);
}

} // namespace workbook::xls
