// The edits work on the index of the content part (odssheetindex): a change splits the row
// (and the cell) it falls in from a repeated one and takes it apart; the result copies every
// byte between the rows a change touched, and writes those anew.
#include "workbook/ods/odssheeteditor.h"

#include "common/commanderror.h"
#include "common/hugepages.h"
#include "workbook/ods/odscellwriter.h"
#include "workbook/ods/odssheetindex.h"

#include <algorithm>

namespace workbook::ods {

using xml::Attr;
using xml::Scanner;
using xml::startTag;
using Token = Scanner::Token;

class SheetEditor::Private : public SheetIndex {
public:
    using SheetIndex::SheetIndex;

    // The row as a parsed row of its own, split from a repeated one or made after the last.
    SheetRow &singleRow(int row);
    // The index of the cell item that is that column alone, split from a repeated cell or made
    // after the last.
    std::size_t singleCell(SheetRow &r, int column);
    QByteArray rowXml(const SheetRow &r) const;

    void setCell(int row, int column, const EditValue &value);
    QByteArray result() const;

    bool m_changed = false;
};

SheetRow &SheetEditor::Private::singleRow(int row) {
    std::size_t i = rowAt(row);
    if (i == m_rows.size()) {
        int end = 0;
        for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
            if (it->count > 0) {
                end = it->first + it->count;
                break;
            }
        SheetRow fresh;
        fresh.state = SheetRow::State::Parsed;
        fresh.tagName = q(Ns::Table, "table-row");
        if (row > end) { // empty rows up to it, as a row has at least one cell
            SheetRow gap = fresh;
            gap.first = end;
            gap.count = row - end;
            gap.cells.push_back(
                CellItem{0, 1, false, false, '<' + q(Ns::Table, "table-cell") + "/>"});
            m_rows.push_back(std::move(gap));
        }
        fresh.first = row;
        m_rows.push_back(std::move(fresh));
        return m_rows.back();
    }
    SheetRow &run = m_rows[i];
    if (run.count == 1) {
        parse(run);
        return run;
    }
    const int before = row - run.first, after = run.first + run.count - 1 - row;
    SheetRow target = run;
    target.first = row;
    recount(target, 1);
    parse(target);
    std::vector<SheetRow> pieces;
    if (before > 0) {
        SheetRow head = run;
        recount(head, before);
        pieces.push_back(std::move(head));
    }
    pieces.push_back(std::move(target));
    if (after > 0) {
        SheetRow tail = run;
        tail.first = row + 1;
        recount(tail, after);
        pieces.push_back(std::move(tail));
    }
    const std::size_t at = i + (before > 0 ? 1 : 0);
    m_rows.erase(m_rows.begin() + std::ptrdiff_t(i));
    m_rows.insert(m_rows.begin() + std::ptrdiff_t(i), std::make_move_iterator(pieces.begin()),
                  std::make_move_iterator(pieces.end()));
    return m_rows[at];
}

std::size_t SheetEditor::Private::singleCell(SheetRow &r, int column) {
    std::vector<CellItem> &cells = r.cells;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        CellItem &c = cells[i];
        if (c.count == 0 || column < c.first || column >= c.first + c.count)
            continue;
        if (c.count == 1)
            return i;
        const int before = column - c.first, after = c.first + c.count - 1 - column;
        std::vector<CellItem> pieces;
        if (before > 0)
            pieces.push_back(CellItem{c.first, before, c.covered, c.content,
                                      withCount(c.xml, "number-columns-repeated", before)});
        pieces.push_back(CellItem{column, 1, c.covered, c.content,
                                  withCount(c.xml, "number-columns-repeated", 1)});
        if (after > 0)
            pieces.push_back(CellItem{column + 1, after, c.covered, c.content,
                                      withCount(c.xml, "number-columns-repeated", after)});
        cells.erase(cells.begin() + std::ptrdiff_t(i));
        cells.insert(cells.begin() + std::ptrdiff_t(i), pieces.begin(), pieces.end());
        return i + (before > 0 ? 1 : 0);
    }
    int end = 0;
    for (const CellItem &c : cells)
        end = std::max(end, c.first + c.count);
    // After the last cell: other children of a row (none in OpenDocument) stay before it.
    if (column > end) {
        const QByteArray gap = '<' + q(Ns::Table, "table-cell") + "/>";
        cells.push_back(CellItem{end, column - end, false, false,
                                 withCount(gap, "number-columns-repeated", column - end)});
    }
    cells.push_back(CellItem{column, 1, false, false, '<' + q(Ns::Table, "table-cell") + "/>"});
    return cells.size() - 1;
}

