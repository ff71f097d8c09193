// The delimited text reader on any bytes: encoding, delimiter, records and fields, the one sheet.
#include "fuzzsupport.h"

#include "workbook/csv/csvformat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const workbook::csv::CsvFormat format;
    // Whatever the content test says, the reader must stand any bytes.
    workbook::csv::looksLikeDelimitedText(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return fuzzing::readTarget(format, data, size);
}
