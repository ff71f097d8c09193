// Writes edits back into a delimited text file: the file read again, the changes made by the
// editor (csveditor), the new text read back by our reader and checked against what the changes
// must give (workbook/readbackcheck.h), then saved through WorkbookRewrite.
#pragma once

#include "workbook/csv/csvdialect.h"
#include "workbook/fileidentity.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace workbook::csv {

// FunctionsFormat's two write calls (workbook/workbookformat.h). checkWritable refuses a file
// whose bytes would not stay as they are: text that is not GB18030 through and through, read
// with replacement characters (or that does not convert back to the same bytes), and a file
// that ends inside a quoted field, where a new record would be read as part of that field.
void checkWritable(QByteArrayView bytes);

// Why edits cannot be written into a file of that dialect, as checkWritable says it, for a reader
// that already knows whether the file ends inside a quoted field; empty when they can.
QString whyNotWritable(QByteArrayView bytes, const Dialect &dialect, bool endsInQuote);

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes);
// The new file's bytes with the changes applied, in order, and checked by reading them back;
// nothing when nothing changed. fileName says what delimiter a file of one column takes for a
// second column: a tab for .tsv, else a comma. Throws CommandError.
std::optional<QByteArray> applyChanges(QByteArrayView bytes, const QString &fileName,
                                       const std::vector<SheetChange> &changes,
                                       WriteResult &result);

} // namespace workbook::csv
