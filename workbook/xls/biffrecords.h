// The record layer of a BIFF workbook stream: u16 type, u16 length, then the data.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace workbook::xls {

// The record types of BIFF workbook streams, named once for the reader, the write-back and the
// reference scan, with the names [MS-XLS] gives them where ours are not plainer.
namespace rec {
inline constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, CalcCount = 0x000C,
                               CalcMode = 0x000D, CalcRefMode = 0x000F, CalcDelta = 0x0010,
                               CalcIter = 0x0011, Protect = 0x0012, Password = 0x0013,
                               Header = 0x0014, Footer = 0x0015, ExternSheet = 0x0017,
                               Name = 0x0018, WinProtect = 0x0019, VerticalPageBreaks = 0x001A,
                               HorizontalPageBreaks = 0x001B, Note = 0x001C, Selection = 0x001D,
                               DateMode = 0x0022, LeftMargin = 0x0026, RightMargin = 0x0027,
                               TopMargin = 0x0028, BottomMargin = 0x0029, PrintRowCol = 0x002A,
                               PrintGrid = 0x002B, FilePass = 0x002F, Continue = 0x003C,
                               Pane = 0x0041, CodePage = 0x0042, Pls = 0x004D, Dcon = 0x0050,
                               DconRef = 0x0051, DefColWidth = 0x0055, Obj = 0x005D,
                               Uncalced = 0x005E, CalcSaveRecalc = 0x005F, ObjProtect = 0x0063,
                               ColInfo = 0x007D, Guts = 0x0080, WsBool = 0x0081, GridSet = 0x0082,
                               HCenter = 0x0083, VCenter = 0x0084, BoundSheet = 0x0085,
                               StandardWidth = 0x0099, FilterMode = 0x009B, AutoFilterInfo = 0x009D,
                               AutoFilter = 0x009E, Scl = 0x00A0, Setup = 0x00A1, SxView = 0x00B0,
                               MulRk = 0x00BD, MulBlank = 0x00BE, Rstring = 0x00D6, DbCell = 0x00D7,
                               ScenarioProtect = 0x00DD, Xf = 0x00E0, MergedCells = 0x00E5,
                               BkHim = 0x00E9, MsoDrawingGroup = 0x00EB, MsoDrawing = 0x00EC,
                               MsoDrawingSelection = 0x00ED, PhoneticInfo = 0x00EF, Sst = 0x00FC,
                               LabelSst = 0x00FD, ExtSst = 0x00FF, SupBook = 0x01AE,
                               CondFmt = 0x01B0, Cf = 0x01B1, DVal = 0x01B2, Txo = 0x01B6,
                               HLink = 0x01B8, CodeName = 0x01BA, Dv = 0x01BE, RecalcId = 0x01C1,
                               EntExU2 = 0x01C2, Dimensions = 0x0200, Blank = 0x0201,
                               Number = 0x0203, Label = 0x0204, BoolErr = 0x0205, String = 0x0207,
                               Row = 0x0208, Index = 0x020B, Array = 0x0221,
                               DefaultRowHeight = 0x0225, Table = 0x0236, Window2 = 0x023E,
                               Rk = 0x027E, Format = 0x041E, Shrfmla = 0x04BC,
                               HLinkTooltip = 0x0800, WebPub = 0x0801, Bof = 0x0809, WOpt = 0x080B,
                               SheetExt = 0x0862, BookExt = 0x0863, CrErr = 0x0865,
                               HfPicture = 0x0866, FeatHdr = 0x0867, DConn = 0x0876,
                               CondFmt12 = 0x0879, Cf12 = 0x087A, CfEx = 0x087B,
                               AutoFilter12 = 0x087E, Plv = 0x088B, Compat12 = 0x088C,
                               Theme = 0x0896, GuidTypeLib = 0x0897, CompressPictures = 0x089B,
                               HeaderFooter = 0x089C, Brai = 0x1051;
} // namespace rec

// A BOF record's version and substream kind (its dt field).
inline constexpr std::uint16_t Biff8Version = 0x0600, Biff5Version = 0x0500;
inline constexpr std::uint16_t GlobalsKind = 0x0005, WorksheetKind = 0x0010, ChartKind = 0x0020;

// Limits of a BIFF8 sheet and cell.
inline constexpr int SheetRows = 65536, SheetColumns = 256, MaxCellText = 32767;

// Largest record data: BIFF8 8224 bytes, BIFF5 2080.
inline constexpr int MaxRecordData = 8224;

struct BiffRecord {
    std::uint32_t offset = 0; // of the record header in the stream
    std::uint16_t type = 0;
    std::uint16_t length = 0; // eight bytes in all: a big stream has hundreds of thousands

    const char *data(const QByteArray &stream) const { return stream.constData() + offset + 4; }
};

// Splits a stream into its records. Zero bytes after the last record (some writers pad the
// stream) end the list; a record running past the end of the stream makes it fail.
bool splitRecords(const QByteArray &stream, std::vector<BiffRecord> &records);
// The same check without the list: end is where the records end (the stream's size, or where
// its zero padding starts).
bool recordChainEnd(const QByteArray &stream, std::uint32_t &end);

// Little-endian readers over raw bytes; callers check the bounds first.
inline std::uint16_t u16(const char *p) {
    return std::uint16_t(std::uint8_t(p[0]) | std::uint8_t(p[1]) << 8);
}
inline std::uint32_t u32(const char *p) {
    return std::uint32_t(u16(p)) | std::uint32_t(u16(p + 2)) << 16;
}
double f64(const char *p);

inline void put16(char *p, std::uint16_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void put32(char *p, std::uint32_t v) {
    put16(p, std::uint16_t(v & 0xFFFF));
    put16(p + 2, std::uint16_t(v >> 16));
}

} // namespace workbook::xls
