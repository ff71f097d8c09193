// What in a workbook depends on the cells and row positions of sheet1: formulas on any sheet,
// defined names, charts, and the sheet's own merged cells, notes, drawings, hyperlinks and
// formats. Deleting a row shifts the rows below; anything found here would then point at the
// wrong rows, so the delete is refused.
#pragma once

#include "workbook/sheetreferences.h"
#include "workbook/xls/streamlayout.h"

#include <QStringList>

#include <array>

namespace workbook::xls {

// The EXTERNSHEET table that 3-D references index into.
struct ExternSheets {
    bool known = false;    // false: any 3-D reference may mean any sheet
    int internalBook = -1; // the SUPBOOK ordinal of this workbook itself
    std::vector<std::array<std::uint16_t, 3>> entries; // supbook, first sheet, last sheet
};

// What one formula's tokens (rgce) refer to.
struct TokenReferences {
    bool plain = false;      // cells of the formula's own sheet, or a shared/array/table anchor
    bool sheet = false;      // a 3-D reference that may cover the sheet asked about
    bool names = false;      // defined or external names
    bool unreadable = false; // a token not understood, or one running past the end
};

TokenReferences scanTokens(const char *tokens, int size, const ExternSheets &externs, int sheet);

SheetReferences findReferences(const QByteArray &stream, const std::vector<BiffRecord> &records,
                               const StreamLayout &layout);

} // namespace workbook::xls
