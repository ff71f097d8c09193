// The delimited text format's three calls, over its reader and its write-back.
#include "workbook/csv/csvformat.h"

#include "workbook/csv/csvdialect.h"
#include "workbook/csv/csvreader.h"
#include "workbook/csv/csvwriter.h"

namespace workbook::csv {

CsvFormat::CsvFormat() : FunctionsFormat(readSheet, checkWritable, writeSheetChanges) {}

bool looksLikeDelimitedText(const QByteArray &bytes) {
    return detectEncoding(bytes).has_value();
}

} // namespace workbook::csv
