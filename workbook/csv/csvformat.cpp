// The delimited text format's calls, over its reader and its write-back, and its declaration.
#include "workbook/csv/csvformat.h"

#include "workbook/csv/csvdialect.h"
#include "workbook/csv/csvreader.h"
#include "workbook/csv/csvwriter.h"

namespace workbook::csv {

namespace {

const WorkbookFormat &format() {
    static const CsvFormat csv;
    return csv;
}

} // namespace

CsvFormat::CsvFormat()
    : FunctionsFormat(
          [](const QByteArray &bytes, const QString &) { return csvSheetNames(bytes); },
          [](const QByteArray &bytes, const QString &fileName, const QString &sheetName) {
              return readSheet(bytes, fileName, sheetName);
          },
          checkWritable, writeSheetChanges) {}

SheetRead CsvFormat::read(QByteArray bytes, const QString &fileName,
                          const QString &sheetName) const {
    SheetRead out;
    Dialect dialect;
    bool endsInQuote = false;
    out.sheet = readSheet(bytes, fileName, sheetName, &dialect, &endsInQuote);
    out.identity = fileIdentity(fileName, bytes);
    out.readOnlyReason = whyNotWritable(bytes, dialect, endsInQuote);
    out.bytes = std::move(bytes);
    return out;
}

bool looksLikeDelimitedText(const QByteArray &bytes) {
    return detectEncoding(bytes).has_value();
}

// The last resort: a file that no other format knows and that reads as text.
const FormatDeclaration Declaration{
    "csv", "Delimited text", "*.csv;*.tsv;*.txt", LastResortPriority, looksLikeDelimitedText,
    format};

} // namespace workbook::csv
