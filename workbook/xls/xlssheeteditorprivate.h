// The state of a sheet being edited, shared by the edits (sheeteditor.cpp) and the rebuilding
// of the stream from them (sheetrebuild.cpp).
#pragma once

#include "workbook/xls/rowblocks.h"
#include "workbook/xls/sstwriter.h"
#include "workbook/xls/streamlayout.h"
#include "workbook/xls/xlsreferences.h"
#include "workbook/xls/xlssheeteditor.h"

#include <memory>
#include <optional>
#include <vector>

namespace workbook::xls {

class StreamPlan;

class SheetEditor::Private {
public:
    // checkOnly: only the checks of a stream that edits could be made in, none prepared.
    Private(const QByteArray &stream, bool checkOnly);

    void setCell(int row, int column, const EditValue &value);
    int appendRow(const QList<EditValue> &values);
    void deleteRow(int row);
    int lastCellRow() const { return m_table.lastCellRow(); }
    // The stream with the edits, as a plan that is written out a piece at a time.
    StreamPlan plan() const;

    const QByteArray &source() const { return m_src; }

    bool changed = false;

private:
    void readSheet1();
    void readGlobals();
    std::uint16_t defaultXf(const TableRow &row, int column) const;
    void releaseStrings(const CellRecords &cell);
    std::vector<CellRecords> splitMulti(const CellRecords &cell, int row, int column) const;
    const SheetReferences &references() const;

    void writeGlobals(StreamPlan &out, bool recalc) const;
    void writeSst(StreamPlan &out, std::vector<std::uint32_t> &positions) const;
    QByteArray extSst(const std::vector<std::uint32_t> &positions) const;
    void writeSheet1(StreamPlan &out) const;
    void patchIndex(StreamPlan &out, const SheetSubstream &sheet) const;

    QByteArray m_src;
    std::vector<BiffRecord> m_records;
    StreamLayout m_layout;
    int m_index = -1, m_dimensions = -1, m_cellsBegin = -1, m_cellsEnd = -1;
    std::vector<int> m_colInfos;
    std::uint16_t m_rowHeight = 0x00FF;
    std::uint16_t m_defaultXf = 15;
    RowBlocks m_table; // sheet1's cell table
    std::unique_ptr<SstWriter> m_sst;
    int m_extSst = -1, m_recalcId = -1, m_sstInsertAt = -1, m_recalcInsertAt = -1;
    bool m_cellsChanged = false;
    mutable std::optional<SheetReferences> m_references;
};

} // namespace workbook::xls
