// Rebuilding the Workbook stream from an edited sheet: every record is copied but sheet1's cell
// table and the shared strings, and the stream offsets (BOUNDSHEET, INDEX, DBCELL, EXTSST) are
// corrected by mapping each old position to its new one.
#include "workbook/xls/xlssheeteditorprivate.h"

#include "workbook/xls/streamplan.h"

#include <algorithm>

namespace workbook::xls {

void SheetEditor::Private::writeSheet1(StreamPlan &out) const {
    const SheetSubstream &sheet = m_layout.sheets[size_t(m_layout.sheet1)];
    if (!changed) {
        out.copy(sheet.begin, sheet.end);
        return;
    }
    std::vector<std::uint32_t> dbCells;
    std::uint32_t indexAt = 0;
    const int dbCellCount = m_table.dbCellCount();
    int from = sheet.begin;
    if (m_index >= 0) {
        out.copy(from, m_index);
        indexAt = out.record(rec::Index, QByteArray(16 + 4 * dbCellCount, '\0'));
        from = m_index + 1;
    }
    out.copy(from, m_cellsBegin);
    m_table.write(out, dbCells);
    out.copy(m_cellsEnd, sheet.end);

    const Extent all = m_table.extent();
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

void SheetEditor::Private::patchIndex(StreamPlan &out, const SheetSubstream &sheet) const {
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

void SheetEditor::Private::writeSst(StreamPlan &out, std::vector<std::uint32_t> &positions) const {
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

void SheetEditor::Private::writeGlobals(StreamPlan &out, bool recalc) const {
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
            if (m_extSst < 0 || m_extSst < i)
                writeExtSst();
        }
        if (sstChanged && i == m_sst->firstRecord()) {
            out.copy(from, i);
            writeSst(out, sstPositions);
            from = m_sst->endRecord();
            i = from - 1;
            // A workbook without EXTSST gets one, and so does one whose EXTSST came first.
            if (m_sst->stringsAdded() && (m_extSst < 0 || m_extSst < i))
                writeExtSst();
            continue;
        }
        if (m_sst->stringsAdded() && i == m_extSst) {
            out.copy(from, i);
            // An EXTSST before the SST (no program writes one there) is dropped: the offsets it
            // holds are known only once the SST is written, and one is written after it.
            if (!sstPositions.empty())
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

StreamPlan SheetEditor::Private::plan() const {
    const bool recalc = m_cellsChanged && references().formulasReadSheet;
    StreamPlan out(m_src, m_records);
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

} // namespace workbook::xls
