// The text-list reader on any bytes: the input's first byte picks the locale's code set, the rest
// is the file. The file read must give the text its bytes decode to, with line feeds only, or be
// refused as beyond the list's capacity when it is; the list's lines then cut and made into a
// folder document.
#include "fuzzsupport.h"

#include "common/commanderror.h"
#include "kml/kmlbuffer.h"
#include "sources/textlist.h"

#include <iterator>

namespace {

// UTF-8 and GB18030 as the program's users keep their lists, single-byte and multi-byte code
// pages, and stateful code sets that need a closing shift sequence.
const char *const Codesets[] = {"UTF-8",  "GB18030",   "ANSI_X3.4-1968", "ISO-8859-1", "BIG5",
                                "EUC-JP", "SHIFT_JIS", "ISO-2022-JP",    "UTF-7",      "UTF-16",
                                "CP1252", "KOI8-R",    "NO-SUCH-SET"};

// Small, so that some inputs are beyond it.
constexpr qsizetype Capacity = 256;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const QByteArray codeset(Codesets[data[0] % std::size(Codesets)]);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString path = fuzzing::memoryFolder() + QStringLiteral("/list.txt");
    fuzzing::putFile(path, bytes);

    const QString decoded = textlist::withLineFeeds(textlist::decode(bytes, codeset));
    if (decoded.contains(u'\r'))
        fuzzing::finding(QStringLiteral("a carriage return is left in the list"));
    try {
        const QString text = textlist::readFile(path, codeset, Capacity);
        if (text != decoded)
            fuzzing::finding(QStringLiteral("the file reads otherwise than its bytes decode"));
    } catch (const CommandError &e) {
        if (e.message() != QString::fromUtf16(textlist::CapacityExceeded))
            fuzzing::finding(QStringLiteral("a list file is refused: ") + e.message());
        if (decoded.size() <= Capacity && bytes.size() <= Capacity * 4 + 4)
            fuzzing::finding(QStringLiteral("a list within capacity is refused"));
    }

    KmlBuffer buffer;
    textlist::fillFolder(buffer, decoded);
    buffer.bytes();
    return 0;
}
