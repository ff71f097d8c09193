// Sheet1's cell table as row blocks, the way BIFF8 lays it out: up to 32 rows' ROW records,
// then their cells, then a DBCELL. A block is copied as it stands until an edit touches it; then
// it is decoded into rows and cells and written anew with its ROW records and DBCELL.
#pragma once

#include "workbook/xls/biffrecords.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace workbook::xls {

class StreamPlan;

// Rows of one group share a block.
inline constexpr int BlockRows = 32;

// The kinds of record in a cell table; inline, as the checks of an opened workbook ask them of
// every record of the sheet.
//
// The shortest data of each cell record: row, column and format, then its value.
inline constexpr std::pair<std::uint16_t, std::uint8_t> CellRecordLengths[] = {
    {rec::Blank, 6}, {rec::MulBlank, 8},  {rec::BoolErr, 8}, {rec::Label, 9},   {rec::Rstring, 9},
    {rec::Rk, 10},   {rec::LabelSst, 10}, {rec::MulRk, 12},  {rec::Number, 14}, {rec::Formula, 22}};
// The same by record type, made when compiling: every cell record type is below 0x0300.
struct CellRecordTable {
    std::uint8_t shortest[0x0300] = {};
    constexpr CellRecordTable() {
        for (const auto &cell : CellRecordLengths)
            shortest[cell.first] = cell.second;
    }
};
inline constexpr CellRecordTable CellRecordKinds{};

// The shortest data a cell record can have; 0 for a record that is no cell.
inline int shortestCell(std::uint16_t type) {
    return type < sizeof CellRecordKinds.shortest ? CellRecordKinds.shortest[type] : 0;
}
inline bool isCellRecord(std::uint16_t type) {
    return shortestCell(type) > 0;
}
// Records that belong to the cell before them: STRING, SHRFMLA, ARRAY, TABLE, CONTINUE.
inline bool isCellTrailer(std::uint16_t type) {
    return type == rec::String || type == rec::Shrfmla || type == rec::Array ||
           type == rec::Table || type == rec::Continue;
}
inline bool isCellTableRecord(std::uint16_t type) {
    return type == rec::Row || type == rec::DbCell || isCellRecord(type) || isCellTrailer(type);
}
// The columns a cell record covers, after checking its length; false for a damaged one.
bool cellColumns(std::uint16_t type, const char *p, int length, int &first, int &last);

struct OwnedRecord {
    std::uint16_t type;
    QByteArray data;
};

// A record made anew, its data zero-filled; a cell record with its row, column and format.
OwnedRecord makeRecord(std::uint16_t type, int length);
OwnedRecord cellRecord(std::uint16_t type, int length, int row, int column, std::uint16_t ixfe);

// One cell record (a MULRK or MULBLANK covers several columns) and the records that belong to
// it.
struct CellRecords {
    int first = 0, last = 0;
    std::vector<OwnedRecord> records; // the cell record, then its SHRFMLA/ARRAY/STRING/...
};

struct TableRow {
    int index = 0;
    QByteArray rowRecord; // empty when the row has no ROW record
    bool touched = false; // its ROW record's column span is to be recomputed
    std::vector<CellRecords> cells;
};

// The rows and columns that cells cover.
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

struct RowBlock {
    int recBegin = -1, recEnd = -1; // its records in the file; -1 for a new block
    bool dbCell = false;            // the file's block ends with a DBCELL
    int first = -1, last = -1;      // rows with a ROW record or a cell
    int rowCount = 0;               // how many distinct rows
    Extent cells;                   // where its cells lie
    bool dirty = false;             // written anew from decoded
    bool isDecoded = false;
    std::vector<TableRow> decoded; // by row, once decoded

    bool hasRows() const { return rowCount > 0; }
    int firstRow() const { return first; }
    int lastRow() const { return last; }
    void setRows(const std::vector<int> &sorted) {
        rowCount = int(sorted.size());
        first = sorted.empty() ? -1 : sorted.front();
        last = sorted.empty() ? -1 : sorted.back();
    }
};

class RowBlocks {
public:
    // The stream and its records; both must outlive the blocks.
    RowBlocks(const QByteArray &src, const std::vector<BiffRecord> &records)
        : m_src(src), m_records(records) {}

    // Reads the cell table, records [begin, end), into blocks, with the ranges of its array
    // formulas and data tables. hasIndex: the sheet has an INDEX, so every block is to end
    // with a DBCELL. checkOnly: only what a write would refuse is checked, and no block kept.
    // Throws the write-back's "damaged" error for a table it could not rebuild.
    void read(int begin, int end, bool hasIndex, bool checkOnly);
    // ARRAY and TABLE ranges: first and last row, then first and last column.
    const std::vector<std::array<int, 4>> &arrayRanges() const { return m_arrays; }

    // The row, in its decoded block (owner); null when it has no records and create is false.
    // A row created gets a ROW record of the given height.
    TableRow *findRow(int row, bool create, std::uint16_t rowHeight, RowBlock **owner);
    // The last row holding a cell record of any kind; -1 when none.
    int lastCellRow() const;
    // The last row with a ROW record or a cell; -1 when none.
    int lastRow() const;
    // Removes the row and moves the rows below it up by one, rebuilding every block from it on
    // in 32-row groups; released is called for each cell that goes.
    void removeRow(int row, const std::function<void(const CellRecords &)> &released);

    // Where all the cells lie.
    Extent extent() const;
    // How many DBCELL records the table has when written.
    int dbCellCount() const;
    // Writes the blocks, each copied or made anew, and notes where each DBCELL goes.
    void write(StreamPlan &out, std::vector<std::uint32_t> &dbCells) const;

private:
    void decode(RowBlock &block) const;
    RowBlock &blockForNewRow(int row);
    Extent extentOf(const RowBlock &block) const;
    void writeBlock(StreamPlan &out, const RowBlock &block,
                    std::vector<std::uint32_t> &dbCells) const;

    const QByteArray &m_src;
    const std::vector<BiffRecord> &m_records;
    bool m_usesDbCell = false;
    std::vector<RowBlock> m_blocks;
    std::vector<std::array<int, 4>> m_arrays;
};

} // namespace workbook::xls
