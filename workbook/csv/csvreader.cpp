// One pass over the file's units: the scanner cuts records and fields, and each non-empty field
// is decoded straight into the sheet's string pool.
#include "workbook/csv/csvreader.h"

#include "common/commanderror.h"
#include "workbook/csv/csvdialect.h"
#include "workbook/csv/csvscanner.h"
#include "workbook/csv/csvtext.h"
#include "workbook/workbookerrors.h"
#include "workbook/workbookformat.h"

#include <algorithm>

namespace workbook::csv {

namespace {

struct TooManyCells {};

// The most fields the units can hold: one more than their delimiters and line ends. Counted first
// so that the cells and the strings are reserved once: a vector that grows holds its old and its
// new room at once, which on a million records was the open's peak of memory.
template <class Units> std::size_t fieldBound(const Units &units, unsigned delimiter) {
    std::size_t n = 1;
    for (qsizetype i = 0; i < units.size; ++i) {
        const unsigned c = units[i];
        n += c == delimiter || c == '\n' || c == '\r';
    }
    return std::min(n, MaxCells);
}

// Reads the cells; returns whether the file ends inside a quoted field.
template <class Units>
bool readCells(const Units &units, const Dialect &dialect, SheetData &sheet) {
    std::vector<Cell> cells;
    // The pool's characters never outnumber the units.
    const std::size_t bound = fieldBound(units, dialect.delimiter);
    cells.reserve(bound);
    sheet.strings.reserveChars(std::size_t(units.size));
    sheet.strings.reserveStrings(bound);
    FieldDecoder decoder(dialect.encoding);
    RecordScanner<Units> scanner(units, dialect.delimiter);
    std::vector<FieldRange> fields;
    RecordRange record;
    for (qint64 row = 0; scanner.next(record, &fields); ++row) {
        for (std::size_t column = 0; column < fields.size(); ++column) {
            const FieldRange &f = fields[column];
            if (f.end == f.begin)
                continue;
            decoder.appendField(sheet.strings, units, f);
            const std::uint32_t text = sheet.strings.finish();
            const std::uint32_t length = sheet.strings.length(text);
            if (length == 0)
                continue;
            if (length > std::uint32_t(MaxCellText))
                textTooLong();
            if (row >= SheetRows)
                damage("a row lies outside the sheet");
            if (column >= std::size_t(SheetColumns))
                damage("a cell lies outside the sheet");
            if (cells.size() >= MaxCells)
                throw TooManyCells{};
            Cell c;
            c.kind = CellKind::Text;
            c.text = text;
            c.row = std::uint32_t(row);
            c.column = std::uint16_t(column);
            cells.push_back(c);
        }
    }
    sheet.setCells(std::move(cells));
    return scanner.endedInQuote();
}

} // namespace

std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName) {
    return readSheet(bytes, fileName, sheetName, nullptr, nullptr);
}

std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName, Dialect *found, bool *endsInQuote) {
    const std::optional<Dialect> dialect = detectDialect(bytes);
    if (!dialect)
        notAWorkbook(fileName);
    const QString path = displayPath(fileName);
    const QString name = QStringLiteral("sheet1");
    if (sheetName.compare(name, Qt::CaseInsensitive) != 0)
        noSuchSheet(path, sheetName);
    auto sheet = std::make_unique<SheetData>();
    sheet->sheetName = name;
    try {
        const bool openQuote = withUnits(
            bytes, *dialect, [&](const auto &units) { return readCells(units, *dialect, *sheet); });
        if (endsInQuote)
            *endsInQuote = openQuote;
        if (found)
            *found = *dialect;
    } catch (const DamagedFile &e) {
        damaged(path, e.why);
    } catch (const TooManyCells &) {
        throw CommandError(QStringLiteral("The sheet \"%1\" of the workbook \"%2\" holds more "
                                          "than %3 cells with values, which cannot be read")
                               .arg(name, path)
                               .arg(MaxCells));
    }
    return sheet;
}

QStringList csvSheetNames(const QByteArray &) {
    return {QStringLiteral("sheet1")};
}

} // namespace workbook::csv
