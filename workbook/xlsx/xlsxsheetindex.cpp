// One pass over the part; a row without formulas is passed over to its end tag unread, as
// only whether it holds cells matters to the index.
#include "workbook/xlsx/xlsxsheetindex.h"

#include "workbook/workbookerrors.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace workbook::xlsx {

namespace {

using xml::attributesOf;
using xml::is;
using xml::Scanner;
using Token = Scanner::Token;

bool parseRowNumber(QByteArrayView raw, int &row) {
    int value = 0;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    if (r.ec != std::errc() || r.ptr != raw.data() + raw.size() || value < 1 || value > SheetRows)
        return false;
    row = value - 1;
    return true;
}

bool parseRange(QByteArrayView text, CellRange &range) {
    const qsizetype colon = text.indexOf(':');
    int r1, c1, r2, c2;
    if (colon < 0) {
        if (!parseCellName(text, r1, c1))
            return false;
        range = CellRange{r1, c1, r1, c1};
        return true;
    }
    if (!parseCellName(text.first(colon), r1, c1) || !parseCellName(text.sliced(colon + 1), r2, c2))
        return false;
    range = CellRange{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
    return true;
}

// What a row's content holds, from its tags' names alone (with or without a prefix): cells
// (<c>), formulas (<f>).
struct RowContent {
    bool cells = false;
    bool formulas = false;
};

RowContent rowContent(const char *p, const char *end) {
    RowContent out;
    while ((p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p))))) {
        const char *name = ++p;
        while (p < end && *p != ' ' && *p != '>' && *p != '/' && *p != '\t' && *p != '\n' &&
               *p != '\r')
            ++p;
        const char *local = name;
        for (const char *q = name; q < p; ++q)
            if (*q == ':')
                local = q + 1;
        if (p - local == 1) {
            out.cells = out.cells || *local == 'c';
            out.formulas = out.formulas || *local == 'f';
        }
    }
    return out;
}

} // namespace

void CellRange::add(int row, int column) {
    if (empty()) {
        firstRow = lastRow = row;
        firstColumn = lastColumn = column;
        return;
    }
    firstRow = std::min(firstRow, row);
    lastRow = std::max(lastRow, row);
    firstColumn = std::min(firstColumn, column);
    lastColumn = std::max(lastColumn, column);
}

QByteArray CellRange::text() const {
    const QByteArray first = cellName(firstRow, firstColumn);
    if (firstRow == lastRow && firstColumn == lastColumn)
        return first;
    return first + ':' + cellName(lastRow, lastColumn);
}

SheetIndex::SheetIndex(QByteArray xml) : m_xml(std::move(xml)) {
    index();
}

// A row's cells read one by one, for its formulas' shared and array ranges.
void SheetIndex::indexCells(Scanner &s, SheetRow &r, int row) {
    const int rowDepth = s.depth();
    int nextColumn = 0;
    while (!(s.next() == Token::EndElement && s.depth() < rowDepth)) {
        if (s.token() != Token::StartElement)
            continue;
        if (!is(s.localName(), "c")) {
            s.skipElement();
            continue;
        }
        r.hasCells = true;
        int cellRow = row, column = nextColumn;
        QByteArrayView cref;
        if (s.attribute("r", cref) && !parseCellName(cref, cellRow, column))
            damage("a cell lies outside the sheet");
        nextColumn = column + 1;
        if (s.isEmptyElement())
            continue;
        const int cellDepth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < cellDepth)) {
            if (s.token() != Token::StartElement)
                continue;
            if (is(s.localName(), "f")) {
                m_hasFormulas = true;
                QByteArrayView type, range;
                CellRange rg;
                if (s.attribute("t", type) && s.attribute("ref", range) && parseRange(range, rg)) {
                    if (type == "shared")
                        m_sharedAnchors.push_back({row, column});
                    else
                        m_arrays.push_back(rg);
                }
            }
            if (!s.isEmptyElement())
                s.skipElement();
        }
    }
}

