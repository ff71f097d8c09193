// The .ods reader on any bytes: an .ods package: manifest, styles, sheet1 of content.xml.
#include "fuzzsupport.h"

#include "workbook/ods/odsformat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const workbook::ods::OdsFormat format;
    return fuzzing::readTarget(format, data, size);
}
