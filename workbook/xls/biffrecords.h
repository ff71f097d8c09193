// The record layer of a BIFF workbook stream: u16 type, u16 length, then the data.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace workbook::xls {

// The record types of BIFF workbook streams, named once for the reader, the write-back and the
// reference scan, with the names [MS-XLS] gives them where ours are not plainer.
namespace rec {
// Substreams, and data that goes on in the next record.
inline constexpr std::uint16_t Bof = 0x0809, Eof = 0x000A, Continue = 0x003C;
// Cells, and the records that follow a formula cell.
inline constexpr std::uint16_t Blank = 0x0201, MulBlank = 0x00BE, Number = 0x0203, Rk = 0x027E,
                               MulRk = 0x00BD, LabelSst = 0x00FD, Label = 0x0204, Rstring = 0x00D6,
                               BoolErr = 0x0205, Formula = 0x0006;
// FORMULA under its BIFF3/4 number, which some writers still put into BIFF8 streams; xlrd and
// LibreOffice read it as FORMULA, and so does the record layer (recordType).
inline constexpr std::uint16_t Formula4 = 0x0406;
inline constexpr std::uint16_t String = 0x0207, Shrfmla = 0x04BC, Array = 0x0221, Table = 0x0236;
// A worksheet's cell table and the records that locate it.
inline constexpr std::uint16_t Dimensions = 0x0200, Row = 0x0208, DbCell = 0x00D7, Index = 0x020B;
// The globals: sheets, strings, formats, date system, code page, recalculation, encryption.
inline constexpr std::uint16_t BoundSheet = 0x0085, Sst = 0x00FC, ExtSst = 0x00FF, Xf = 0x00E0,
                               Format = 0x041E, DateMode = 0x0022, CodePage = 0x0042;
inline constexpr std::uint16_t RecalcId = 0x01C1, Uncalced = 0x005E, FilePass = 0x002F;
// Records of the globals that come after the shared strings.
inline constexpr std::uint16_t WebPub = 0x0801, WOpt = 0x080B, CrErr = 0x0865, BookExt = 0x0863,
                               DConn = 0x0876, Theme = 0x0896, CompressPictures = 0x089B,
                               Compat12 = 0x088C, GuidTypeLib = 0x0897;
// Names and references to other sheets and workbooks.
inline constexpr std::uint16_t Name = 0x0018, ExternSheet = 0x0017, SupBook = 0x01AE;
// Calculation settings.
inline constexpr std::uint16_t CalcCount = 0x000C, CalcMode = 0x000D, CalcRefMode = 0x000F,
                               CalcDelta = 0x0010, CalcIter = 0x0011, CalcSaveRecalc = 0x005F;
// Printing and page layout.
inline constexpr std::uint16_t PrintRowCol = 0x002A, PrintGrid = 0x002B, GridSet = 0x0082,
                               Guts = 0x0080, Header = 0x0014, Footer = 0x0015,
                               HeaderFooter = 0x089C, HCenter = 0x0083, VCenter = 0x0084,
                               Setup = 0x00A1, Pls = 0x004D;
inline constexpr std::uint16_t LeftMargin = 0x0026, RightMargin = 0x0027, TopMargin = 0x0028,
                               BottomMargin = 0x0029;
inline constexpr std::uint16_t VerticalPageBreaks = 0x001A, HorizontalPageBreaks = 0x001B;
// Protection.
inline constexpr std::uint16_t Protect = 0x0012, ScenarioProtect = 0x00DD, ObjProtect = 0x0063,
                               Password = 0x0013, WinProtect = 0x0019;
// Columns, rows and the window.
inline constexpr std::uint16_t DefColWidth = 0x0055, ColInfo = 0x007D, StandardWidth = 0x0099,
                               DefaultRowHeight = 0x0225, WsBool = 0x0081, Window2 = 0x023E,
                               Plv = 0x088B, Scl = 0x00A0, Pane = 0x0041, Selection = 0x001D;
// Sheet extras that hold no cell positions.
inline constexpr std::uint16_t BkHim = 0x00E9, CodeName = 0x01BA, SheetExt = 0x0862,
                               FeatHdr = 0x0867, EntExU2 = 0x01C2, HfPicture = 0x0866,
                               PhoneticInfo = 0x00EF;
// What refers to cells by position: merged cells, notes, drawings, links, formats, filters.
inline constexpr std::uint16_t MergedCells = 0x00E5, Note = 0x001C, Obj = 0x005D, Txo = 0x01B6;
inline constexpr std::uint16_t MsoDrawingGroup = 0x00EB, MsoDrawing = 0x00EC,
                               MsoDrawingSelection = 0x00ED;
inline constexpr std::uint16_t HLink = 0x01B8, HLinkTooltip = 0x0800;
inline constexpr std::uint16_t CondFmt = 0x01B0, Cf = 0x01B1, CondFmt12 = 0x0879, Cf12 = 0x087A,
                               CfEx = 0x087B, DVal = 0x01B2, Dv = 0x01BE;
inline constexpr std::uint16_t FilterMode = 0x009B, AutoFilterInfo = 0x009D, AutoFilter = 0x009E,
                               AutoFilter12 = 0x087E;
// Pivot tables and charts.
inline constexpr std::uint16_t SxView = 0x00B0, Dcon = 0x0050, DconRef = 0x0051, Brai = 0x1051;
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

// A record's type as the reader and the write-back take it: FORMULA under its BIFF3/4 number is
// a FORMULA.
inline std::uint16_t recordType(std::uint16_t raw) {
    return raw == rec::Formula4 ? rec::Formula : raw;
}
// A record of type 0 and no data: padding that some writers leave between records and after
// the last one.
inline bool isPadding(std::uint16_t type, std::uint16_t length) {
    return type == 0 && length == 0;
}

// Splits a stream into its records, their types as recordType() gives them, padding left out:
// a copy of the records from one to another still holds the padding between them. A record
// running past the end of the stream makes it fail.
bool splitRecords(const QByteArray &stream, std::vector<BiffRecord> &records);
// The same check without the list: end is where the records end (the stream's size, or where
// its trailing zero bytes start).
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
