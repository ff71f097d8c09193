// Finds the globals, the sheet substreams and sheet1 in a Workbook stream, checking every offset.
#include "workbook/xls/streamlayout.h"

#include "common/commanderror.h"
#include "workbook/xls/xlserrors.h"

#include <algorithm>

namespace workbook::xls {

namespace {

// A ShortXLUnicodeString: cch u8, flags u8 (bit 0: UTF-16LE), characters.
bool readShortString(const char *p, int length, QString &out) {
    if (length < 2)
        return false;
    const int cch = std::uint8_t(p[0]);
    const bool wide = p[1] & 1;
    if (2 + cch * (wide ? 2 : 1) > length)
        return false;
    out.resize(cch);
    for (int i = 0; i < cch; ++i)
        out[i] = wide ? QChar(u16(p + 2 + 2 * i)) : QChar(uchar(p[2 + i]));
    return true;
}

} // namespace

int substreamEnd(const std::vector<BiffRecord> &records, int begin) {
    int depth = 0;
    for (size_t i = size_t(begin); i < records.size(); ++i) {
        if (records[i].type == rec::Bof)
            ++depth;
        else if (records[i].type == rec::Eof && --depth == 0)
            return int(i) + 1;
    }
    return -1;
}

int recordAt(const std::vector<BiffRecord> &records, std::uint32_t offset) {
    const auto it =
        std::lower_bound(records.begin(), records.end(), offset,
                         [](const BiffRecord &r, std::uint32_t value) { return r.offset < value; });
    return it != records.end() && it->offset == offset ? int(it - records.begin()) : -1;
}

StreamLayout readLayout(const QByteArray &stream, const std::vector<BiffRecord> &records) {
    if (records.empty() || records[0].type != rec::Bof || records[0].length < 4)
        damagedForWriting();
    const char *bof = records[0].data(stream);
    if (u16(bof) != Biff8Version)
        olderFormatForWriting();
    if (u16(bof + 2) != GlobalsKind)
        damagedForWriting();

    StreamLayout layout;
    layout.globalsEnd = substreamEnd(records, 0);
    if (layout.globalsEnd < 0)
        damagedForWriting();
    for (int i = 1; i < layout.globalsEnd; ++i) {
        const BiffRecord &r = records[size_t(i)];
        if (r.type == rec::FilePass)
            encryptedForWriting();
        if (r.type != rec::BoundSheet)
            continue;
        SheetSubstream sheet;
        sheet.boundSheet = i;
        if (r.length < 8 || !readShortString(r.data(stream) + 6, r.length - 6, sheet.name))
            damagedForWriting();
        const int at = recordAt(records, u32(r.data(stream)));
        if (at >= layout.globalsEnd && records[size_t(at)].type == rec::Bof &&
            records[size_t(at)].length >= 4) {
            sheet.begin = at;
            sheet.end = substreamEnd(records, at);
            sheet.kind = u16(records[size_t(at)].data(stream) + 2);
        }
        if (layout.sheet1 < 0 && sheet.name.compare(u"sheet1", Qt::CaseInsensitive) == 0)
            layout.sheet1 = int(layout.sheets.size());
        layout.sheets.push_back(sheet);
    }
    if (layout.sheet1 < 0)
        noSheet1ForWriting();
    const SheetSubstream &sheet1 = layout.sheets[size_t(layout.sheet1)];
    if (sheet1.begin < 0 || sheet1.end < 0)
        damagedForWriting();
    if (sheet1.kind != WorksheetKind)
        noSheet1ForWriting();
    if (u16(records[size_t(sheet1.begin)].data(stream)) != Biff8Version)
        damagedForWriting();
    // Sheets may not overlap each other or the globals, or offsets could not be kept apart.
    std::vector<std::pair<int, int>> ranges;
    for (const SheetSubstream &s : layout.sheets)
        if (s.begin >= 0 && s.end >= 0)
            ranges.emplace_back(s.begin, s.end);
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].first < ranges[i - 1].second)
            damagedForWriting();
    return layout;
}

} // namespace workbook::xls
