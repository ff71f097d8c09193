// A cell's element as an edit writes it into a worksheet part: a number as its value, text as
// an inline string (so that the shared strings part need not change), the old cell's style and
// unknown attributes kept.
#pragma once

#include "workbook/sheetchange.h"

#include <QByteArray>

namespace workbook::xlsx {

// The cell's element made anew from the old one's start tag (or none, prefix then naming the
// sheet's namespace prefix with its colon): its type and content replaced, with the formula and
// a dynamic array's cell metadata gone.
QByteArray newCell(const QByteArray &prefix, const QByteArray *old, int row, int column,
                   const EditValue &value);

} // namespace workbook::xlsx
