// One pass over the part finds the sheet data's rows with their byte ranges and row numbers,
// the dimension, and the ranges of array and shared formulas. A row is parsed into its cells
// only when a change touches it or moves it.
#include "workbook/xlsx/xlsxsheeteditor.h"

#include "common/commanderror.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xml/xmlscanner.h"
#include "workbook/xml/xmlvalues.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace workbook::xlsx {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

// A name against a literal, compared without a call: the scan's most frequent question.
template <std::size_t N> bool is(QByteArrayView name, const char (&what)[N]) {
    if (name.size() != qsizetype(N - 1))
        return false;
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (name.data()[i] != what[i])
            return false;
    return true;
}

bool parseRowNumber(QByteArrayView raw, int &row) {
    int value = 0;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    if (r.ec != std::errc() || r.ptr != raw.data() + raw.size() || value < 1 || value > SheetRows)
        return false;
    row = value - 1;
    return true;
}

// "A1:D5" or "B2": rows and columns, 0-based, inclusive.
struct Range {
    int firstRow = 0, firstColumn = 0, lastRow = -1, lastColumn = -1;
    bool empty() const { return lastRow < firstRow; }
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    void add(int row, int column) {
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
    QByteArray text() const {
        const QByteArray first = cellName(firstRow, firstColumn);
        if (firstRow == lastRow && firstColumn == lastColumn)
            return first;
        return first + ':' + cellName(lastRow, lastColumn);
    }
};

bool parseRange(QByteArrayView text, Range &range) {
    const qsizetype colon = text.indexOf(':');
    int r1, c1, r2, c2;
    if (colon < 0) {
        if (!parseCellName(text, r1, c1))
            return false;
        range = Range{r1, c1, r1, c1};
        return true;
    }
    if (!parseCellName(text.first(colon), r1, c1) || !parseCellName(text.sliced(colon + 1), r2, c2))
        return false;
    range = Range{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
    return true;
}

void appendEscaped(QByteArray &out, const QByteArray &utf8, bool attribute) {
    for (char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

// Text for a cell: XML cannot hold most control characters, which Excel writes as _xHHHH_; a
// literal "_x0041_" must then be kept from reading as "A" by escaping its underscore.
QByteArray cellTextXml(const QString &text) {
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool control = c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
        const bool escapeLike = c == u'_' && i + 6 < text.size() + 0 && text[i + 1] == u'x' &&
                                text[i + 6] == u'_' && [&] {
                                    for (int k = 2; k < 6; ++k)
                                        if (!isxdigit(text[i + k].toLatin1()))
                                            return false;
                                    return true;
                                }();
        if (control || escapeLike || c == u'\xFFFE' || c == u'\xFFFF')
            escaped += QStringLiteral("_x%1_")
                           .arg(c.unicode(), 4, 16, QChar(u'0'))
                           .toUpper()
                           .replace(QStringLiteral("_X"), QStringLiteral("_x"));
        else
            escaped += c;
    }
    QByteArray out;
    appendEscaped(out, escaped.toUtf8(), false);
    return out;
}

using xml::numberText;

constexpr SheetLimits Limits{SheetRows, SheetColumns, MaxCellText};

// A start tag rebuilt from its attributes, with some replaced, removed (empty value) or added;
// the attributes keep their order. Returns the bytes up to the tag's ">" (or "/>" excluded).
struct Attr {
    QByteArray name;
    QByteArray raw; // as written, between its quotes, quoted with "
};

std::vector<Attr> attributesOf(const Scanner &s) {
    std::vector<Attr> out;
    for (const Scanner::Attribute &a : s.attributes()) {
        QByteArray raw = a.raw.toByteArray();
        raw.replace('"', "&quot;"); // a value quoted with ' may hold "
        out.push_back(Attr{a.name.toByteArray(), raw});
    }
    return out;
}

void setAttr(std::vector<Attr> &attrs, const QByteArray &name, const QByteArray &raw,
             bool front = false) {
    for (Attr &a : attrs)
        if (a.name == name) {
            a.raw = raw;
            return;
        }
    if (front)
        attrs.insert(attrs.begin(), Attr{name, raw});
    else
        attrs.push_back(Attr{name, raw});
}

void removeAttr(std::vector<Attr> &attrs, const QByteArray &name) {
    attrs.erase(
        std::remove_if(attrs.begin(), attrs.end(), [&](const Attr &a) { return a.name == name; }),
        attrs.end());
}

QByteArray startTag(const QByteArray &name, const std::vector<Attr> &attrs) {
    QByteArray out = '<' + name;
    for (const Attr &a : attrs)
        out += ' ' + a.name + "=\"" + a.raw + '"';
    return out;
}

struct CellXml {
    int column = 0;
    bool isCell = true; // false: another child of the row (extLst), kept in place
    QByteArray xml;     // the element as written, or as made
    bool hadFormula = false;
};

struct Row {
    int index = 0;        // its row now
    int original = -1;    // its row when read; -1 for a new row
    qsizetype begin = -1; // its bytes in the part
    qsizetype end = -1;
    bool explicitRef = false;
    bool hasCells = false;
    bool parsed = false;
    std::vector<Attr> attrs; // parsed: the start tag's attributes
    QByteArray tagName;
    std::vector<CellXml> cells; // parsed: the children in order
};

} // namespace

class SheetPartEditor::Private {
public:
    explicit Private(QByteArray xml) : m_xml(std::move(xml)) { index(); }

    void index();
    void indexCells(Scanner &s, Row &r, int row);
    Row &parse(Row &row) const;
    void setCell(int row, int column, const EditValue &value);
    int lastRow() const;
    QByteArray result() const;

    QByteArray m_xml;
    QByteArray m_prefix; // the sheet data's namespace prefix with its colon, if any
    qsizetype m_dataBegin = -1, m_dataEnd = -1; // the rows lie between
    qsizetype m_dataTagBegin = -1, m_dataTagEnd = -1;
    bool m_dataEmptyTag = false;                          // <sheetData/>
    qsizetype m_dimensionBegin = -1, m_dimensionEnd = -1; // the ref value
    bool m_hasDimension = false;
    Range m_dimension;
    std::vector<Row> m_rows;                                // in row order
    std::vector<std::pair<qsizetype, qsizetype>> m_deleted; // bytes of deleted rows
    std::vector<Range> m_arrays;
    std::vector<std::array<int, 2>> m_sharedAnchors;
    bool m_changed = false;
    bool m_formulaRemoved = false;
    bool m_hasFormulas = false;
};

// What a row's content holds, from its tags' names alone (with or without a prefix): cells
// (<c>), formulas (<f>).
struct RowContent {
    bool cells = false;
    bool formulas = false;
};

static RowContent rowContent(const char *p, const char *end) {
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

// A row's cells read one by one, for its formulas' shared and array ranges.
void SheetPartEditor::Private::indexCells(Scanner &s, Row &r, int row) {
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
                Range rg;
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

void SheetPartEditor::Private::index() {
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
                    m_dimension = Range();
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
            Row r;
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
        for (const Row &r : m_rows)
            any = any || r.hasCells;
        if (!any)
            m_dimension = Range();
    }
}

Row &SheetPartEditor::Private::parse(Row &row) const {
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
            if (s.attribute("r", ref))
                parseCellName(ref, cellRow, c.column);
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

int SheetPartEditor::Private::lastRow() const {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->hasCells)
            return it->index;
    return -1;
}

// A cell's element made anew from the old one's start tag (or none): its style and unknown
// attributes kept, its type and content replaced.
QByteArray newCell(const QByteArray &prefix, const QByteArray *old, int row, int column,
                   const EditValue &value) {
    std::vector<Attr> attrs;
    QByteArray name = prefix + 'c';
    if (old) {
        Scanner s(*old);
        s.next();
        name = s.name().toByteArray();
        attrs = attributesOf(s);
    }
    setAttr(attrs, "r", cellName(row, column), true);
    removeAttr(attrs, "t");
    removeAttr(attrs, "cm"); // cell metadata of a dynamic array formula, gone with the formula
    if (std::holds_alternative<std::monostate>(value))
        return startTag(name, attrs) + "/>";
    if (const double *number = std::get_if<double>(&value))
        return startTag(name, attrs) + "><" + prefix + "v>" + numberText(*number) + "</" + prefix +
               "v></" + name + '>';
    attrs.push_back(Attr{"t", "inlineStr"});
    const QString &text = std::get<QString>(value);
    const bool blanks = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
    return startTag(name, attrs) + "><" + prefix + "is><" + prefix + 't' +
           (blanks ? QByteArray(" xml:space=\"preserve\"") : QByteArray()) + '>' +
           cellTextXml(text) + "</" + prefix + "t></" + prefix + "is></" + name + '>';
}

void SheetPartEditor::Private::setCell(int row, int column, const EditValue &value) {
    checkCellPosition(row, column, Limits);
    checkCellValue(row, column, value, Limits);
    for (const Range &a : m_arrays)
        if (a.contains(row, column))
            inArrayFormula(row, column);
    for (const auto &anchor : m_sharedAnchors)
        if (anchor[0] == row && anchor[1] == column)
            sharedFormulaCell(row, column);
    const bool empty = std::holds_alternative<std::monostate>(value);
    auto at = std::lower_bound(m_rows.begin(), m_rows.end(), row,
                               [](const Row &r, int index) { return r.index < index; });
    if (at == m_rows.end() || at->index != row) {
        if (empty)
            return;
        Row fresh;
        fresh.index = row;
        fresh.parsed = true;
        fresh.tagName = m_prefix + "row";
        at = m_rows.insert(at, std::move(fresh));
    }
    Row &target = parse(*at);
    auto cell = std::find_if(target.cells.begin(), target.cells.end(),
                             [&](const CellXml &c) { return c.isCell && c.column == column; });
    if (cell == target.cells.end() && empty)
        return;
    QByteArray made;
    if (cell != target.cells.end()) {
        made = newCell(m_prefix, &cell->xml, row, column, value);
        if (empty) {
            // A cell with nothing but its position goes; one with a style stays blank.
            Scanner s(made);
            s.next();
            bool styled = false;
            for (const Scanner::Attribute &a : s.attributes())
                styled = styled || a.name != "r";
            if (!styled) {
                m_formulaRemoved = m_formulaRemoved || cell->hadFormula;
                target.cells.erase(cell);
                target.hasCells = std::any_of(target.cells.begin(), target.cells.end(),
                                              [](const CellXml &c) { return c.isCell; });
                m_changed = true;
                return;
            }
        }
        m_formulaRemoved = m_formulaRemoved || cell->hadFormula;
        cell->xml = made;
        cell->hadFormula = false;
    } else {
        made = newCell(m_prefix, nullptr, row, column, value);
        auto before = std::find_if(target.cells.begin(), target.cells.end(),
                                   [&](const CellXml &c) { return c.isCell && c.column > column; });
        if (before == target.cells.end()) // after the last cell, before an extLst
            before = std::find_if(target.cells.begin(), target.cells.end(),
                                  [](const CellXml &c) { return !c.isCell; });
        target.cells.insert(before, CellXml{column, true, made, false});
    }
    target.hasCells = true;
    m_dimension.add(row, column);
    m_changed = true;
}

QByteArray SheetPartEditor::Private::result() const {
    QByteArray out;
    out.reserve(m_xml.size() + 4096);
    const char *xml = m_xml.constData();
    qsizetype copied = 0;
    std::vector<std::pair<qsizetype, qsizetype>> deleted = m_deleted;
    std::sort(deleted.begin(), deleted.end());
    auto skipped = deleted.cbegin();
    auto copyTo = [&](qsizetype at) {
        for (; skipped != deleted.cend() && skipped->first < at; ++skipped) {
            out.append(xml + copied, skipped->first - copied);
            copied = skipped->second;
        }
        out.append(xml + copied, at - copied);
        copied = at;
    };
    if (m_hasDimension && !m_dimension.empty()) {
        copyTo(m_dimensionBegin);
        out += m_dimension.text();
        copied = m_dimensionEnd;
    }
    if (m_dataEmptyTag) {
        copyTo(m_dataTagBegin);
        QByteArray tag = m_xml.mid(m_dataTagBegin, m_dataTagEnd - m_dataTagBegin);
        tag.chop(2); // "/>"
        while (tag.endsWith(' '))
            tag.chop(1);
        out += tag + '>';
        copied = m_dataTagEnd;
    } else {
        copyTo(m_dataBegin);
    }
    int previous = -1;
    qsizetype lastEnd = m_dataBegin; // past the last row of the part passed so far
    for (const Row &r : m_rows) {
        const bool moved = r.index != r.original;
        const bool implicitShift = !r.explicitRef && r.index != previous + 1;
        if (!r.parsed && !moved && !implicitShift) {
            previous = r.index; // copied as it stands with the next piece
            lastEnd = r.end;
            continue;
        }
        copyTo(r.begin >= 0 ? r.begin : lastEnd);
        Row row = r;
        parse(row);
        std::vector<Attr> attrs = row.attrs;
        setAttr(attrs, "r", QByteArray::number(r.index + 1), true);
        int first = -1, last = -1;
        for (const CellXml &c : row.cells)
            if (c.isCell) {
                first = first < 0 ? c.column : std::min(first, c.column);
                last = std::max(last, c.column);
            }
        for (const Attr &a : attrs)
            if (a.name == "spans") {
                if (first >= 0)
                    setAttr(attrs, "spans",
                            QByteArray::number(first + 1) + ':' + QByteArray::number(last + 1));
                else
                    removeAttr(attrs, "spans");
                break;
            }
        if (row.cells.empty()) {
            out += startTag(row.tagName, attrs) + "/>";
        } else {
            out += startTag(row.tagName, attrs) + '>';
            for (const CellXml &c : row.cells) {
                if (!c.isCell || (!moved && c.xml.contains(" r=\"") && r.parsed)) {
                    out += c.xml;
                    continue;
                }
                // A cell of a moved row, or one without a position: written with its place.
                Scanner s(c.xml);
                s.next();
                std::vector<Attr> cellAttrs = attributesOf(s);
                setAttr(cellAttrs, "r", cellName(r.index, c.column), true);
                out += startTag(s.name().toByteArray(), cellAttrs);
                out += c.xml.mid(s.tokenEnd() - (s.isEmptyElement() ? 2 : 1));
            }
            out += "</" + row.tagName + '>';
        }
        if (r.begin >= 0)
            copied = lastEnd = r.end;
        previous = r.index;
    }
    copyTo(m_dataEnd);
    if (m_dataEmptyTag)
        out += "</" + m_prefix + "sheetData>";
    copyTo(m_xml.size());
    return out;
}

SheetPartEditor::SheetPartEditor(QByteArray xml) : d(std::make_unique<Private>(std::move(xml))) {}

SheetPartEditor::~SheetPartEditor() = default;

int SheetPartEditor::lastRow() const {
    return d->lastRow();
}

void SheetPartEditor::setCell(int row, int column, const EditValue &value) {
    d->setCell(row, column, value);
}

int SheetPartEditor::appendRow(const QList<EditValue> &values) {
    const int row = d->lastRow() + 1;
    checkAppendedRow(row, values, Limits);
    for (int c = 0; c < values.size(); ++c)
        d->setCell(row, c, values[c]);
    return row;
}

void SheetPartEditor::deleteRow(int row, const std::function<QStringList()> &rowPositionUsers) {
    checkDeletedRow(row, d->m_rows.empty() ? -1 : d->m_rows.back().index, rowPositionUsers);
    std::vector<Row> &rows = d->m_rows;
    for (const Row &r : rows)
        if (r.index == row && r.begin >= 0)
            d->m_deleted.emplace_back(r.begin, r.end);
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [row](const Row &r) { return r.index == row; }),
        rows.end());
    for (Row &r : rows)
        if (r.index > row)
            --r.index;
    Range &dim = d->m_dimension;
    if (!dim.empty()) {
        if (dim.lastRow >= row)
            dim.lastRow = std::max(dim.firstRow, dim.lastRow - 1);
        if (dim.firstRow > row)
            --dim.firstRow;
        if (d->lastRow() < 0)
            dim = Range{0, 0, 0, 0};
    }
    d->m_changed = true;
}

int SheetPartEditor::apply(const SheetChange &change,
                           const std::function<QStringList()> &rowPositionUsers) {
    return applyChange(*this, change, rowPositionUsers);
}

bool SheetPartEditor::isChanged() const {
    return d->m_changed;
}

bool SheetPartEditor::formulaRemoved() const {
    return d->m_formulaRemoved;
}

bool SheetPartEditor::hasFormulas() const {
    return d->m_hasFormulas;
}

QByteArray SheetPartEditor::result() const {
    return d->m_changed ? d->result() : d->m_xml;
}

} // namespace workbook::xlsx
