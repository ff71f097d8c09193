// The .xls format's own failure message.
#include "workbook/xls/xlserrors.h"

#include "common/commanderror.h"

namespace workbook::xls {

void olderFormatForWriting() {
    throw CommandError(QStringLiteral("The workbook is in the Excel 5.0/95 format and cannot be "
                                      "changed; save it as an Excel 97-2003 workbook first"));
}

} // namespace workbook::xls
