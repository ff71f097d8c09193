// Row blocks: reading the cell table into blocks, decoding a block when an edit touches it,
// finding rows, moving rows up, and writing blocks with their ROW records and DBCELL.
#include "workbook/xls/rowblocks.h"

#include "workbook/xls/streamplan.h"
#include "workbook/xls/xlserrors.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace workbook::xls {

namespace {

constexpr std::uint32_t RowFlags = 0x000F0100; // bit 8 always set; XF 15, unused without bit 7

} // namespace

bool cellColumns(std::uint16_t type, const char *p, int length, int &first, int &last) {
    const int minimum = std::max(6, shortestCell(type));
    if (length < minimum)
        return false;
    first = last = u16(p + 2);
    if (type == rec::MulRk || type == rec::MulBlank) {
        const int item = type == rec::MulRk ? 6 : 2;
        if ((length - 6) % item != 0)
            return false;
        last = u16(p + length - 2);
        if (last != first + (length - 6) / item - 1)
            return false;
    }
    return last < SheetColumns;
}

OwnedRecord makeRecord(std::uint16_t type, int length) {
    return OwnedRecord{type, QByteArray(length, '\0')};
}

OwnedRecord cellRecord(std::uint16_t type, int length, int row, int col, std::uint16_t ixfe) {
    OwnedRecord r = makeRecord(type, length);
    put16(r.data.data(), std::uint16_t(row));
    put16(r.data.data() + 2, std::uint16_t(col));
    put16(r.data.data() + 4, ixfe);
    return r;
}

void RowBlocks::read(int begin, int end, bool hasIndex, bool checkOnly) {
    // A block ends at a DBCELL or before a ROW that follows cells: at most one per ROW or DBCELL.
    if (!checkOnly) {
        int ends = 1;
        for (int i = begin; i < end; ++i)
            ends +=
                m_records[size_t(i)].type == rec::Row || m_records[size_t(i)].type == rec::DbCell;
        m_blocks.reserve(size_t(ends));
    }
    RowBlock block;
    bool sawCell = false;
    std::vector<int> rows; // of the block being read; one vector for all of them
    int previous = -1;     // the last row of the blocks before
    auto close = [&](int at) {
        block.recEnd = at;
        if (checkOnly && !rows.empty()) {
            // Only the order of the blocks' rows matters: no block is kept.
            const auto [first, last] = std::minmax_element(rows.begin(), rows.end());
            if (*first <= previous)
                damagedForWriting(); // rows out of order: blocks could not be found by row
            previous = *last;
        } else if (!checkOnly && block.recEnd > block.recBegin) {
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
            block.setRows(rows);
            m_blocks.push_back(std::move(block));
        }
        rows.clear();
        block = RowBlock();
        block.recBegin = at;
        sawCell = false;
    };
    block.recBegin = begin;
    bool haveCell = false;
    for (int i = begin; i < end; ++i) {
        const BiffRecord &r = m_records[size_t(i)];
        const char *p = r.data(m_src);
        if (r.type == rec::Row) {
            if (sawCell)
                close(i);
            if (r.length < 16)
                damagedForWriting();
            rows.push_back(u16(p));
        } else if (r.type == rec::DbCell) {
            m_usesDbCell = true;
            block.dbCell = true;
            close(i + 1);
            continue;
        } else if (isCellRecord(r.type)) {
            int first = 0, last = 0;
            if (!cellColumns(r.type, p, r.length, first, last))
                damagedForWriting();
            // A row's cells follow each other: its number is noted once, not per cell.
            if (rows.empty() || rows.back() != u16(p))
                rows.push_back(u16(p));
            block.cells.add(u16(p), first, last);
            haveCell = true;
        } else if (!haveCell) {
            damagedForWriting(); // a trailer with no cell before it
        } else if ((r.type == rec::Array || r.type == rec::Table)) {
            if (r.length < 6)
                damagedForWriting();
            m_arrays.push_back({u16(p), u16(p + 2), std::uint8_t(p[4]), std::uint8_t(p[5])});
        }
        if (r.type != rec::Row)
            sawCell = true;
    }
    close(end);
    if (hasIndex)
        m_usesDbCell = true;
    for (const RowBlock &b : m_blocks) {
        if (!b.hasRows())
            continue;
        if (b.firstRow() <= previous)
            damagedForWriting(); // rows out of order: blocks could not be found by row
        previous = b.lastRow();
    }
}

