// What the .xlsx sheet editor knows of a worksheet part before any change: the sheet data's
// rows with their byte ranges and row numbers, the dimension, the ranges of array formulas and
// the cells that shared formulas start from. A row is taken apart into its cells only when a
// change touches it or moves it.
#pragma once

#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xml/xmlelement.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <utility>
#include <vector>

namespace workbook::xlsx {

// "A1:D5" or "B2": rows and columns, 0-based, inclusive.
struct CellRange {
    int firstRow = 0, firstColumn = 0, lastRow = -1, lastColumn = -1;
    bool empty() const { return lastRow < firstRow; }
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    void add(int row, int column);
    QByteArray text() const;
};

// A child of a parsed row: a cell, or another element kept in place.
struct CellXml {
    int column = 0;
    bool isCell = true; // false: another child of the row (extLst), kept in place
    QByteArray xml;     // the element as written, or as made
    bool hadFormula = false;
};

struct SheetRow {
    int index = 0;        // its row now
    int original = -1;    // its row when read; -1 for a new row
    qsizetype begin = -1; // its bytes in the part
    qsizetype end = -1;
    bool explicitRef = false;
    bool hasCells = false;
    bool parsed = false;
    std::vector<xml::Attr> attrs; // parsed: the start tag's attributes
    QByteArray tagName;
    std::vector<CellXml> cells; // parsed: the children in order
};

class SheetIndex {
public:
    // Reads the part's XML (UTF-8). Throws DamagedFile (xml::XmlError among them) when it cannot be
    // read.
    explicit SheetIndex(QByteArray xml);

    // Takes the row apart into its children, once; a row made here has none to take.
    SheetRow &parse(SheetRow &row) const;
    // The last row holding a cell of any kind (formatted blanks too); -1 when none.
    int lastRow() const;

    QByteArray m_xml;
    QByteArray m_prefix; // the sheet data's namespace prefix with its colon, if any
    qsizetype m_dataBegin = -1, m_dataEnd = -1; // the rows lie between
    qsizetype m_dataTagBegin = -1, m_dataTagEnd = -1;
    bool m_dataEmptyTag = false;                          // <sheetData/>
    qsizetype m_dimensionBegin = -1, m_dimensionEnd = -1; // the ref value
    bool m_hasDimension = false;
    CellRange m_dimension;
    std::vector<SheetRow> m_rows; // in row order
    std::vector<CellRange> m_arrays;
    std::vector<std::array<int, 2>> m_sharedAnchors;
    bool m_hasFormulas = false;

private:
    void index();
    void indexCells(xml::Scanner &s, SheetRow &r, int row);
};

} // namespace workbook::xlsx
