// The encoding from the mark or the bytes' validity, the delimiter by counting fields in the
// first records with each candidate.
#include "workbook/csv/csvdialect.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace workbook::csv {

namespace {

bool startsWith(QByteArrayView bytes, const char *mark, qsizetype n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), mark, std::size_t(n)) == 0;
}

bool isUtf16(QByteArrayView bytes, bool bigEndian) {
    if (bytes.size() % 2)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size() / 2;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned u =
            bigEndian ? (p[2 * i] << 8 | p[2 * i + 1]) : (p[2 * i + 1] << 8 | p[2 * i]);
        if (u == 0)
            return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= n)
                return false;
            const unsigned v =
                bigEndian ? (p[2 * i + 2] << 8 | p[2 * i + 3]) : (p[2 * i + 3] << 8 | p[2 * i + 2]);
            if (v < 0xDC00 || v > 0xDFFF)
                return false;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// The delimiter of the text: for each candidate, the most frequent field count above one in the
// first non-empty records, and how many records have it; the most such records wins.
template <class Units> unsigned findDelimiter(const Units &units) {
    unsigned best = 0;
    int bestRecords = 0;
    std::vector<FieldRange> fields;
    for (const unsigned delimiter : Delimiters) {
        RecordScanner<Units> scanner(units, delimiter);
        std::map<std::size_t, int> counts;
        RecordRange record;
        for (int sampled = 0; sampled < SampleRecords && scanner.next(record, &fields);) {
            if (record.isEmpty())
                continue;
            ++sampled;
            if (fields.size() > 1)
                ++counts[fields.size()];
        }
        int records = 0;
        for (const auto &[count, n] : counts)
            records = std::max(records, n);
        if (records > bestRecords) {
            best = delimiter;
            bestRecords = records;
        }
    }
    return best;
}

} // namespace

bool isGb18030(QByteArrayView bytes) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b == 0x80 || b == 0xFF || i + 1 >= n)
            return false;
        const unsigned c = p[i + 1];
        if (c >= 0x30 && c <= 0x39) {
            if (i + 3 >= n || p[i + 2] < 0x81 || p[i + 2] > 0xFE || p[i + 3] < 0x30 ||
                p[i + 3] > 0x39)
                return false;
            i += 4;
        } else {
            if (c < 0x40 || c == 0x7F || c == 0xFF)
                return false;
            i += 2;
        }
    }
    return true;
}

std::optional<Dialect> detectEncoding(QByteArrayView bytes) {
    Dialect d;
    if (startsWith(bytes, "\xFF\xFE", 2) || startsWith(bytes, "\xFE\xFF", 2)) {
        d.encoding = bytes[0] == '\xFF' ? Encoding::Utf16Le : Encoding::Utf16Be;
        d.markSize = 2;
        if (!isUtf16(bytes.sliced(2), d.encoding == Encoding::Utf16Be))
            return std::nullopt;
        return d;
    }
    if (!bytes.isEmpty() && std::memchr(bytes.data(), 0, std::size_t(bytes.size())))
        return std::nullopt;
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) {
        d.markSize = 3;
        if (!bytes.sliced(3).isValidUtf8())
            return std::nullopt;
        return d;
    }
    if (bytes.isValidUtf8())
        return d;
    if (!isGb18030(bytes))
        return std::nullopt;
    d.encoding = Encoding::Gb18030;
    return d;
}

std::optional<Dialect> detectDialect(QByteArrayView bytes) {
    std::optional<Dialect> d = detectEncoding(bytes);
    if (d)
        d->delimiter = withUnits(bytes, *d, [](const auto &units) { return findDelimiter(units); });
    return d;
}

QString encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case Encoding::Utf16Be:
        return QStringLiteral("UTF-16BE");
    case Encoding::Gb18030:
        return QStringLiteral("GB18030");
    case Encoding::Utf8:
        break;
    }
    return QStringLiteral("UTF-8");
}

} // namespace workbook::csv