void RowBlocks::decode(RowBlock &block) const {
    if (block.isDecoded)
        return;
    block.isDecoded = true;
    std::map<int, TableRow> rows;
    CellRecords *last = nullptr;
    for (int i = block.recBegin; i < block.recEnd; ++i) {
        const BiffRecord &r = m_records[size_t(i)];
        const char *p = r.data(m_src);
        if (r.type == rec::DbCell)
            continue;
        if (r.type == rec::Row) {
            TableRow &row = rows[u16(p)];
            row.index = u16(p);
            row.rowRecord = QByteArray(p, r.length);
            continue;
        }
        OwnedRecord owned{r.type, QByteArray(p, r.length)};
        if (isCellRecord(r.type)) {
            TableRow &row = rows[u16(p)];
            row.index = u16(p);
            CellRecords cell;
            cellColumns(r.type, p, r.length, cell.first, cell.last);
            cell.records.push_back(std::move(owned));
            row.cells.push_back(std::move(cell));
            last = &row.cells.back();
        } else if (last) {
            last->records.push_back(std::move(owned));
        }
    }
    block.decoded.reserve(rows.size());
    for (auto &entry : rows)
        block.decoded.push_back(std::move(entry.second));
}

RowBlock &RowBlocks::blockForNewRow(int row) {
    // The block before the row, or the one after, when the row belongs to its 32-row group
    // and it has room; otherwise a new block between them.
    size_t after = 0;
    while (after < m_blocks.size() &&
           (!m_blocks[after].hasRows() || m_blocks[after].firstRow() < row))
        ++after;
    size_t before = after;
    while (before > 0 && !m_blocks[before - 1].hasRows())
        --before;
    auto fits = [&](const RowBlock &b) {
        return b.hasRows() && b.firstRow() / BlockRows == row / BlockRows &&
               b.lastRow() / BlockRows == row / BlockRows && b.rowCount < BlockRows;
    };
    if (before > 0 && m_blocks[before - 1].lastRow() > row)
        return m_blocks[before - 1]; // a gap inside a block
    if (before > 0 && fits(m_blocks[before - 1]))
        return m_blocks[before - 1];
    if (after < m_blocks.size() && fits(m_blocks[after]))
        return m_blocks[after];
    RowBlock fresh;
    fresh.isDecoded = true;
    fresh.dbCell = m_usesDbCell;
    return *m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(before), std::move(fresh));
}

TableRow *RowBlocks::findRow(int row, bool create, std::uint16_t rowHeight, RowBlock **owner) {
    // From the back: edits mostly go to the last rows. Blocks without rows are passed over.
    RowBlock *block = nullptr;
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        if (!it->hasRows() || it->firstRow() > row)
            continue;
        if (row <= it->lastRow())
            block = &*it; // the row, or a gap in the block's rows that it fills
        break;
    }
    if (!block) {
        if (!create)
            return nullptr;
        block = &blockForNewRow(row);
    }
    decode(*block);
    *owner = block;
    auto at = std::lower_bound(block->decoded.begin(), block->decoded.end(), row,
                               [](const TableRow &r, int value) { return r.index < value; });
    if (at != block->decoded.end() && at->index == row)
        return &*at;
    if (!create)
        return nullptr;
    TableRow fresh;
    fresh.index = row;
    fresh.rowRecord = QByteArray(16, '\0');
    put16(fresh.rowRecord.data(), std::uint16_t(row));
    put16(fresh.rowRecord.data() + 6, rowHeight);
    put32(fresh.rowRecord.data() + 12, RowFlags);
    fresh.touched = true;
    at = block->decoded.insert(at, std::move(fresh));
    block->first = block->hasRows() ? std::min(block->first, row) : row;
    block->last = std::max(block->last, row);
    ++block->rowCount;
    block->dirty = true;
    return &*at;
}

Extent RowBlocks::extentOf(const RowBlock &block) const {
    if (!block.dirty)
        return block.cells;
    Extent e;
    for (const TableRow &r : block.decoded)
        for (const CellRecords &c : r.cells)
            e.add(r.index, c.first, c.last);
    return e;
}

