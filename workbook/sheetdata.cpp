// The sheet model: the string pool and the cells of a sheet with their used range.
#include "workbook/sheetdata.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>

namespace workbook {

char16_t *StringPool::grow(std::uint32_t length) {
    const qsizetype at = m_chars.size();
    m_chars.resize(at + qsizetype(length)); // new characters are left as they are
    return reinterpret_cast<char16_t *>(m_chars.data()) + at;
}

void StringPool::append(const char16_t *chars, std::uint32_t length) {
    std::memcpy(grow(length), chars, std::size_t(length) * 2);
}

void StringPool::appendUtf16Le(const char *bytes, std::uint32_t length) {
    qFromLittleEndian<quint16>(bytes, length, grow(length));
}

void StringPool::appendLatin1(const char *bytes, std::uint32_t length) {
    char16_t *out = grow(length);
    for (std::uint32_t i = 0; i < length; ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
}

std::uint32_t StringPool::finish() {
    const auto end = std::uint32_t(m_chars.size());
    m_spans.push_back(Span{m_open, end - m_open});
    m_open = end;
    return std::uint32_t(m_spans.size() - 1);
}

std::uint32_t StringPool::add(const char16_t *chars, std::uint32_t length) {
    append(chars, length);
    return finish();
}

std::uint32_t StringPool::add(const QString &text) {
    return add(reinterpret_cast<const char16_t *>(text.utf16()), std::uint32_t(text.size()));
}

std::uint32_t StringPool::addAll(const StringPool &other) {
    const auto first = std::uint32_t(m_spans.size());
    const auto base = std::uint32_t(m_chars.size());
    const auto length = std::uint32_t(other.m_chars.size());
    if (length)
        std::memcpy(grow(length), other.m_chars.constData(), std::size_t(length) * 2);
    m_spans.reserve(m_spans.size() + other.m_spans.size());
    for (const Span &s : other.m_spans)
        m_spans.push_back(Span{base + s.offset, s.length});
    m_open = std::uint32_t(m_chars.size());
    return first;
}

QString StringPool::at(std::uint32_t index) const {
    return view(index).toString();
}

const Cell *SheetData::cellInRow(const Cell *begin, const Cell *end, int column) {
    const Cell *it =
        std::lower_bound(begin, end, column, [](const Cell &c, int col) { return c.column < col; });
    return it != end && it->column == column ? it : nullptr;
}

void SheetData::setCells(std::vector<Cell> cells) {
    auto before = [](const Cell &a, const Cell &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    // One look over the cells settles the usual case: in order, each position once, every
    // cell with a value.
    bool sorted = true, clean = true;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].kind == CellKind::Empty)
            clean = false;
        if (i > 0 && !before(cells[i - 1], cells[i])) {
            if (before(cells[i], cells[i - 1]))
                sorted = false;
            clean = false; // the same position twice
        }
    }
    if (!sorted)
        std::stable_sort(cells.begin(), cells.end(), before);
    if (!clean) {
        // Keep the last of cells at the same position, then drop those without a value.
        std::size_t out = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i + 1 < cells.size() && cells[i + 1].row == cells[i].row &&
                cells[i + 1].column == cells[i].column)
                continue;
            if (cells[i].kind != CellKind::Empty)
                cells[out++] = cells[i];
        }
        cells.resize(out);
    }
    // A copy costs more than the room it would give back, unless that is most of it.
    if (cells.capacity() > 2 * cells.size())
        cells.shrink_to_fit();
    m_cells = std::move(cells);
    m_rowStart.clear();
    if (m_cells.empty()) {
        m_firstRow = m_firstColumn = m_rowCount = m_columnCount = 0;
        return;
    }
    int minCol = std::numeric_limits<int>::max();
    int maxCol = -1;
    m_firstRow = int(m_cells.front().row);
    m_rowCount = int(m_cells.back().row) - m_firstRow + 1;
    m_rowStart.resize(std::size_t(m_rowCount) + 1);
    int row = m_firstRow - 1;
    for (std::size_t i = 0; i < m_cells.size(); ++i) {
        const Cell &c = m_cells[i];
        minCol = std::min<int>(minCol, c.column);
        maxCol = std::max<int>(maxCol, c.column);
        // Rows without cells start where the next row with cells does.
        while (row < int(c.row))
            m_rowStart[std::size_t(++row - m_firstRow)] = std::uint32_t(i);
    }
    m_rowStart[std::size_t(m_rowCount)] = std::uint32_t(m_cells.size());
    m_firstColumn = minCol;
    m_columnCount = maxCol - minCol + 1;
}

} // namespace workbook
