// Sheet1's cell table as row blocks: a block is copied as it stands until an edit touches it,
// then it is decoded into rows and cells and written anew with its ROW records and DBCELL.
// Rebuilding the stream copies every other record and then corrects the stream offsets
// (BOUNDSHEET, INDEX, DBCELL, EXTSST) by mapping each old position to its new one.
#include "workbook/xls/sheeteditor.h"

#include "common/commanderror.h"
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/rowreferences.h"
#include "workbook/xls/sstwriter.h"
#include "workbook/xls/streamlayout.h"
#include "workbook/xls/xlserrors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

namespace workbook::xls {

namespace {

constexpr int BlockRows = 32;
constexpr std::uint32_t RowFlags = 0x000F0100; // bit 8 always set; XF 15, unused without bit 7

bool isCellRecord(std::uint16_t t) {
    switch (t) {
    case rec::Blank:
    case rec::MulBlank:
    case rec::Number:
    case rec::Rk:
    case rec::MulRk:
    case rec::LabelSst:
    case rec::Label:
    case rec::Rstring:
    case rec::BoolErr:
    case rec::Formula:
        return true;
    default:
        return false;
    }
}

// Records that belong to the cell before them.
bool isCellTrailer(std::uint16_t t) {
    return t == rec::String || t == rec::Shrfmla || t == rec::Array || t == rec::Table ||
           t == rec::Continue;
}

bool isCellTableRecord(std::uint16_t t) {
    return t == rec::Row || t == rec::DbCell || isCellRecord(t) || isCellTrailer(t);
}

// Records that come after the cell table; an empty sheet gets its cells before the first.
bool followsCellTable(std::uint16_t t) {
    switch (t) {
    case rec::MsoDrawing:
    case rec::Obj:
    case rec::Txo:
    case rec::Note:
    case rec::HfPicture:
    case rec::SxView:
    case rec::Dcon:
    case rec::Window2:
    case rec::Bof:
    case rec::Eof:
        return true;
    default:
        return false;
    }
}

// The columns a cell record covers, after checking its length; false for a damaged one.
bool cellColumns(std::uint16_t type, const char *p, int length, int &first, int &last) {
    int minimum = 6;
    switch (type) {
    case rec::Number:
        minimum = 14;
        break;
    case rec::Rk:
    case rec::LabelSst:
        minimum = 10;
        break;
    case rec::BoolErr:
        minimum = 8;
        break;
    case rec::Label:
    case rec::Rstring:
        minimum = 9;
        break;
    case rec::Formula:
        minimum = 22;
        break;
    case rec::MulRk:
        minimum = 12;
        break;
    case rec::MulBlank:
        minimum = 8;
        break;
    default:
        break;
    }
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

struct OwnedRecord {
    std::uint16_t type;
    QByteArray data;
};

struct Cell {
    int first = 0, last = 0;
    std::vector<OwnedRecord> records; // the cell record, then its SHRFMLA/ARRAY/STRING/...
};

struct Row {
    int index = 0;
    QByteArray rowRecord; // empty when the row has no ROW record
    bool touched = false; // its ROW record's column span is to be recomputed
    std::vector<Cell> cells;
};

struct Extent {
    int firstRow = -1, lastRow = -1, firstCol = -1, lastCol = -1;
    void add(int row, int first, int last) {
        if (firstRow < 0 || row < firstRow)
            firstRow = row;
        lastRow = std::max(lastRow, row);
        if (firstCol < 0 || first < firstCol)
            firstCol = first;
        lastCol = std::max(lastCol, last);
    }
    void add(const Extent &e) {
        if (e.firstRow < 0)
            return;
        add(e.firstRow, e.firstCol, e.lastCol);
        add(e.lastRow, e.firstCol, e.lastCol);
    }
};

struct Block {
    int recBegin = -1, recEnd = -1; // its records in the file; -1 for a new block
    bool dbCell = false;            // the file's block ends with a DBCELL
    int first = -1, last = -1;      // rows with a ROW record or a cell
    int rowCount = 0;               // how many distinct rows
    Extent cells;                   // where its cells lie
    bool dirty = false;             // written anew from decoded
    bool isDecoded = false;
    std::vector<Row> decoded; // by row, once decoded

    bool hasRows() const { return rowCount > 0; }
    int firstRow() const { return first; }
    int lastRow() const { return last; }
    void setRows(const std::vector<int> &sorted) {
        rowCount = int(sorted.size());
        first = sorted.empty() ? -1 : sorted.front();
        last = sorted.empty() ? -1 : sorted.back();
    }
};

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

// The rebuilt stream as a plan: ranges of the original stream and bytes made anew, in order,
// with a map from old offsets to new for copied records, and patches over copied bytes (the
// stream offsets that moved). It becomes bytes only as it is written out, a piece at a time,
// so that a stream of many megabytes is not copied into a buffer of its own first.
class Output {
public:
    Output(const QByteArray &src, const std::vector<BiffRecord> &records)
        : m_src(src), m_records(records) {}

    std::uint32_t pos() const { return m_size; }

    void copy(int from, int to) {
        if (from >= to)
            return;
        const BiffRecord &last = m_records[size_t(to - 1)];
        copyBytes(m_records[size_t(from)].offset, last.offset + 4 + last.length);
    }

    void copyBytes(std::uint32_t begin, std::uint32_t end) {
        if (begin >= end)
            return;
        // A range that goes on where the last one ended, with nothing between, extends it:
        // a sheet of a row per block is copied in one piece, not in one per row.
        if (!m_pieces.empty() && m_pieces.back().copied &&
            m_pieces.back().from + m_pieces.back().size == begin) {
            m_pieces.back().size += end - begin;
        } else {
            m_copied.push_back(m_pieces.size());
            m_pieces.push_back({m_size, end - begin, begin, true});
        }
        m_size += end - begin;
    }

    std::uint32_t record(std::uint16_t type, const QByteArray &data) {
        const std::uint32_t at = pos();
        char header[4];
        put16(header, type);
        put16(header + 2, std::uint16_t(data.size()));
        append(header, 4);
        append(data.constData(), std::uint32_t(data.size()));
        return at;
    }

    void append(const char *data, std::uint32_t size) {
        if (size == 0)
            return;
        if (m_pieces.empty() || m_pieces.back().copied)
            m_pieces.push_back({m_size, 0, std::uint32_t(m_made.size()), false});
        m_made.append(data, size);
        m_pieces.back().size += size;
        m_size += size;
    }

    // Where the byte at an old offset went; offsets in records written anew move with the
    // copied record before them.
    std::uint32_t map(std::uint32_t old) const {
        auto it = std::upper_bound(
            m_copied.begin(), m_copied.end(), old,
            [this](std::uint32_t v, std::size_t piece) { return v < m_pieces[piece].from; });
        if (it == m_copied.begin())
            return old;
        const Piece &p = m_pieces[*(it - 1)];
        return p.at + (old - p.from);
    }

    void patch16(std::uint32_t at, std::uint16_t v) {
        char b[2];
        put16(b, v);
        patch(at, b, 2);
    }
    void patch32(std::uint32_t at, std::uint32_t v) {
        char b[4];
        put32(b, v);
        patch(at, b, 4);
    }

    // Hands the stream to put a piece at a time, in order; false as soon as put refuses one.
    bool write(const std::function<bool(QByteArrayView)> &put) const {
        std::vector<Patch> patches = m_patches;
        std::stable_sort(patches.begin(), patches.end(),
                         [](const Patch &a, const Patch &b) { return a.at < b.at; });
        auto next = patches.cbegin();
        constexpr std::uint32_t Chunk = 64 * 1024;
        char scratch[Chunk];
        for (const Piece &p : m_pieces) {
            const char *from = p.copied ? m_src.constData() + p.from : m_made.constData() + p.from;
            for (std::uint32_t done = 0; done < p.size;) {
                const std::uint32_t begin = p.at + done;
                std::uint32_t n = p.size - done;
                // Bytes without a patch go as they are; around a patch, through a small copy.
                if (next == patches.cend() || next->at >= begin + n) {
                    if (!put(QByteArrayView(from + done, qsizetype(n))))
                        return false;
                    done += n;
                    continue;
                }
                if (next->at > begin) {
                    n = next->at - begin;
                    if (!put(QByteArrayView(from + done, qsizetype(n))))
                        return false;
                    done += n;
                    continue;
                }
                n = std::min(n, Chunk);
                std::memcpy(scratch, from + done, n);
                for (; next != patches.cend() && next->at < begin + n; ++next)
                    scratch[next->at - begin] = next->value;
                if (!put(QByteArrayView(scratch, qsizetype(n))))
                    return false;
                done += n;
            }
        }
        return true;
    }

    QByteArray bytes() const {
        QByteArray out;
        out.reserve(qsizetype(m_size));
        write([&out](QByteArrayView piece) {
            out.append(piece);
            return true;
        });
        return out;
    }

private:
    struct Piece {
        std::uint32_t at; // in the new stream
        std::uint32_t size;
        std::uint32_t from; // in the old stream, or in m_made
        bool copied;
    };
    struct Patch {
        std::uint32_t at;
        char value;
    };

    // Bytes made anew are changed where they lie; copied ones keep a patch for the writing.
    void patch(std::uint32_t at, const char *bytes, int n) {
        for (int i = 0; i < n; ++i, ++at) {
            auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                                       [](std::uint32_t v, const Piece &p) { return v < p.at; });
            if (it == m_pieces.begin() || at >= m_size)
                continue; // outside the stream: nothing there to patch
            const Piece &p = *(it - 1);
            if (p.copied)
                m_patches.push_back({at, bytes[i]});
            else
                m_made[qsizetype(p.from + (at - p.at))] = bytes[i];
        }
    }

    const QByteArray &m_src;
    const std::vector<BiffRecord> &m_records;
    std::vector<Piece> m_pieces;
    std::vector<std::size_t> m_copied; // the copied pieces, in order of their old offsets
    QByteArray m_made;
    std::vector<Patch> m_patches; // in the order made: a later one wins
    std::uint32_t m_size = 0;
};

QString outsideSheet(int row, int column) {
    return QStringLiteral("There is no cell at row %1, column %2 of sheet1; a sheet has %3 rows "
                          "and %4 columns")
        .arg(row + 1)
        .arg(column + 1)
        .arg(SheetRows)
        .arg(SheetColumns);
}

void checkValue(int row, int column, const EditValue &value) {
    if (const QString *text = std::get_if<QString>(&value)) {
        if (text->size() > MaxCellText)
            throw CommandError(
                QStringLiteral("The text for cell %1 has %2 characters; a cell holds at most %3")
                    .arg(cellName(row, column))
                    .arg(text->size())
                    .arg(MaxCellText));
    } else if (const double *number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number))
            throw CommandError(QStringLiteral("Cell %1 cannot hold an infinite or undefined number")
                                   .arg(cellName(row, column)));
    }
}

} // namespace

