// What the sheet editor knows of sheet1 in an OpenDocument content part before any change: its
// row elements with their byte ranges and the rows each covers, whether they hold anything, the
// cells of merged ranges and array formulas, and the styles and namespaces a written cell needs.
// A row is taken apart into its cells only when a change falls in it.
#pragma once

#include "workbook/ods/odsfastrow.h"
#include "workbook/ods/odsstyles.h"
#include "workbook/sheetchange.h"
#include "workbook/xml/xmlelement.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <vector>

namespace workbook::ods {

// 0-based rows and columns, inclusive.
struct CellRange {
    int firstRow, firstColumn, lastRow, lastColumn;
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
};

// A cell element of a parsed row, or another child of the row (count 0).
struct CellItem {
    int first = 0;
    int count = 1;
    bool covered = false;
    bool content = false;
    QByteArray xml; // the element as it stands or as made
};

// A row element: as read, with a new count, or parsed into its cells.
struct SheetRow {
    enum class State { Original, Recounted, Parsed };
    int first = 0;
    int count = 1;   // 0 once deleted
    int source = -1; // index into the row elements as read; -1 for a row made here
    State state = State::Original;
    bool content = false;
    QByteArray xml; // Recounted: the element with its new count
    // Parsed:
    QByteArray tagName;
    std::vector<xml::Attr> attrs;
    std::vector<CellItem> cells;
};

class SheetIndex {
public:
    // Reads the part (UTF-8) with the common styles of the styles part. Throws DamagedFile
    // (xml::XmlError among them) when the part cannot be read, and CommandError when it has no
    // sheet named sheet1.
    SheetIndex(QByteArray xml, const CellStyles &commonStyles);

    bool is(QByteArrayView name, Ns ns, const char *local) const {
        return m_names.is(name, ns, local);
    }
    // The qualified name the part writes for the namespace's local name ("table:table-cell").
    QByteArray q(Ns ns, const char *local) const { return m_names.qualified(ns, local); }

    // The row element's bytes as read.
    QByteArrayView sourceBytes(const SheetRow &r) const;
    // The element with its start tag's count attribute set to count, or removed for 1.
    QByteArray withCount(QByteArrayView element, const char *local, int count) const;
    void recount(SheetRow &r, int count) const;
    // Takes the row apart into its cells, once.
    void parse(SheetRow &r) const;
    // Whether the cell element the scanner stands on holds text or a child (a comment, a
    // shape); the scanner then stands past it.
    bool cellContent(xml::Scanner &s) const;
    // The index of the row covering it; m_rows.size() when none.
    std::size_t rowAt(int row) const;
    int lastRow() const;
    // 1,024 columns, or 16,384 when the sheet declares more than 1,024 (a "very large sheet").
    SheetLimits limits() const {
        return {SheetRows, m_columns.count() > SheetColumns ? JumboColumns : SheetColumns,
                MaxCellText};
    }

    QByteArray m_xml;
    CellStyles m_styles;
    Names m_names;
    std::vector<SheetRow> m_rows; // in row order, as the elements stand
    std::vector<CellRange> m_matrices, m_covered;
    ColumnStyles m_columns;
    qsizetype m_insertAt = -1; // where rows made here go: after the last row element
    // The row elements as read, by SheetRow::source: their bytes in m_xml.
    struct SourceRange {
        qsizetype begin, end;
    };
    std::vector<SourceRange> m_sources;

private:
    // What a cell's attributes say: the columns it covers, the array formula it starts, whether
    // it holds a value or a formula.
    struct CellFacts {
        std::int64_t columns, matrixRows, matrixColumns;
        bool value;
    };

    void index();
    void indexTable(xml::Scanner &s);
    void indexRow(xml::Scanner &s, int &row);
    bool indexFastRow(xml::Scanner &s, SheetRow &r);
    CellFacts cellFacts(const xml::Scanner::Attribute *attributes, int count) const;
    void indexCell(SheetRow &r, std::int64_t &column, bool covered, const CellFacts &facts,
                   bool content);

    std::optional<FastRowReader> m_fast; // the rows of the shape LibreOffice writes
};

} // namespace workbook::ods
