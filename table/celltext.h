// A table cell's text as the grid shows it, with dates in ISO 8601, for names, categories and
// extended data alike.
#pragma once

#include "workbook/fieldtext.h"
#include "workbook/sheetdata.h"

#include <QString>
#include <QStringView>

namespace table {

// A date cell as ISO 8601: "2024-05-01", with separator and "08:30:00" when it has a time.
QString isoDate(const workbook::SheetData &sheet, const workbook::Cell &cell, QChar separator);

// Reads cells' texts; a view stays good until the next call.
class CellText {
public:
    explicit CellText(const workbook::SheetData &sheet) : m_sheet(sheet) {}

    // Empty for a null cell; a date with a space before its time.
    QStringView operator()(const workbook::Cell *cell);

private:
    const workbook::SheetData &m_sheet;
    workbook::fieldtext::TextScratch m_scratch;
    QString m_date;
};

} // namespace table
