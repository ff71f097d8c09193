// The .xls reader on any bytes: an .xls file: the compound file through libgsf, the BIFF records of
// the globals and sheet1.
#include "fuzzsupport.h"

#include "workbook/xls/xlsformat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const workbook::xls::XlsFormat format;
    return fuzzing::readTarget(format, data, size);
}
