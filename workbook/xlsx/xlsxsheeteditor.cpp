// The edits work on the index of the part (xlsxsheetindex): a changed or moved row is taken
// apart and written anew from its children; the result copies every byte between the rows a
// change touched, leaves out the rows deleted, and writes the dimension true.
#include "workbook/xlsx/xlsxsheeteditor.h"

#include "common/commanderror.h"
#include "workbook/xlsx/xlsxcellwriter.h"
#include "workbook/xlsx/xlsxsheetindex.h"

#include <algorithm>
#include <utility>

namespace workbook::xlsx {

namespace {

using xml::Attr;
using xml::attributesOf;
using xml::removeAttr;
using xml::Scanner;
using xml::setAttr;
using xml::startTag;

constexpr SheetLimits Limits{SheetRows, SheetColumns, MaxCellText};

} // namespace

class SheetEditor::Private : public SheetIndex {
public:
    using SheetIndex::SheetIndex;

    void setCell(int row, int column, const EditValue &value);
    QByteArray result() const;

    std::vector<std::pair<qsizetype, qsizetype>> m_deleted; // bytes of deleted rows
    bool m_changed = false;
    bool m_formulaRemoved = false;
};

void SheetEditor::Private::setCell(int row, int column, const EditValue &value) {
    checkCellPosition(row, column, Limits);
    checkCellValue(row, column, value, Limits);
    for (const CellRange &a : m_arrays)
        if (a.contains(row, column))
            inArrayFormula(row, column);
    for (const auto &anchor : m_sharedAnchors)
        if (anchor[0] == row && anchor[1] == column)
            sharedFormulaCell(row, column);
    const bool empty = std::holds_alternative<std::monostate>(value);
    auto at = std::lower_bound(m_rows.begin(), m_rows.end(), row,
                               [](const SheetRow &r, int index) { return r.index < index; });
    if (at == m_rows.end() || at->index != row) {
        if (empty)
            return;
        SheetRow fresh;
        fresh.index = row;
        fresh.parsed = true;
        fresh.tagName = m_prefix + "row";
        at = m_rows.insert(at, std::move(fresh));
    }
    SheetRow &target = parse(*at);
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

QByteArray SheetEditor::Private::result() const {
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
    for (const SheetRow &r : m_rows) {
        const bool moved = r.index != r.original;
        const bool implicitShift = !r.explicitRef && r.index != previous + 1;
        if (!r.parsed && !moved && !implicitShift) {
            previous = r.index; // copied as it stands with the next piece
            lastEnd = r.end;
            continue;
        }
        copyTo(r.begin >= 0 ? r.begin : lastEnd);
        SheetRow row = r;
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

SheetEditor::SheetEditor(QByteArray xml) : d(std::make_unique<Private>(std::move(xml))) {}

SheetEditor::~SheetEditor() = default;

int SheetEditor::lastRow() const {
    return d->lastRow();
}

void SheetEditor::setCell(int row, int column, const EditValue &value) {
    d->setCell(row, column, value);
}

int SheetEditor::appendRow(const QList<EditValue> &values) {
    const int row = d->lastRow() + 1;
    checkAppendedRow(row, values, Limits);
    for (int c = 0; c < values.size(); ++c)
        d->setCell(row, c, values[c]);
    return row;
}

void SheetEditor::deleteRow(int row, const std::function<QStringList()> &rowPositionUsers) {
    checkDeletedRow(row, d->m_rows.empty() ? -1 : d->m_rows.back().index, rowPositionUsers);
    std::vector<SheetRow> &rows = d->m_rows;
    for (const SheetRow &r : rows)
        if (r.index == row && r.begin >= 0)
            d->m_deleted.emplace_back(r.begin, r.end);
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [row](const SheetRow &r) { return r.index == row; }),
               rows.end());
    for (SheetRow &r : rows)
        if (r.index > row)
            --r.index;
    CellRange &dim = d->m_dimension;
    if (!dim.empty()) {
        if (dim.lastRow >= row)
            dim.lastRow = std::max(dim.firstRow, dim.lastRow - 1);
        if (dim.firstRow > row)
            --dim.firstRow;
        if (d->lastRow() < 0)
            dim = CellRange{0, 0, 0, 0};
    }
    d->m_changed = true;
}

int SheetEditor::apply(const SheetChange &change,
                       const std::function<QStringList()> &rowPositionUsers) {
    return applyChange(*this, change, rowPositionUsers);
}

bool SheetEditor::isChanged() const {
    return d->m_changed;
}

bool SheetEditor::formulaRemoved() const {
    return d->m_formulaRemoved;
}

bool SheetEditor::hasFormulas() const {
    return d->m_hasFormulas;
}

QByteArray SheetEditor::result() const {
    return d->m_changed ? d->result() : d->m_xml;
}

} // namespace workbook::xlsx