class SheetEditor::Private {
public:
    // checkOnly: only the checks of a stream that edits could be made in, none prepared.
    Private(const QByteArray &stream, bool checkOnly);

    void setCell(int row, int column, const EditValue &value);
    int appendRow(const QList<EditValue> &values);
    void deleteRow(int row);
    int lastCellRow() const;
    Output plan() const;

    const QByteArray &source() const { return m_src; }

    bool changed = false;

private:
    void readSheet1();
    void readBlocks();
    void readGlobals();
    void decode(Block &block) const;
    Row *findRow(int row, bool create, Block **owner);
    Block &blockForNewRow(int row);
    std::uint16_t defaultXf(const Row &row, int column) const;
    QByteArray newRowRecord(int row) const;
    void releaseStrings(const Cell &cell);
    std::vector<Cell> splitMulti(const Cell &cell, int row, int column) const;
    Extent extentOf(const Block &block) const;
    const SheetReferences &references() const;

    void writeGlobals(Output &out, bool recalc) const;
    void writeSst(Output &out, std::vector<std::uint32_t> &positions) const;
    QByteArray extSst(const std::vector<std::uint32_t> &positions) const;
    void writeSheet1(Output &out) const;
    void writeBlock(Output &out, const Block &block, std::vector<std::uint32_t> &dbCells) const;
    void patchIndex(Output &out, const SheetSubstream &sheet) const;