void SheetIndex::index() {
    Scanner s(m_xml);
    int row = -1;
    bool rowsInOrder = true;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        const QByteArrayView name = s.localName();
        if (is(name, "dimension")) {
            QByteArrayView ref;
            if (s.attribute("ref", ref)) {
                m_hasDimension = true;
                m_dimensionBegin = ref.data() - m_xml.constData();
                m_dimensionEnd = m_dimensionBegin + ref.size();
                if (!parseRange(ref, m_dimension))
                    m_dimension = CellRange();
            }
            continue;
        }
        if (!is(name, "sheetData"))
            continue;
        m_prefix = s.prefix().isEmpty() ? QByteArray() : s.prefix().toByteArray() + ':';
        m_dataTagBegin = s.tokenBegin();
        m_dataTagEnd = s.tokenEnd();
        m_dataBegin = s.tokenEnd();
        if (s.isEmptyElement()) {
            m_dataEmptyTag = true;
            m_dataEnd = m_dataBegin;
            s.next();
            continue;
        }
        const int depth = s.depth();
        QByteArrayView rowName;
        QByteArray endTag;
        m_rows.reserve(std::size_t(m_xml.size() / 128));
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() != Token::StartElement)
                continue;
            if (!is(s.localName(), "row")) {
                s.skipElement();
                continue;
            }
            SheetRow r;
            r.begin = s.tokenBegin();
            QByteArrayView ref;
            if (s.attribute("r", ref)) {
                if (!parseRowNumber(ref, r.index))
                    damage("a row lies outside the sheet");
                r.explicitRef = true;
            } else {
                r.index = row + 1;
                if (r.index >= SheetRows)
                    damage("a row lies outside the sheet");
            }
            if (r.index <= row)
                rowsInOrder = false;
            row = r.index;
            r.original = r.index;
            if (!s.isEmptyElement()) {
                // A row without formulas is passed over to its end tag unread: only whether it
                // holds cells matters here. (The bytes are those the reader has read whole.)
                if (s.name() != rowName) {
                    rowName = s.name();
                    endTag = "</" + rowName.toByteArray() + '>';
                }
                const char *from = m_xml.constData() + s.position();
                const char *stop = m_xml.constData() + m_xml.size();
                const auto *found = static_cast<const char *>(memmem(from, std::size_t(stop - from),
                                                                     endTag.constData(),
                                                                     std::size_t(endTag.size())));
                const RowContent content =
                    found ? rowContent(from, found) : RowContent{false, true};
                if (!content.formulas) {
                    r.hasCells = content.cells;
                    s.skipContentTo(found - m_xml.constData());
                    s.next();
                } else {
                    indexCells(s, r, row);
                }
            } else {
                s.next();
            }
            r.end = s.tokenEnd();
            m_rows.push_back(std::move(r));
        }
        m_dataEnd = s.tokenBegin();
    }
    if (m_dataBegin < 0)
        damage("its sheet has no sheet data");
    if (!rowsInOrder)
        damage("the rows of its sheet are not in order");
    if (m_hasDimension && m_dimension.empty() == false) {
        // An empty sheet's dimension says "A1": it holds no cell.
        bool any = false;
        for (const SheetRow &r : m_rows)
            any = any || r.hasCells;
        if (!any)
            m_dimension = CellRange();
    }
}

SheetRow &SheetIndex::parse(SheetRow &row) const {
    if (row.parsed)
        return row;
    row.parsed = true;
    if (row.begin < 0)
        return row;
    const QByteArrayView slice(m_xml.constData() + row.begin, row.end - row.begin);
    Scanner s(slice);
    s.next();
    row.tagName = s.name().toByteArray();
    row.attrs = attributesOf(s);
    if (s.isEmptyElement())
        return row;
    int nextColumn = 0;
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        if (s.token() != Token::StartElement)
            continue;
        CellXml c;
        const qsizetype begin = s.tokenBegin();
        c.isCell = is(s.localName(), "c");
        if (c.isCell) {
            int cellRow = 0;
            QByteArrayView ref;
            c.column = nextColumn;
            // The reader places a cell by its own name: one naming another row than the row it
            // stands in would be renamed into this one by the edit, its value moved unseen.
            if (s.attribute("r", ref) && parseCellName(ref, cellRow, c.column) &&
                cellRow != row.original)
                damage("a cell names another row than the one it stands in");
            nextColumn = c.column + 1;
            if (!s.isEmptyElement()) {
                const int cellDepth = s.depth();
                while (!(s.next() == Token::EndElement && s.depth() < cellDepth)) {
                    if (s.token() == Token::StartElement) {
                        c.hadFormula = c.hadFormula || is(s.localName(), "f");
                        if (!s.isEmptyElement())
                            s.skipElement();
                    }
                }
            } else {
                s.next();
            }
        } else {
            s.skipElement();
        }
        c.xml = slice.sliced(begin, s.tokenEnd() - begin).toByteArray();
        row.cells.push_back(std::move(c));
    }
    return row;
}

int SheetIndex::lastRow() const {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->hasCells)
            return it->index;
    return -1;
}

} // namespace workbook::xlsx
