// The one seam between the workbook dataset and the file formats: the dataset reads a sheet,
// asks whether edits can be written into what it read, and writes batches of changes, all
// through a WorkbookFormat chosen by the file's content. It sees nothing of the format beyond
// this header and the format-neutral model (sheetdata.h, sheetchange.h, fileidentity.h).
//
// The formats: workbook/xls/ (.xls, an OLE2 compound file), workbook/xlsx/ (.xlsx) and
// workbook/ods/ (.ods), the last two zip packages of XML parts read through workbook/zip/ and
// workbook/xml/ and written back through workbook/packagewriter; and workbook/csv/, delimited
// text (.csv, .tsv, .txt), the format of any other file that reads as text.
//
// How a new format joins:
//   1. Put it in a folder of its own, workbook/<format>/, and implement WorkbookFormat's three
//      calls there: read, whyReadOnly, write (most simply as a FunctionsFormat, below, of three
//      functions of the folder). Failures throw CommandError with the message the user is to see,
//      naming the file, worded as the other formats word theirs (workbook/workbookerrors.h); the
//      format's own limits (rows, columns, text length) are checked by its write, which refuses
//      what its files cannot hold (workbook/sheetchange.h). A write takes the file-level steps of
//      WorkbookRewrite (workbook/packagewriter.h), or writeChangedPackage() whole for a zip.
//   2. Register it in formatOf() (workbookformat.cpp): recognise its files by their content.
// Neither the dataset (sources/adoquery.*) nor the window changes.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace workbook {

// What a format read from a file.
struct SheetRead {
    std::unique_ptr<SheetData> sheet;
    FileIdentity identity; // of the bytes below: what a later write checks the file against
    QByteArray bytes;      // the file's bytes as read, for the writability question
};

class WorkbookFormat {
public:
    virtual ~WorkbookFormat();

    // Reads the named sheet (compared without regard to case) from the file's bytes; fileName
    // names the file in messages. Returns the sheet, fileIdentity(fileName, bytes) and the bytes
    // themselves. Throws CommandError with the user-facing message; a damaged file gives an
    // error, never a crash.
    virtual SheetRead read(QByteArray bytes, const QString &fileName,
                           const QString &sheetName) const = 0;

    // Why edits cannot be written into what was just read (encrypted, an older version of the
    // format, parts the writer cannot keep intact); empty when they can. Only the format's own
    // reasons: whether this user may write the file and its folder, the dataset asks itself.
    virtual QString whyReadOnly(const SheetRead &read) const = 0;

    // Applies the changes in order to the sheet read from the file at path, if that file still
    // holds the bytes identified by opened, and replaces the file. A refusal or failure throws
    // CommandError and leaves the file as it was. Changes that change nothing write nothing.
    virtual WriteResult write(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) const = 0;
};

// A format made of its folder's three functions, as each format here is: readSheet gives the
// named sheet of the file's bytes (fileName names the file in messages) and throws CommandError;
// checkWritable throws the CommandError that says why edits cannot be written into such bytes;
// write is WorkbookFormat::write.
class FunctionsFormat : public WorkbookFormat {
public:
    using ReadSheet = std::function<std::unique_ptr<SheetData>(
        const QByteArray &bytes, const QString &fileName, const QString &sheetName)>;
    using CheckWritable = std::function<void(const QByteArray &bytes)>;
    using Write = std::function<WriteResult(const QString &path, const FileIdentity &opened,
                                            const std::vector<SheetChange> &changes)>;

    FunctionsFormat(ReadSheet readSheet, CheckWritable checkWritable, Write write);

    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    QString whyReadOnly(const SheetRead &read) const override;
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;

private:
    ReadSheet m_readSheet;
    CheckWritable m_checkWritable;
    Write m_write;
};

// The format of a file decided by its content, never by its name: an OLE2 compound file is .xls
// (whose read names an Office document encrypted with a password as such); a zip whose first
// entry is a mimetype naming an OpenDocument spreadsheet is .ods; a zip whose [Content_Types].xml
// names a workbook part is .xlsx. A zip too damaged to be read goes to the format its first
// entry points to, whose read names the damage. Last, a file that reads as text is delimited
// text (workbook/csv/). Throws CommandError naming the file ("The file "<path>" is not an Excel
// workbook") when no format knows it.
const WorkbookFormat &formatOf(const QByteArray &bytes, const QString &fileName);

// Throws the message formatOf() gives for a file that no format knows; a format gives it too for
// a file of its container that holds no workbook.
[[noreturn]] void notAWorkbook(const QString &fileName);

// Reads the file at fileName whole. Throws CommandError ("Cannot open the workbook "<path>":
// <reason>") when it cannot be read: missing, a folder, not a regular file, or over 2 GB.
QByteArray readWorkbookFile(const QString &fileName);

} // namespace workbook
