// Edits of sheet1's cells in a Workbook stream: the stream is laid out once, sheet1's cell table
// read into row blocks, and each edit changes the rows of the block it touches; write-back then
// rebuilds the stream from them (sheetrebuild.cpp).
#include "workbook/xls/xlssheeteditor.h"

#include "workbook/xls/streamplan.h"
#include "workbook/xls/xlserrors.h"
#include "workbook/xls/xlssheeteditorprivate.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace workbook::xls {

namespace {

// Records that come after the cell table; an empty sheet gets its cells before the first.
bool followsCellTable(std::uint16_t t) {
    return t == rec::MsoDrawing || t == rec::Obj || t == rec::Txo || t == rec::Note ||
           t == rec::HfPicture || t == rec::SxView || t == rec::Dcon || t == rec::Window2 ||
           t == rec::Bof || t == rec::Eof;
}

constexpr SheetLimits Limits{SheetRows, SheetColumns, MaxCellText};

} // namespace

SheetEditor::Private::Private(const QByteArray &stream, bool checkOnly)
    : m_src(stream), m_table(m_src, m_records) {
    m_records.reserve(size_t(stream.size() / 16)); // cells take 10 to 18 bytes
    if (!splitRecords(m_src, m_records))
        damagedForWriting();
    m_layout = readLayout(m_src, m_records);
    readGlobals();
    readSheet1();
    m_table.read(m_cellsBegin, m_cellsEnd, m_index >= 0, checkOnly);
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

std::uint16_t SheetEditor::Private::defaultXf(const TableRow &row, int column) const {
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

void SheetEditor::Private::releaseStrings(const CellRecords &cell) {
    if (cell.records.front().type == rec::LabelSst)
        m_sst->countReferences(-1);
}

std::vector<CellRecords> SheetEditor::Private::splitMulti(const CellRecords &cell, int row,
                                                          int column) const {
    const OwnedRecord &multi = cell.records.front();
    const bool rk = multi.type == rec::MulRk;
    const int item = rk ? 6 : 2;
    auto part = [&](int first, int last) {
        CellRecords c;
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
    std::vector<CellRecords> parts;
    if (column > cell.first)
        parts.push_back(part(cell.first, column - 1));
    parts.push_back(part(column, column));
    if (column < cell.last)
        parts.push_back(part(column + 1, cell.last));
    return parts;
}

void SheetEditor::Private::setCell(int row, int column, const EditValue &value) {
    checkCellPosition(row, column, Limits);
    checkCellValue(row, column, value, Limits);
    for (const auto &a : m_table.arrayRanges())
        if (a[0] <= row && row <= a[1] && a[2] <= column && column <= a[3])
            inArrayFormula(row, column);
    const bool empty = std::holds_alternative<std::monostate>(value);
    RowBlock *block = nullptr;
    TableRow *target = m_table.findRow(row, !empty, m_rowHeight, &block);
    if (!target)
        return;
    auto covers = [column](const CellRecords &c) { return c.first <= column && column <= c.last; };
    for (const CellRecords &c : target->cells) {
        if (!covers(c))
            continue;
        for (const OwnedRecord &r : c.records)
            if (r.type == rec::Shrfmla || r.type == rec::Array || r.type == rec::Table)
                sharedFormulaCell(row, column);
    }

    std::vector<CellRecords> &cells = target->cells;
    std::optional<std::uint16_t> ixfe;
    bool alreadyBlank = false;
    for (size_t i = 0; i < cells.size();) {
        if (!covers(cells[i])) {
            ++i;
            continue;
        }
        if (cells[i].first != cells[i].last) {
            std::vector<CellRecords> parts = splitMulti(cells[i], row, column);
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
    CellRecords fresh;
    fresh.first = fresh.last = column;
    fresh.records.push_back(std::move(record));
    auto at = std::find_if(cells.begin(), cells.end(), covers);
    if (at != cells.end()) {
        releaseStrings(*at);
        *at = std::move(fresh);
    } else {
        cells.insert(std::find_if(cells.begin(), cells.end(),
                                  [column](const CellRecords &c) { return c.first > column; }),
                     std::move(fresh));
    }
    target->touched = true;
    block->dirty = true;
    changed = m_cellsChanged = true;
}

int SheetEditor::Private::appendRow(const QList<EditValue> &values) {
    const int row = m_table.lastCellRow() + 1;
    checkAppendedRow(row, values, Limits);
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
    checkDeletedRow(row, m_table.lastRow(), [this] { return references().rowPositionUsers; });
    m_table.removeRow(row, [this](const CellRecords &c) { releaseStrings(c); });
    changed = m_cellsChanged = true;
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
    return applyChange(*this, change);
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
