// A table's file: any workbook the registry knows (any sheet, the first by default) or delimited
// text opened as a sheet, and its placemarks saved as UTF-8 KML or KMZ with the problems of its
// rows beside them.
#pragma once

#include "table/tablekml.h"
#include "workbook/sheetdata.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace table {

struct OpenedTable {
    std::unique_ptr<workbook::SheetData> sheet;
    // The <Document>'s name: the file's name, and for a workbook ": " and the sheet's name.
    QString documentName;
};

// Reads the named sheet (compared without regard to case), or the first in the workbook's order
// when sheetName is empty. Throws CommandError with the workbook page's messages.
OpenedTable openTable(const QString &path, const QString &sheetName = QString());

// The sheets a table's file offers, in the workbook's order; delimited text is one sheet that
// cannot be chosen.
struct TableSheets {
    QStringList names;
    bool delimitedText = false;
};
// The first sheet of the file, as openTable reads it, and the sheets it offers, from one read of
// the file. Throws CommandError as openTable does.
OpenedTable openFirstTable(const QString &path, TableSheets &sheets);

// Writes the table's placemarks to fileName: KMZ when it ends in ".kmz", else UTF-8 KML; through
// the program's save path (the file replaced whole or left as it was). progress, when given, is
// told how far the save has come; false from it cancels the save, and saveTable returns false
// with the file as it was. Throws CommandError.
bool saveTable(const QString &fileName, const TableView &table, const TableOptions &options,
               const QString &documentName, TableResult &result,
               const WriteProgress &progress = {});

// The problems of the rows as tab-separated lines of row, column heading, the problem's words
// and the cell's text, in UTF-8; written, empty, when there are none. Throws CommandError.
void saveProblems(const QString &fileName, const TableView &table, const TableResult &result);

} // namespace table