void SheetEditor::Private::setCell(int row, int column, const EditValue &value) {
    const SheetLimits limits = this->limits();
    checkCellPosition(row, column, limits);
    checkValue(row, column, value, limits);
    for (const CellRange &m : m_matrices)
        if (m.contains(row, column))
            inArrayFormula(row, column);
    for (const CellRange &c : m_covered)
        if (c.contains(row, column))
            throw CommandError(QStringLiteral("Cell %1 of sheet1 is covered by merged cells and "
                                              "cannot be changed on its own")
                                   .arg(workbook::cellName(row, column)));
    const bool empty = std::holds_alternative<std::monostate>(value);
    if (empty) { // nothing to clear where nothing is
        const std::size_t i = rowAt(row);
        if (i == m_rows.size() || !m_rows[i].content)
            return;
    }
    SheetRow &target = singleRow(row);
    const std::size_t at = singleCell(target, column);
    CellItem &cell = target.cells[at];
    if (empty && !cell.content)
        return;
    cell.xml = newCell(*this, target, &cell, column, value);
    cell.content = !empty || [&] {
        Scanner s(cell.xml);
        s.next();
        return cellContent(s);
    }();
    target.content = std::any_of(target.cells.begin(), target.cells.end(),
                                 [](const CellItem &c) { return c.content; });
    m_changed = true;
}

QByteArray SheetEditor::Private::rowXml(const SheetRow &r) const {
    switch (r.state) {
    case SheetRow::State::Original:
        return sourceBytes(r).toByteArray();
    case SheetRow::State::Recounted:
        return r.xml;
    case SheetRow::State::Parsed:
        break;
    }
    std::vector<Attr> attrs = r.attrs;
    auto it = std::find_if(attrs.begin(), attrs.end(), [&](const Attr &a) {
        return is(a.name, Ns::Table, "number-rows-repeated");
    });
    if (r.count == 1 && it != attrs.end())
        attrs.erase(it);
    else if (r.count > 1 && it != attrs.end())
        it->raw = QByteArray::number(r.count);
    else if (r.count > 1)
        attrs.push_back(Attr{q(Ns::Table, "number-rows-repeated"), QByteArray::number(r.count)});
    QByteArray out = startTag(r.tagName, attrs);
    if (r.cells.empty())
        return out + "/>";
    out += '>';
    for (const CellItem &c : r.cells)
        out += c.xml;
    return out + "</" + r.tagName + '>';
}

QByteArray SheetEditor::Private::result() const {
    QByteArray out;
    out.reserve(m_xml.size() + 4096);
    preferHugePages(out.constData(), std::size_t(out.capacity()));
    qsizetype copied = 0;
    auto copyTo = [&](qsizetype at) {
        if (at > copied) {
            out.append(m_xml.constData() + copied, at - copied);
            copied = at;
        }
    };
    // A row written anew is checked before it goes in: whatever the reason, a part that is not
    // XML must never replace the user's.
    auto written = [](const QByteArray &xml) -> const QByteArray & {
        try {
            Scanner s(xml);
            while (s.next() != Token::EndDocument) {
            }
        } catch (const xml::XmlError &) {
            throw CommandError(QStringLiteral("Stream write error"));
        }
        return xml;
    };
    for (const SheetRow &r : m_rows) {
        if (r.source < 0) {
            // A row made here and deleted again before the write leaves nothing.
            if (r.count > 0) {
                copyTo(m_insertAt);
                out += written(rowXml(r));
            }
            continue;
        }
        const SourceRange &src = m_sources[std::size_t(r.source)];
        if (r.state == SheetRow::State::Original && r.count > 0) {
            copyTo(src.end);
            continue;
        }
        copyTo(src.begin);
        if (r.count > 0)
            out += written(rowXml(r));
        copied = std::max(copied, src.end);
    }
    copyTo(m_xml.size());
    return out;
}

SheetEditor::SheetEditor(QByteArray xml, const CellStyles &commonStyles)
    : d(std::make_unique<Private>(std::move(xml), commonStyles)) {}

SheetEditor::~SheetEditor() = default;

int SheetEditor::lastRow() const {
    return d->lastRow();
}

int SheetEditor::columnLimit() const {
    return d->limits().columns;
}

void SheetEditor::setCell(int row, int column, const EditValue &value) {
    d->setCell(row, column, value);
}

int SheetEditor::appendRow(const QList<EditValue> &values) {
    const int row = d->lastRow() + 1;
    checkAppendedRow(row, values, d->limits());
    for (int c = 0; c < values.size(); ++c)
        checkValue(row, c, values[c], d->limits());
    for (int c = 0; c < values.size(); ++c)
        d->setCell(row, c, values[c]);
    return row;
}

void SheetEditor::deleteRow(int row, const std::function<QStringList()> &rowPositionUsers) {
    checkDeletedRow(row, d->lastRow(), rowPositionUsers);
    const std::size_t i = d->rowAt(row);
    SheetRow &r = d->m_rows[i];
    if (r.count > 1)
        d->recount(r, r.count - 1);
    else
        r.count = 0;
    for (std::size_t k = i + 1; k < d->m_rows.size(); ++k)
        --d->m_rows[k].first;
    for (std::vector<CellRange> *ranges : {&d->m_matrices, &d->m_covered})
        for (CellRange &m : *ranges) {
            if (m.firstRow > row)
                --m.firstRow;
            if (m.lastRow >= row)
                --m.lastRow;
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

QByteArray SheetEditor::result() const {
    return d->m_changed ? d->result() : d->m_xml;
}

} // namespace workbook::ods