    QByteArray m_src;
    std::vector<BiffRecord> m_records;
    StreamLayout m_layout;
    int m_index = -1, m_dimensions = -1, m_cellsBegin = -1, m_cellsEnd = -1;
    std::vector<int> m_colInfos;
    std::uint16_t m_rowHeight = 0x00FF;
    std::uint16_t m_defaultXf = 15;
    bool m_usesDbCell = false;
    std::vector<Block> m_blocks;
    std::vector<std::array<int, 4>> m_arrays; // ARRAY and TABLE ranges: rows, then columns
    std::unique_ptr<SstWriter> m_sst;
    int m_extSst = -1, m_recalcId = -1, m_sstInsertAt = -1, m_recalcInsertAt = -1;
    bool m_cellsChanged = false;
    bool m_checkOnly = false;
    mutable std::optional<SheetReferences> m_references;
};

SheetEditor::Private::Private(const QByteArray &stream, bool checkOnly)
    : m_src(stream), m_checkOnly(checkOnly) {
    m_records.reserve(size_t(stream.size() / 16)); // cells take 10 to 18 bytes
    if (!splitRecords(m_src, m_records))
        damagedForWriting();
    m_layout = readLayout(m_src, m_records);
    readGlobals();
    readSheet1();
    readBlocks();
}

void SheetEditor::Private::readGlobals() {
    int xfs = 0;
    int sst = -1;
    for (int i = 0; i < m_layout.globalsEnd; ++i) {
        const std::uint16_t t = m_records[size_t(i)].type;
        if (t == rec::Xf)
            ++xfs;
        else if (t == rec::Sst && sst < 0)
            sst = i;
        else if (t == rec::ExtSst && m_extSst < 0)
            m_extSst = i;
        else if (t == rec::RecalcId && m_recalcId < 0 && m_records[size_t(i)].length >= 8)
            m_recalcId = i;
    }
    // XF 15 is the default cell format by convention; a file with fewer has only its first.
    m_defaultXf = xfs > 15 ? 15 : 0;
    m_sst = std::make_unique<SstWriter>(m_src, m_records, sst);
    // Where a new SST and a new RECALCID go, by the order of the globals' records.
    static const std::vector<std::uint16_t> afterSst = {
        rec::ExtSst,           rec::WebPub,   rec::WOpt,        rec::CrErr,
        rec::BookExt,          rec::FeatHdr,  rec::DConn,       rec::Theme,
        rec::CompressPictures, rec::Compat12, rec::GuidTypeLib, rec::Eof};
    static const std::vector<std::uint16_t> afterRecalc = {rec::HfPicture, rec::MsoDrawingGroup,
                                                           rec::Sst};
    for (int i = 1; i < m_layout.globalsEnd; ++i) {
        const std::uint16_t t = m_records[size_t(i)].type;
        const bool beforeSst = std::find(afterSst.begin(), afterSst.end(), t) != afterSst.end();
        if (m_sstInsertAt < 0 && beforeSst)
            m_sstInsertAt = i;
        if (m_recalcInsertAt < 0 && (beforeSst || std::find(afterRecalc.begin(), afterRecalc.end(),
                                                            t) != afterRecalc.end()))
            m_recalcInsertAt = i;
    }
}

