// The .xls write-back: a batch of changes written into an .xls file, which must then read back
// as the batch says, or be refused with its bytes untouched.
#include "fuzzsupport.h"

#include "workbook/xls/xlsformat.h"

namespace {

QString asWritten(const QString &text) {
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return fuzzing::writeTarget(data, size, typeid(workbook::xls::XlsFormat),
                                QStringLiteral("book.xls"), asWritten);
}
