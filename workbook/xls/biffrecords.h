// The record layer of a BIFF workbook stream: u16 type, u16 length, then the data.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace workbook::xls {

namespace rec {
// Record types used by the reader and the writer.
inline constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, CalcMode = 0x000D, FilePass = 0x002F,
                               Continue = 0x003C, CodePage = 0x0042, DateMode = 0x0022,
                               Uncalced = 0x005E, BoundSheet = 0x0085, MulRk = 0x00BD,
                               MulBlank = 0x00BE, Rstring = 0x00D6, DbCell = 0x00D7, Xf = 0x00E0,
                               Sst = 0x00FC, LabelSst = 0x00FD, ExtSst = 0x00FF, RecalcId = 0x01C1,
                               Dimensions = 0x0200, Blank = 0x0201, Number = 0x0203, Label = 0x0204,
                               BoolErr = 0x0205, String = 0x0207, Row = 0x0208, Index = 0x020B,
                               Array = 0x0221, Table = 0x0236, Rk = 0x027E, Format = 0x041E,
                               Shrfmla = 0x04BC, Bof = 0x0809;
} // namespace rec

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
