// The .xls format's own failure, reported by several of its parts; the failures every format
// shares are in workbook/workbookerrors.h, which this includes.
#pragma once

#include "workbook/workbookerrors.h"

namespace workbook::xls {

// An Excel 5.0/95 workbook, which is read but never written.
[[noreturn]] void olderFormatForWriting();

} // namespace workbook::xls
