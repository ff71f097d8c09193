// A table opened from any file the workbook engine reads, and its KML and problems saved.
#include "table/tablefile.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"
#include "common/zip/zipwriter.h"
#include "kml/kmlbuffer.h"
#include "table/tableview.h"
#include "workbook/formatregistry.h"
#include "workbook/workbookformat.h"

#include <QFileInfo>

namespace table {

namespace {

// The declaration of the format the registry chose, for its name.
const workbook::FormatDeclaration *declarationOf(const workbook::WorkbookFormat &format) {
    for (const workbook::FormatDeclaration *d : workbook::registeredFormats())
        if (&d->format() == &format)
            return d;
    return nullptr;
}

// A bound on the UTF-8 document's size, for the KMZ's choice of 4- or 8-byte sizes: every text of
// the sheet three times over (a UTF-16 unit is at most three bytes, and a cell's text appears as
// a name, a folder's name or a value), and each row's and column's markup.
std::uint64_t documentBound(const TableView &table) {
    const workbook::SheetData &sheet = table.sheet();
    return 3 * std::uint64_t(sheet.strings.chars().size()) * 3 +
           std::uint64_t(table.dataRows().size()) *
               (600 + 200 * std::uint64_t(table.columnCount())) +
           (1 << 20);
}

void writeTableFile(const QString &fileName, bool kmz, const TableView &table,
                    const TableOptions &options, const QString &documentName, TableResult &result,
                    const WriteProgress &progress) {
    saveKmlFile(fileName, kmz ? ".kmz.tmp" : ".kml.tmp", [&](ReplacingFile &file) {
        const auto toFile = [&file](const char *bytes, qsizetype size) {
            return file.write(bytes, size);
        };
        if (!kmz)
            return writeTableKml(
                table, options, documentName,
                [&](QByteArrayView piece) { return toFile(piece.data(), piece.size()); }, result,
                progress);
        zip::ZipWriter zip(toFile, KmzDocumentName, documentBound(table));
        return writeTableKml(
                   table, options, documentName,
                   [&](QByteArrayView piece) { return zip.write(piece.data(), piece.size()); },
                   result, progress) &&
               zip.finish();
    });
}

bool isDelimitedText(const workbook::WorkbookFormat &format) {
    const workbook::FormatDeclaration *declaration = declarationOf(format);
    return declaration && declaration->priority == workbook::LastResortPriority;
}

// The workbook's first sheet in its order.
QString firstSheet(const QStringList &names, const QString &path) {
    if (names.isEmpty())
        throw CommandError(
            QStringLiteral("The workbook \"%1\" has no worksheet").arg(displayPath(path)));
    return names.front();
}

// The named sheet, and the document's name: the file's, and for a workbook the sheet's.
OpenedTable readSheet(const QByteArray &bytes, const workbook::WorkbookFormat &format,
                      const QString &path, const QString &name) {
    OpenedTable out;
    out.sheet = format.read(bytes, path, name).sheet;
    out.documentName = QFileInfo(path).fileName();
    if (!isDelimitedText(format))
        out.documentName += QStringLiteral(": ") + out.sheet->sheetName;
    return out;
}

} // namespace

OpenedTable openTable(const QString &path, const QString &sheetName) {
    const QByteArray bytes = workbook::readWorkbookFile(path);
    const workbook::WorkbookFormat &format = workbook::formatOf(bytes, path);
    // The sheet names are read only when no sheet was asked for.
    return readSheet(bytes, format, path,
                     sheetName.isEmpty() ? firstSheet(format.sheetNames(bytes, path), path)
                                         : sheetName);
}

OpenedTable openFirstTable(const QString &path, TableSheets &sheets) {
    const QByteArray bytes = workbook::readWorkbookFile(path);
    const workbook::WorkbookFormat &format = workbook::formatOf(bytes, path);
    sheets = {format.sheetNames(bytes, path), isDelimitedText(format)};
    return readSheet(bytes, format, path, firstSheet(sheets.names, path));
}

bool saveTable(const QString &fileName, const TableView &table, const TableOptions &options,
               const QString &documentName, TableResult &result, const WriteProgress &progress) {
    const bool kmz = fileName.endsWith(u".kmz", Qt::CaseInsensitive);
    bool cancelled = false;
    const WriteProgress told = [&](double done) {
        cancelled = progress && !progress(done);
        return !cancelled;
    };
    try {
        writeTableFile(fileName, kmz, table, options, documentName, result, told);
    } catch (const CommandError &) {
        if (cancelled)
            return false;
        throw;
    }
    return true;
}

void saveProblems(const QString &fileName, const TableView &table, const TableResult &result) {
    QByteArray text;
    for (const Problem &p : result.problems) {
        QString cell = p.text;
        cell.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(p.row)
                    .arg(table.headings().value(p.column), problemText(p), cell)
                    .toUtf8();
    }
    saveKmlFile(fileName, ".tsv.tmp",
                [&](ReplacingFile &file) { return file.write(text.constData(), text.size()); });
}

} // namespace table