void RowBlocks::writeBlock(StreamPlan &out, const RowBlock &block,
                           std::vector<std::uint32_t> &dbCells) const {
    if (!block.dirty) {
        out.copy(block.recBegin, block.recEnd);
        if (block.dbCell)
            dbCells.push_back(out.map(m_records[size_t(block.recEnd - 1)].offset));
        return;
    }
    std::int64_t firstRow = -1, firstRowEnd = 0;
    for (const TableRow &r : block.decoded) {
        if (r.rowRecord.isEmpty())
            continue;
        QByteArray data = r.rowRecord;
        if (r.touched && !r.cells.empty()) {
            int first = SheetColumns, last = 0;
            for (const CellRecords &c : r.cells) {
                first = std::min(first, c.first);
                last = std::max(last, c.last);
            }
            put16(data.data() + 2, std::uint16_t(first));
            put16(data.data() + 4, std::uint16_t(last + 1));
        }
        const std::uint32_t at = out.record(rec::Row, data);
        if (firstRow < 0) {
            firstRow = at;
            firstRowEnd = out.pos();
        }
    }
    std::vector<std::uint32_t> cellStarts;
    for (const TableRow &r : block.decoded) {
        if (!r.rowRecord.isEmpty())
            cellStarts.push_back(out.pos());
        std::vector<const CellRecords *> cells;
        for (const CellRecords &c : r.cells)
            cells.push_back(&c);
        std::stable_sort(
            cells.begin(), cells.end(),
            [](const CellRecords *a, const CellRecords *b) { return a->first < b->first; });
        for (const CellRecords *c : cells)
            for (const OwnedRecord &rec : c->records)
                out.record(rec.type, rec.data);
    }
    if (!block.dbCell || block.decoded.empty())
        return;
    // DBCELL: back to the first ROW, then from the end of that ROW to each row's first cell.
    const std::uint32_t at = out.pos();
    QByteArray data(4 + 2 * int(cellStarts.size()), '\0');
    put32(data.data(), firstRow < 0 ? 0 : std::uint32_t(at - firstRow));
    std::int64_t previous = firstRowEnd;
    for (size_t k = 0; k < cellStarts.size(); ++k) {
        put16(data.data() + 4 + 2 * k, std::uint16_t(cellStarts[k] - previous));
        previous = cellStarts[k];
    }
    dbCells.push_back(out.record(rec::DbCell, data));
}

int RowBlocks::lastCellRow() const {
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        const Extent e = extentOf(*it);
        if (e.lastRow >= 0)
            return e.lastRow;
    }
    return -1;
}

int RowBlocks::lastRow() const {
    int last = -1;
    for (const RowBlock &b : m_blocks)
        last = std::max(last, b.lastRow());
    return last;
}

void RowBlocks::removeRow(int row, const std::function<void(const CellRecords &)> &released) {
    size_t from = 0;
    while (from < m_blocks.size() && (!m_blocks[from].hasRows() || m_blocks[from].lastRow() < row))
        ++from;
    std::vector<TableRow> rows;
    std::vector<RowBlock> kept;
    for (size_t i = from; i < m_blocks.size(); ++i) {
        RowBlock &b = m_blocks[i];
        if (!b.hasRows()) {
            kept.push_back(std::move(b)); // an empty block's DBCELL stays as it was
            continue;
        }
        decode(b);
        for (TableRow &r : b.decoded) {
            if (r.index == row) {
                for (const CellRecords &c : r.cells)
                    released(c);
                continue;
            }
            if (r.index > row) {
                --r.index;
                if (!r.rowRecord.isEmpty())
                    put16(r.rowRecord.data(), std::uint16_t(r.index));
                for (CellRecords &c : r.cells)
                    put16(c.records.front().data.data(), std::uint16_t(r.index));
            }
            rows.push_back(std::move(r));
        }
    }
    m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(from), m_blocks.end());
    for (size_t i = 0; i < rows.size();) {
        RowBlock b;
        b.isDecoded = b.dirty = true;
        b.dbCell = m_usesDbCell;
        const int group = rows[i].index / BlockRows;
        while (i < rows.size() && rows[i].index / BlockRows == group) {
            b.first = b.hasRows() ? b.first : rows[i].index;
            b.last = rows[i].index;
            ++b.rowCount;
            b.decoded.push_back(std::move(rows[i]));
            ++i;
        }
        m_blocks.push_back(std::move(b));
    }
    for (RowBlock &b : kept)
        m_blocks.push_back(std::move(b));
}

Extent RowBlocks::extent() const {
    Extent all;
    for (const RowBlock &b : m_blocks)
        all.add(extentOf(b));
    return all;
}

int RowBlocks::dbCellCount() const {
    int count = 0;
    for (const RowBlock &b : m_blocks)
        if (b.dirty ? (b.dbCell && !b.decoded.empty()) : b.dbCell)
            ++count;
    return count;
}

void RowBlocks::write(StreamPlan &out, std::vector<std::uint32_t> &dbCells) const {
    for (const RowBlock &b : m_blocks)
        writeBlock(out, b, dbCells);
}

} // namespace workbook::xls