void SheetEditor::Private::readSheet1() {
    const SheetSubstream &sheet = m_layout.sheets[size_t(m_layout.sheet1)];
    int insertAt = -1; // where an empty sheet's first cells go
    for (int i = sheet.begin + 1; i < sheet.end - 1; ++i) {
        const BiffRecord &r = m_records[size_t(i)];
        const char *p = r.data(m_src);
        const bool inTable = isCellTableRecord(r.type) &&
                             (r.type != rec::Continue || (m_cellsEnd == i && m_cellsBegin >= 0));
        if (inTable) {
            if (m_cellsBegin < 0)
                m_cellsBegin = i;
            else if (m_cellsEnd != i)
                damagedForWriting(); // cells on both sides of other records
            m_cellsEnd = i + 1;
            continue;
        }
        if (r.type == rec::Bof) {
            // An embedded chart: nothing of it belongs to sheet1's own records.
            const int end = substreamEnd(m_records, i);
            if (end < 0 || end > sheet.end)
                damagedForWriting();
            if (insertAt < 0)
                insertAt = i;
            i = end - 1;
            continue;
        }
        if (m_cellsBegin >= 0)
            continue; // past the cell table
        if (r.type == rec::Index && m_index < 0) {
            if (r.length < 16)
                damagedForWriting();
            m_index = i;
        } else if (r.type == rec::Dimensions && m_dimensions < 0) {
            if (r.length < 12)
                damagedForWriting();
            m_dimensions = i;
        } else if (r.type == rec::ColInfo) {
            if (r.length < 8)
                damagedForWriting();
            m_colInfos.push_back(i);
        } else if (r.type == rec::DefaultRowHeight && r.length >= 4) {
            m_rowHeight = u16(p + 2);
        } else if (insertAt < 0 && followsCellTable(r.type)) {
            insertAt = i;
        }
    }
    if (m_cellsBegin < 0)
        m_cellsBegin = m_cellsEnd = insertAt >= 0 ? insertAt : sheet.end - 1;
}

