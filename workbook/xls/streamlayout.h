// Where the parts of a BIFF8 workbook stream lie: the globals, each sheet's substream and the
// worksheet named sheet1. The write-back engine starts from here and refuses what it cannot edit.
#pragma once

#include "workbook/xls/biffrecords.h"

#include <QString>

#include <vector>

namespace workbook::xls {

struct SheetSubstream {
    QString name;
    int boundSheet = -1;    // record index of its BOUNDSHEET
    int begin = -1;         // record index of its BOF; -1 when BOUNDSHEET points at none
    int end = -1;           // record index after its EOF
    std::uint16_t kind = 0; // BOF dt: 0x0010 worksheet, 0x0020 chart, 0x0040 macro sheet
};

struct StreamLayout {
    int globalsEnd = 0;                 // record index after the globals' EOF
    std::vector<SheetSubstream> sheets; // in BOUNDSHEET order, which is what formulas count by
    int sheet1 = -1;                    // index into sheets
};

// Lays out a Workbook stream for editing sheet1. Throws CommandError when it cannot be changed:
// encrypted, Excel 5.0/95, damaged, or without a worksheet named sheet1.
StreamLayout readLayout(const QByteArray &stream, const std::vector<BiffRecord> &records);

// The record index after the EOF matching the BOF at begin (substreams nest), or -1.
int substreamEnd(const std::vector<BiffRecord> &records, int begin);

// The record starting at that stream offset, or -1.
int recordAt(const std::vector<BiffRecord> &records, std::uint32_t offset);

} // namespace workbook::xls
