// How a delimited text file is written: its encoding (by its byte-order mark; else UTF-8 when
// its bytes are valid UTF-8; else GB18030), its delimiter (tab, comma, semicolon or vertical
// bar, found from its first records; none for one column), and, for the write-back, its line
// end and whether it quotes every field. Also whether bytes are text at all.
#pragma once

#include "workbook/csv/csvscanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace workbook::csv {

enum class Encoding { Utf8, Utf16Le, Utf16Be, Gb18030 };

struct Dialect {
    Encoding encoding = Encoding::Utf8;
    int markSize = 0;       // bytes of the byte-order mark
    unsigned delimiter = 0; // 0: one column
    bool operator==(const Dialect &o) const {
        return encoding == o.encoding && markSize == o.markSize && delimiter == o.delimiter;
    }
};

// The candidates, in the order that breaks ties.
inline constexpr unsigned Delimiters[] = {'\t', ',', ';', '|'};
// How many non-empty records decide the delimiter.
inline constexpr int SampleRecords = 100;

// The encoding of the bytes; nothing when they are not text: a zero byte outside UTF-16, or
// bytes that are not valid in the encoding their mark names, nor (without a mark) in UTF-8 or
// GB18030. UTF-16 text must pair its surrogates and hold no U+0000.
std::optional<Dialect> detectEncoding(QByteArrayView bytes);
// The encoding, then the delimiter; nothing when the bytes are not text.
std::optional<Dialect> detectDialect(QByteArrayView bytes);

// Whether the bytes are GB18030 as its byte sequences are formed (one byte up to 0x7F; a lead
// byte 0x81 to 0xFE followed by 0x40 to 0xFE but 0x7F, or by a digit, a lead byte and a digit).
bool isGb18030(QByteArrayView bytes);

// The encoding's name, for messages.
QString encodingName(Encoding encoding);

// Calls f with the units of the text after the mark (ByteUnits or Utf16Units).
template <class F> auto withUnits(QByteArrayView bytes, const Dialect &d, F &&f) {
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data()) + d.markSize;
    const qsizetype size = bytes.size() - d.markSize;
    switch (d.encoding) {
    case Encoding::Utf16Le:
        return f(Utf16Units<false>{data, size / 2});
    case Encoding::Utf16Be:
        return f(Utf16Units<true>{data, size / 2});
    case Encoding::Gb18030:
        return f(ByteUnits{data, size, true});
    case Encoding::Utf8:
        break;
    }
    return f(ByteUnits{data, size, false});
}

} // namespace workbook::csv
