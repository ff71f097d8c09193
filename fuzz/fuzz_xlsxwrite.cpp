// The .xlsx write-back: a batch of changes written into an .xlsx package, which must then read
// back as the batch says, or be refused with its bytes untouched.
#include "fuzzsupport.h"

#include "workbook/xlsx/xlsxformat.h"

namespace {

std::optional<QString> asRead(const QString &text) {
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return fuzzing::writeTarget(data, size, typeid(workbook::xlsx::XlsxFormat),
                                QStringLiteral("book.xlsx"), asRead);
}
