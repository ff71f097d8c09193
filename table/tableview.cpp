// A sheet read as a table below its heading row.
#include "table/tableview.h"

#include "workbook/fieldtext.h"

#include <QSet>

namespace table {

using workbook::Cell;
using workbook::CellKind;

QString columnLetters(int column) {
    QString letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

TableView::TableView(const workbook::SheetData &sheet) : m_sheet(sheet) {
    m_firstColumn = sheet.firstColumn();
    const int lastRow = sheet.firstRow() + sheet.rowCount();
    const int columns = sheet.columnCount();
    auto valuesIn = [&](int row) {
        int n = 0;
        for (int c = 0; c < columns && n < 2; ++c)
            n += hasValue(sheet, sheet.cell(row, m_firstColumn + c));
        return n;
    };
    for (int row = sheet.firstRow(); row < lastRow; ++row) {
        if (valuesIn(row) >= 2) {
            m_headingRow = row;
            break;
        }
    }
    if (m_headingRow < 0)
        return;

    QSet<QString> taken;
    for (int c = 0; c < columns; ++c) {
        const Cell *cell = sheet.cell(m_headingRow, m_firstColumn + c);
        QString heading = hasValue(sheet, cell) ? workbook::fieldtext::cellText(sheet, cell, u'.')
                                                : columnLetters(m_firstColumn + c);
        if (taken.contains(heading)) {
            int n = 2;
            while (taken.contains(heading + QStringLiteral(" (%1)").arg(n)))
                ++n;
            heading += QStringLiteral(" (%1)").arg(n);
        }
        taken.insert(heading);
        m_headings << heading;
    }
    for (int row = m_headingRow + 1; row < lastRow; ++row)
        for (int c = 0; c < columns; ++c)
            if (hasValue(sheet, sheet.cell(row, m_firstColumn + c))) {
                m_dataRows.push_back(row);
                break;
            }
}

} // namespace table
