// The .xlsx reader on any bytes: an .xlsx package: relationships, workbook, shared strings, styles,
// sheet1's part.
#include "fuzzsupport.h"

#include "workbook/xlsx/xlsxformat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const workbook::xlsx::XlsxFormat format;
    return fuzzing::readTarget(format, data, size);
}
