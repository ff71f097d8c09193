// The .ods write-back: a batch of changes written into an .ods package, which must then read
// back as the batch says, or be refused with its bytes untouched.
#include "fuzzsupport.h"

#include "workbook/ods/odsformat.h"

namespace {

// OpenDocument keeps a text's lines as paragraphs, which read back joined by line feeds.
std::optional<QString> asRead(const QString &text) {
    QString t = text;
    return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return fuzzing::writeTarget(data, size, typeid(workbook::ods::OdsFormat),
                                QStringLiteral("book.ods"), asRead);
}
