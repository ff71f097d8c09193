// Sheets made from rows of texts for the tests of the table rules: "" is no cell, "#n" a number
// cell n, "@serial" a date cell, any other text a text cell.
#pragma once

#include "workbook/sheetdata.h"

#include <QList>
#include <QStringList>

namespace tabletesting {

inline workbook::SheetData sheetOf(const QList<QStringList> &rows) {
    using workbook::Cell;
    using workbook::CellKind;
    workbook::SheetData sheet;
    std::vector<Cell> cells;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            const QString &v = rows[r][c];
            if (v.isEmpty())
                continue;
            Cell cell;
            cell.row = std::uint32_t(r);
            cell.column = std::uint16_t(c);
            if (v.startsWith(u'#') || v.startsWith(u'@')) {
                cell.kind = v.startsWith(u'#') ? CellKind::Number : CellKind::Date;
                cell.number = v.mid(1).toDouble();
            } else {
                cell.kind = CellKind::Text;
                cell.text = sheet.strings.add(v);
            }
            cells.push_back(cell);
        }
    sheet.setCells(std::move(cells));
    return sheet;
}

} // namespace tabletesting
