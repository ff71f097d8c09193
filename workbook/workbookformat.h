// The one seam between the workbook dataset and the file formats: the dataset lists a file's
// sheets, reads one, asks whether edits can be written into what it read, and writes batches of
// changes, all through a WorkbookFormat that the registry (workbook/formatregistry.h) chose by the
// file's content. It sees nothing of the format beyond this header and the format-neutral model
// (sheetdata.h, sheetchange.h, fileidentity.h).
//
// This header lies below the formats: each format folder (workbook/xls/, workbook/xlsx/,
// workbook/ods/, and workbook/csv/ for delimited text, the format of any other file that reads as
// text) implements it and declares itself with a FormatDeclaration; only the registry, above them
// all, names them.
//
// How a new format joins:
//   1. Put it in a folder of its own, workbook/<format>/, with a CMakeLists.txt making its
//      library, and implement WorkbookFormat's calls there: sheetNames, read, whyReadOnly, write
//      (most simply as a FunctionsFormat, below, of four functions of the folder). Failures throw
//      CommandError with the message the user is to see, naming the file, worded as the other
//      formats word theirs (workbook/workbookerrors.h); the format's own limits (rows, columns,
//      text length) are checked by its write, which refuses what its files cannot hold
//      (workbook/sheetchange.h). A write takes the file-level steps of WorkbookRewrite
//      (workbook/workbookrewrite.h), or writeChangedPackage() (workbook/zippackagewriter.h)
//      whole for a zip.
//   2. Declare it in its folder (FormatDeclaration, below): name, the open dialog's label and
//      patterns, the content test and its priority.
//   3. Add its declaration to the registry's table (workbook/formatregistry.cpp) and its folder
//      to workbook/CMakeLists.txt.
// Neither the dataset (sources/adoquery.*) nor the window changes.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace workbook {

// What a format read from a file.
struct SheetRead {
    std::unique_ptr<SheetData> sheet;
    FileIdentity identity; // of the bytes below: what a later write checks the file against
    QByteArray bytes;      // the file's bytes as read, for the writability question
    // The answer to that question when the read already found it on its way through the bytes
    // (empty: edits can be written); unset when whyReadOnly is to look at the bytes itself.
    std::optional<QString> readOnlyReason;
};

class WorkbookFormat {
public:
    virtual ~WorkbookFormat();

    // The names of the file's sheets that read() reads, in the workbook's order and spelt as the
    // workbook spells them; fileName names the file in messages. Throws CommandError with the
    // message a read of the same bytes gives for a damaged or protected file.
    virtual QStringList sheetNames(const QByteArray &bytes, const QString &fileName) const = 0;

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

// A format made of its folder's four functions, as each format here is: sheetNames is
// WorkbookFormat::sheetNames; readSheet gives the named sheet of the file's bytes (fileName names
// the file in messages) and throws CommandError; checkWritable throws the CommandError that says
// why edits cannot be written into such bytes; write is WorkbookFormat::write.
class FunctionsFormat : public WorkbookFormat {
public:
    using SheetNames = std::function<QStringList(const QByteArray &bytes, const QString &fileName)>;
    using ReadSheet = std::function<std::unique_ptr<SheetData>(
        const QByteArray &bytes, const QString &fileName, const QString &sheetName)>;
    using CheckWritable = std::function<void(const QByteArray &bytes)>;
    using Write = std::function<WriteResult(const QString &path, const FileIdentity &opened,
                                            const std::vector<SheetChange> &changes)>;

    FunctionsFormat(SheetNames sheetNames, ReadSheet readSheet, CheckWritable checkWritable,
                    Write write);

    QStringList sheetNames(const QByteArray &bytes, const QString &fileName) const override;
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    QString whyReadOnly(const SheetRead &read) const override;
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;

private:
    SheetNames m_sheetNames;
    ReadSheet m_readSheet;
    CheckWritable m_checkWritable;
    Write m_write;
};

// A format as its folder declares it to the registry (workbook/formatregistry.h), which asks the
// formats in turn whether a file is theirs and builds the open dialog's filter from their
// labels and patterns.
struct FormatDeclaration {
    const char *name;        // as its folder is named: "xlsx"
    const char *dialogLabel; // the open dialog's label, in UTF-8: "Excel 2007 workbook"
    const char *patterns;    // the open dialog's patterns, ";" between two: "*.xlsx"
    // The registry asks the formats of higher priority first, and among equals in its table's
    // order; the first whose test says yes reads the file. A test may answer yes to a file only
    // because no format before it did (a damaged zip whose first entry is not "mimetype");
    // LastResortPriority is for a format that takes what no other does.
    int priority;
    bool (*isOwnFile)(const QByteArray &bytes);
    const WorkbookFormat &(*format)();
};

inline constexpr int LastResortPriority = 0;

// Throws the message the registry's formatOf() gives for a file that no format knows; a format
// gives it too for a file of its container that holds no workbook.
[[noreturn]] void notAWorkbook(const QString &fileName);

// Reads the file at fileName whole. Throws CommandError ("Cannot open the workbook "<path>":
// <reason>") when it cannot be read: missing, a folder, not a regular file, or over 2 GB.
QByteArray readWorkbookFile(const QString &fileName);

} // namespace workbook
