// The .xls write-back: a batch of changes written into an .xls file, which must then read back
// as the batch says, or be refused with its bytes untouched.
#include "fuzzsupport.h"

#include "workbook/xls/xlsformat.h"

namespace {

// A text cell without characters reads as an empty cell, as Excel shows it.
std::optional<QString> asRead(const QString &text) {
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return fuzzing::writeTarget(data, size, typeid(workbook::xls::XlsFormat),
                                QStringLiteral("book.xls"), asRead);
}
