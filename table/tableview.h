// A sheet read as a table: its heading row (the first with two or more values, so that a title
// above the table is passed over), one unique heading per column, and the data rows below it.
// It copies no cell: a table of a million rows is read where the sheet holds it.
#pragma once

#include "workbook/sheetdata.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace table {

class TableView {
public:
    explicit TableView(const workbook::SheetData &sheet);

    const workbook::SheetData &sheet() const { return m_sheet; }
    // Sheet row of the headings; -1 when no row has two values.
    int headingRow() const { return m_headingRow; }
    // One per column, made unique with " (2)", " (3)" …; an empty one is the column's letters.
    const QStringList &headings() const { return m_headings; }
    int columnCount() const { return int(m_headings.size()); }
    // The sheet column of a table column.
    int sheetColumn(int column) const { return m_firstColumn + column; }
    // The sheet rows below the headings that hold a value, in order.
    const std::vector<int> &dataRows() const { return m_dataRows; }

    // The cell of a data row in a table column; null when it is empty or holds only blanks.
    // Inline, as hasValue: a long export reads every cell through it.
    const workbook::Cell *cell(int row, int column) const;

private:
    const workbook::SheetData &m_sheet;
    int m_headingRow = -1;
    int m_firstColumn = 0;
    QStringList m_headings;
    std::vector<int> m_dataRows;
};

// The letters of a 0-based column: A … Z, AA …
QString columnLetters(int column);

// A cell with a value: not empty and, for a text, not only blanks.
inline bool hasValue(const workbook::SheetData &sheet, const workbook::Cell *cell) {
    if (!cell || cell->kind == workbook::CellKind::Empty)
        return false;
    if (cell->kind != workbook::CellKind::Text)
        return true;
    const QStringView text = sheet.strings.view(cell->text);
    if (!text.isEmpty() && !text.front().isSpace())
        return true;
    return !text.trimmed().isEmpty();
}

inline const workbook::Cell *TableView::cell(int row, int column) const {
    const workbook::Cell *c = m_sheet.cell(row, m_firstColumn + column);
    return hasValue(m_sheet, c) ? c : nullptr;
}

} // namespace table
