// The delimited text format (.csv, .tsv, .txt): a text file whose records are rows and whose
// fields are text cells, its one sheet named sheet1. Read by csvreader, written back by
// csvwriter, record by record, every byte the changes do not touch kept.
#pragma once

#include "workbook/workbookformat.h"

#include <QByteArray>

namespace workbook::csv {

class CsvFormat : public FunctionsFormat {
public:
    CsvFormat();

    // The read also answers the writability question on its one pass through the file, which a
    // file of a million records would otherwise take a second time.
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
};

// The content test: whether the bytes read as text (csvdialect's detectEncoding). A file that no
// other format knows is this one when it does.
bool looksLikeDelimitedText(const QByteArray &bytes);

// Delimited text to the registry: "Delimited text(*.csv;*.tsv;*.txt)", asked last.
extern const FormatDeclaration Declaration;

} // namespace workbook::csv