void SheetEditor::Private::readBlocks() {
    // A block ends at a DBCELL or before a ROW that follows cells: at most one per ROW or DBCELL.
    if (!m_checkOnly) {
        int ends = 1;
        for (int i = m_cellsBegin; i < m_cellsEnd; ++i)
            ends +=
                m_records[size_t(i)].type == rec::Row || m_records[size_t(i)].type == rec::DbCell;
        m_blocks.reserve(size_t(ends));
    }
    Block block;
    bool sawCell = false;
    std::vector<int> rows; // of the block being read; one vector for all of them
    int previous = -1;     // the last row of the blocks before
    auto close = [&](int end) {
        block.recEnd = end;
        if (m_checkOnly && !rows.empty()) {
            // Only the order of the blocks' rows matters: no block is kept.
            const auto [first, last] = std::minmax_element(rows.begin(), rows.end());
            if (*first <= previous)
                damagedForWriting(); // rows out of order: blocks could not be found by row
            previous = *last;
        } else if (!m_checkOnly && block.recEnd > block.recBegin) {
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
            block.setRows(rows);
            m_blocks.push_back(std::move(block));
        }
        rows.clear();
        block = Block();
        block.recBegin = end;
        sawCell = false;
    };
    block.recBegin = m_cellsBegin;
    bool haveCell = false;
    for (int i = m_cellsBegin; i < m_cellsEnd; ++i) {
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
    close(m_cellsEnd);
    if (m_index >= 0)
        m_usesDbCell = true;
    for (const Block &b : m_blocks) {
        if (!b.hasRows())
            continue;
        if (b.firstRow() <= previous)
            damagedForWriting(); // rows out of order: blocks could not be found by row
        previous = b.lastRow();
    }
}

void SheetEditor::Private::decode(Block &block) const {
    if (block.isDecoded)
        return;
    block.isDecoded = true;
    std::map<int, Row> rows;
    Cell *last = nullptr;
    for (int i = block.recBegin; i < block.recEnd; ++i) {
        const BiffRecord &r = m_records[size_t(i)];
        const char *p = r.data(m_src);
        if (r.type == rec::DbCell)
            continue;
        if (r.type == rec::Row) {
            Row &row = rows[u16(p)];
            row.index = u16(p);
            row.rowRecord = QByteArray(p, r.length);
            continue;
        }
        OwnedRecord owned{r.type, QByteArray(p, r.length)};
        if (isCellRecord(r.type)) {
            Row &row = rows[u16(p)];
            row.index = u16(p);
            Cell cell;
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

Block &SheetEditor::Private::blockForNewRow(int row) {
    // The block before the row, or the one after, when the row belongs to its 32-row group
    // and it has room; otherwise a new block between them.
    size_t after = 0;
    while (after < m_blocks.size() &&
           (!m_blocks[after].hasRows() || m_blocks[after].firstRow() < row))
        ++after;
    size_t before = after;
    while (before > 0 && !m_blocks[before - 1].hasRows())
        --before;
    auto fits = [&](const Block &b) {
        return b.hasRows() && b.firstRow() / BlockRows == row / BlockRows &&
               b.lastRow() / BlockRows == row / BlockRows && b.rowCount < BlockRows;
    };
    if (before > 0 && m_blocks[before - 1].lastRow() > row)
        return m_blocks[before - 1]; // a gap inside a block
    if (before > 0 && fits(m_blocks[before - 1]))
        return m_blocks[before - 1];
    if (after < m_blocks.size() && fits(m_blocks[after]))
        return m_blocks[after];
    Block fresh;
    fresh.isDecoded = true;
    fresh.dbCell = m_usesDbCell;
    return *m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(before), std::move(fresh));
}

Row *SheetEditor::Private::findRow(int row, bool create, Block **owner) {
    // From the back: edits mostly go to the last rows. Blocks without rows are passed over.
    Block *block = nullptr;
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
                               [](const Row &r, int value) { return r.index < value; });
    if (at != block->decoded.end() && at->index == row)
        return &*at;
    if (!create)
        return nullptr;
    Row fresh;
    fresh.index = row;
    fresh.rowRecord = newRowRecord(row);
    fresh.touched = true;
    at = block->decoded.insert(at, std::move(fresh));
    block->first = block->hasRows() ? std::min(block->first, row) : row;
    block->last = std::max(block->last, row);
    ++block->rowCount;
    block->dirty = true;
    return &*at;
}

QByteArray SheetEditor::Private::newRowRecord(int row) const {
    QByteArray data(16, '\0');
    put16(data.data(), std::uint16_t(row));
    put16(data.data() + 6, m_rowHeight);
    put32(data.data() + 12, RowFlags);
    return data;
}

std::uint16_t SheetEditor::Private::defaultXf(const Row &row, int column) const {
    // A new cell takes its row's format, else its column's, as in the spreadsheet itself.
    if (row.rowRecord.size() >= 16) {
        const std::uint32_t flags = u32(row.rowRecord.constData() + 12);
        if (flags & 0x80)
            return std::uint16_t((flags >> 16) & 0x0FFF);
    }
    for (int i : m_colInfos) {
        const char *p = m_records[size_t(i)].data(m_src);
        if (u16(p) <= column && column <= u16(p + 2))
            return u16(p + 6);
    }
    return m_defaultXf;
}

void SheetEditor::Private::releaseStrings(const Cell &cell) {
    if (cell.records.front().type == rec::LabelSst)
        m_sst->countReferences(-1);
}

std::vector<Cell> SheetEditor::Private::splitMulti(const Cell &cell, int row, int column) const {
    const OwnedRecord &multi = cell.records.front();
    const bool rk = multi.type == rec::MulRk;
    const int item = rk ? 6 : 2;
    auto part = [&](int first, int last) {
        Cell c;
        c.first = first;
        c.last = last;
        const int n = last - first + 1;
        const char *items = multi.data.constData() + 4 + (first - cell.first) * item;
        OwnedRecord r;
        if (n == 1) {
            r = cellRecord(rk ? rec::Rk : rec::Blank, rk ? 10 : 6, row, first, u16(items));
            if (rk)
                std::memcpy(r.data.data() + 6, items + 2, 4);
        } else {
            r = makeRecord(multi.type, 6 + n * item);
            put16(r.data.data(), std::uint16_t(row));
            put16(r.data.data() + 2, std::uint16_t(first));
            std::memcpy(r.data.data() + 4, items, size_t(n * item));
            put16(r.data.data() + 4 + n * item, std::uint16_t(last));
        }
        c.records.push_back(std::move(r));
        return c;
    };
    std::vector<Cell> parts;
    if (column > cell.first)
        parts.push_back(part(cell.first, column - 1));
    parts.push_back(part(column, column));
    if (column < cell.last)
        parts.push_back(part(column + 1, cell.last));
    return parts;
}

void SheetEditor::Private::setCell(int row, int column, const EditValue &value) {
    if (row < 0 || row >= SheetRows || column < 0 || column >= SheetColumns)
        throw CommandError(outsideSheet(row, column));
    checkValue(row, column, value);
    for (const auto &a : m_arrays)
        if (a[0] <= row && row <= a[1] && a[2] <= column && column <= a[3])
            throw CommandError(QStringLiteral("Cell %1 of sheet1 is part of an array formula or "
                                              "data table and cannot be changed on its own")
                                   .arg(cellName(row, column)));
    const bool empty = std::holds_alternative<std::monostate>(value);
    Block *block = nullptr;
    Row *target = findRow(row, !empty, &block);
    if (!target)
        return;
    auto covers = [column](const Cell &c) { return c.first <= column && column <= c.last; };
    for (const Cell &c : target->cells) {
        if (!covers(c))
            continue;
        for (const OwnedRecord &r : c.records)
            if (r.type == rec::Shrfmla || r.type == rec::Array || r.type == rec::Table)
                throw CommandError(QStringLiteral("Cell %1 of sheet1 holds a formula that other "
                                                  "cells share and cannot be changed on its own")
                                       .arg(cellName(row, column)));
    }

    std::vector<Cell> &cells = target->cells;
    std::optional<std::uint16_t> ixfe;
    bool alreadyBlank = false;
    for (size_t i = 0; i < cells.size();) {
        if (!covers(cells[i])) {
            ++i;
            continue;
        }
        if (cells[i].first != cells[i].last) {
            std::vector<Cell> parts = splitMulti(cells[i], row, column);
            cells.erase(cells.begin() + std::ptrdiff_t(i));
            cells.insert(cells.begin() + std::ptrdiff_t(i), parts.begin(), parts.end());
            continue; // look at the split parts again
        }
        if (ixfe) { // a second record for the same cell: keep only the first
            releaseStrings(cells[i]);
            cells.erase(cells.begin() + std::ptrdiff_t(i));
            continue;
        }
        ixfe = u16(cells[i].records.front().data.constData() + 4);
        alreadyBlank = cells[i].records.size() == 1 && cells[i].records.front().type == rec::Blank;
        ++i;
    }
    if (empty && (!ixfe || alreadyBlank))
        return;
    const std::uint16_t xf = ixfe ? *ixfe : defaultXf(*target, column);

    OwnedRecord record;
    if (empty) {
        record = cellRecord(rec::Blank, 6, row, column, xf);
    } else if (const double *number = std::get_if<double>(&value)) {
        record = cellRecord(rec::Number, 14, row, column, xf);
        std::uint64_t bits;
        std::memcpy(&bits, number, sizeof bits);
        put32(record.data.data() + 6, std::uint32_t(bits));
        put32(record.data.data() + 10, std::uint32_t(bits >> 32));
    } else {
        record = cellRecord(rec::LabelSst, 10, row, column, xf);
        put32(record.data.data() + 6, m_sst->indexOf(std::get<QString>(value)));
        m_sst->countReferences(1);
    }
    Cell fresh;
    fresh.first = fresh.last = column;
    fresh.records.push_back(std::move(record));
    auto at = std::find_if(cells.begin(), cells.end(), covers);
    if (at != cells.end()) {
        releaseStrings(*at);
        *at = std::move(fresh);
    } else {
        cells.insert(std::find_if(cells.begin(), cells.end(),
                                  [column](const Cell &c) { return c.first > column; }),
                     std::move(fresh));
    }
    target->touched = true;
    block->dirty = true;
    changed = m_cellsChanged = true;
}

int SheetEditor::Private::lastCellRow() const {
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        const Extent e = extentOf(*it);
        if (e.lastRow >= 0)
            return e.lastRow;
    }
    return -1;
}

int SheetEditor::Private::appendRow(const QList<EditValue> &values) {
    if (values.size() > SheetColumns)
        throw CommandError(QStringLiteral("A row of sheet1 holds at most %1 cells; %2 were given")
                               .arg(SheetColumns)
                               .arg(values.size()));
    const int row = lastCellRow() + 1;
    if (row >= SheetRows)
        throw CommandError(
            QStringLiteral("sheet1 is full: it cannot hold more than %1 rows").arg(SheetRows));
    for (int c = 0; c < values.size(); ++c)
        checkValue(row, c, values[c]);
    for (int c = 0; c < values.size(); ++c)
        setCell(row, c, values[c]);
    return row;
}

const SheetReferences &SheetEditor::Private::references() const {
    if (!m_references)
        m_references = findReferences(m_src, m_records, m_layout);
    return *m_references;
}

void SheetEditor::Private::deleteRow(int row) {
    int last = -1;
    for (const Block &b : m_blocks)
        last = std::max(last, b.lastRow());
    if (row < 0 || row > last)
        throw CommandError(QStringLiteral("Row %1 of sheet1 does not exist").arg(row + 1));
    const QStringList &users = references().rowPositionUsers;
    if (!users.isEmpty()) {
        QString list = users.first();
        for (int i = 1; i < users.size(); ++i)
            list +=
                (i == users.size() - 1 ? QStringLiteral(" and ") : QStringLiteral(", ")) + users[i];
        throw CommandError(QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to "
                                          "row positions; clear the row's cells instead")
                               .arg(list));
    }
    // Every block from the row on is rebuilt in 32-row groups with the rows moved up.
    size_t from = 0;
    while (from < m_blocks.size() && (!m_blocks[from].hasRows() || m_blocks[from].lastRow() < row))
        ++from;
    std::vector<Row> rows;
    std::vector<Block> kept;
    for (size_t i = from; i < m_blocks.size(); ++i) {
        Block &b = m_blocks[i];
        if (!b.hasRows()) {
            kept.push_back(std::move(b)); // an empty block's DBCELL stays as it was
            continue;
        }
        decode(b);
        for (Row &r : b.decoded) {
            if (r.index == row) {
                for (const Cell &c : r.cells)
                    releaseStrings(c);
                continue;
            }
            if (r.index > row) {
                --r.index;
                if (!r.rowRecord.isEmpty())
                    put16(r.rowRecord.data(), std::uint16_t(r.index));
                for (Cell &c : r.cells)
                    put16(c.records.front().data.data(), std::uint16_t(r.index));
            }
            rows.push_back(std::move(r));
        }
    }
    m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(from), m_blocks.end());
    for (size_t i = 0; i < rows.size();) {
        Block b;
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
    for (Block &b : kept)
        m_blocks.push_back(std::move(b));
    changed = m_cellsChanged = true;
}

Extent SheetEditor::Private::extentOf(const Block &block) const {
    if (!block.dirty)
        return block.cells;
    Extent e;
    for (const Row &r : block.decoded)
        for (const Cell &c : r.cells)
            e.add(r.index, c.first, c.last);
    return e;
}

// --- Writing -------------------------------------------------------------------------------

void SheetEditor::Private::writeBlock(Output &out, const Block &block,
                                      std::vector<std::uint32_t> &dbCells) const {
    if (!block.dirty) {
        out.copy(block.recBegin, block.recEnd);
        if (block.dbCell)
            dbCells.push_back(out.map(m_records[size_t(block.recEnd - 1)].offset));
        return;
    }
    std::int64_t firstRow = -1, firstRowEnd = 0;
    for (const Row &r : block.decoded) {
        if (r.rowRecord.isEmpty())
            continue;
        QByteArray data = r.rowRecord;
        if (r.touched && !r.cells.empty()) {
            int first = SheetColumns, last = 0;
            for (const Cell &c : r.cells) {
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
    for (const Row &r : block.decoded) {
        if (!r.rowRecord.isEmpty())
            cellStarts.push_back(out.pos());
        std::vector<const Cell *> cells;
        for (const Cell &c : r.cells)
            cells.push_back(&c);
        std::stable_sort(cells.begin(), cells.end(),
                         [](const Cell *a, const Cell *b) { return a->first < b->first; });
        for (const Cell *c : cells)
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

void SheetEditor::Private::writeSheet1(Output &out) const {
    const SheetSubstream &sheet = m_layout.sheets[size_t(m_layout.sheet1)];
    if (!changed) {
        out.copy(sheet.begin, sheet.end);
        return;
    }
    std::vector<std::uint32_t> dbCells;
    std::uint32_t indexAt = 0;
    int dbCellCount = 0;
    for (const Block &b : m_blocks)
        if (b.dirty ? (b.dbCell && !b.decoded.empty()) : b.dbCell)
            ++dbCellCount;
    int from = sheet.begin;
    if (m_index >= 0) {
        out.copy(from, m_index);
        indexAt = out.record(rec::Index, QByteArray(16 + 4 * dbCellCount, '\0'));
        from = m_index + 1;
    }
    out.copy(from, m_cellsBegin);
    for (const Block &b : m_blocks)
        writeBlock(out, b, dbCells);
    out.copy(m_cellsEnd, sheet.end);

    Extent all;
    for (const Block &b : m_blocks)
        all.add(extentOf(b));
    const std::uint32_t rowFirst = all.firstRow < 0 ? 0 : std::uint32_t(all.firstRow);
    const std::uint32_t rowEnd = all.firstRow < 0 ? 0 : std::uint32_t(all.lastRow + 1);
    if (m_dimensions >= 0) {
        const std::uint32_t at = out.map(m_records[size_t(m_dimensions)].offset) + 4;
        out.patch32(at, rowFirst);
        out.patch32(at + 4, rowEnd);
        out.patch16(at + 8, all.firstRow < 0 ? 0 : std::uint16_t(all.firstCol));
        out.patch16(at + 10, all.firstRow < 0 ? 0 : std::uint16_t(all.lastCol + 1));
    }
    if (m_index >= 0) {
        const char *old = m_records[size_t(m_index)].data(m_src);
        out.patch32(indexAt + 4, u32(old));
        out.patch32(indexAt + 8, rowFirst);
        out.patch32(indexAt + 12, rowEnd);
        out.patch32(indexAt + 16, u32(old + 12) ? out.map(u32(old + 12)) : 0);
        for (size_t k = 0; k < dbCells.size() && int(k) < dbCellCount; ++k)
            out.patch32(indexAt + 20 + 4 * std::uint32_t(k), dbCells[k]);
    }
}

void SheetEditor::Private::patchIndex(Output &out, const SheetSubstream &sheet) const {
    for (int i = sheet.begin + 1; i < sheet.end; ++i) {
        const BiffRecord &r = m_records[size_t(i)];
        if (isCellTableRecord(r.type) || r.type == rec::Bof || r.type == rec::Dimensions)
            return;
        if (r.type != rec::Index || r.length < 16)
            continue;
        const std::uint32_t at = out.map(r.offset) + 4;
        const char *p = r.data(m_src);
        if (u32(p + 12))
            out.patch32(at + 12, out.map(u32(p + 12)));
        for (int k = 16; k + 4 <= r.length; k += 4)
            out.patch32(at + std::uint32_t(k), out.map(u32(p + k)));
        return;
    }
}

void SheetEditor::Private::writeSst(Output &out, std::vector<std::uint32_t> &positions) const {
    const SstWriter &sst = *m_sst;
    if (sst.existed()) {
        out.copy(sst.firstRecord(), sst.endRecord());
        for (int i = sst.firstRecord(); i < sst.endRecord(); ++i)
            positions.push_back(out.map(m_records[size_t(i)].offset));
        if (!sst.tail().isEmpty()) {
            const BiffRecord &last = m_records[size_t(sst.endRecord() - 1)];
            out.patch16(positions.back() + 2, std::uint16_t(last.length + sst.tail().size()));
            out.append(sst.tail().constData(), std::uint32_t(sst.tail().size()));
        }
    }
    for (const QByteArray &data : sst.newRecords())
        positions.push_back(out.record(positions.empty() ? rec::Sst : rec::Continue, data));
    out.patch32(positions.front() + 4, sst.total());
    out.patch32(positions.front() + 8, sst.unique());
}

QByteArray SheetEditor::Private::extSst(const std::vector<std::uint32_t> &positions) const {
    const std::uint32_t n = m_sst->unique();
    constexpr std::uint32_t MostBuckets = (MaxRecordData - 2) / 8;
    std::uint32_t dsst = 0;
    if (m_extSst >= 0 && m_records[size_t(m_extSst)].length >= 2)
        dsst = u16(m_records[size_t(m_extSst)].data(m_src));
    if (dsst == 0 || (n + dsst - 1) / dsst > MostBuckets)
        dsst = std::max<std::uint32_t>(n / 128 + 1, 8);
    const std::uint32_t buckets = (n + dsst - 1) / dsst;
    QByteArray data(2 + 8 * int(buckets), '\0');
    put16(data.data(), std::uint16_t(dsst));
    for (std::uint32_t b = 0; b < buckets; ++b) {
        const SstWriter::Start s = m_sst->start(b * dsst);
        char *p = data.data() + 2 + 8 * b;
        put32(p, positions[size_t(s.record)] + 4 + s.offset);
        put16(p + 4, std::uint16_t(4 + s.offset));
    }
    return data;
}

void SheetEditor::Private::writeGlobals(Output &out, bool recalc) const {
    const bool sstChanged =
        m_sst->headerChanged() || !m_sst->newRecords().empty() || !m_sst->tail().isEmpty();
    std::vector<std::uint32_t> sstPositions;
    auto writeExtSst = [&] { out.record(rec::ExtSst, extSst(sstPositions)); };
    int from = 0;
    for (int i = 0; i < m_layout.globalsEnd; ++i) {
        if (recalc && m_recalcId < 0 && i == m_recalcInsertAt) {
            out.copy(from, i);
            from = i;
            QByteArray data(8, '\0');
            put16(data.data(), rec::RecalcId);
            out.record(rec::RecalcId, data);
        }
        if (sstChanged && !m_sst->existed() && i == m_sstInsertAt) {
            out.copy(from, i);
            from = i;
            writeSst(out, sstPositions);
            if (m_extSst < 0)
                writeExtSst();
        }
        if (sstChanged && i == m_sst->firstRecord()) {
            out.copy(from, i);
            writeSst(out, sstPositions);
            from = m_sst->endRecord();
            i = from - 1;
            if (m_sst->stringsAdded() && m_extSst < 0)
                writeExtSst(); // a workbook without EXTSST gets one
            continue;
        }
        if (m_sst->stringsAdded() && i == m_extSst) {
            out.copy(from, i);
            writeExtSst();
            from = i + 1;
            while (from < m_layout.globalsEnd && m_records[size_t(from)].type == rec::Continue)
                ++from;
            i = from - 1;
            continue;
        }
    }
    out.copy(from, m_layout.globalsEnd);
    if (recalc && m_recalcId >= 0) // dwBuild 0: recalculate every formula on loading
        out.patch32(out.map(m_records[size_t(m_recalcId)].offset) + 8, 0);
}

Output SheetEditor::Private::plan() const {
    const bool recalc = m_cellsChanged && references().formulasReadSheet;
    Output out(m_src, m_records);
    writeGlobals(out, recalc);
    const SheetSubstream &sheet1 = m_layout.sheets[size_t(m_layout.sheet1)];
    out.copy(m_layout.globalsEnd, sheet1.begin);
    writeSheet1(out);
    out.copy(sheet1.end, int(m_records.size()));
    // Whatever followed the last record (zero padding) stays.
    const std::uint32_t end =
        m_records.empty() ? 0 : m_records.back().offset + 4 + m_records.back().length;
    out.copyBytes(end, std::uint32_t(m_src.size()));

    for (const SheetSubstream &s : m_layout.sheets) {
        const BiffRecord &bound = m_records[size_t(s.boundSheet)];
        const std::uint32_t at = out.map(bound.offset) + 4;
        out.patch32(at, out.map(u32(bound.data(m_src))));
        if (s.begin >= 0 && s.end >= 0 && (&s != &sheet1 || !changed))
            patchIndex(out, s);
    }
    // An EXTSST over an unchanged table still moves with it.
    if (m_extSst >= 0 && !m_sst->stringsAdded()) {
        const BiffRecord &r = m_records[size_t(m_extSst)];
        const std::uint32_t at = out.map(r.offset) + 4;
        for (int k = 2; k + 8 <= r.length; k += 8)
            out.patch32(at + std::uint32_t(k), out.map(u32(r.data(m_src) + k)));
    }
    return out;
}

// --- Public --------------------------------------------------------------------------------

SheetEditor::SheetEditor(const QByteArray &stream) : d(std::make_unique<Private>(stream, false)) {}

void SheetEditor::check(const QByteArray &stream) {
    Private(stream, true);
}

SheetEditor::~SheetEditor() = default;

int SheetEditor::lastRow() const {
    return d->lastCellRow();
}

void SheetEditor::setCell(int row, int column, const EditValue &value) {
    d->setCell(row, column, value);
}

int SheetEditor::appendRow(const QList<EditValue> &values) {
    return d->appendRow(values);
}

void SheetEditor::deleteRow(int row) {
    d->deleteRow(row);
}

int SheetEditor::apply(const SheetChange &change) {
    switch (change.kind) {
    case SheetChange::Kind::SetCell:
        setCell(change.row, change.column, change.value);
        return change.row;
    case SheetChange::Kind::AppendRow:
        return appendRow(change.values);
    case SheetChange::Kind::DeleteRow:
        deleteRow(change.row);
        return change.row;
    }
    return -1;
}

bool SheetEditor::isChanged() const {
    return d->changed;
}

QByteArray SheetEditor::stream() const {
    return d->changed ? d->plan().bytes() : d->source();
}

bool SheetEditor::writeStream(const std::function<bool(QByteArrayView)> &put) const {
    if (!d->changed)
        return put(QByteArrayView(d->source()));
    return d->plan().write(put);
}

QByteArray SheetEditor::serialize() const {
    return d->plan().bytes();
}

} // namespace workbook::xls
