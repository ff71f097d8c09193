// The record layer of a BIFF workbook stream.
#include "workbook/xls/biffrecords.h"

#include <cstring>

namespace workbook::xls {

namespace {

// Walks the record headers, handing each record but padding to take; false when a record runs
// past the end of the stream or something other than zero bytes follows the last one. Padding
// records may stand between records (xlrd and LibreOffice pass over them); those after the last
// record are the stream's trailing zeros, and end is where they start.
template <typename Take> bool walkRecords(const QByteArray &stream, std::uint32_t &end, Take take) {
    const std::uint32_t size = std::uint32_t(stream.size());
    const char *base = stream.constData();
    std::uint32_t at = 0;
    std::uint32_t last = 0; // the end of the last record that is no padding
    while (at + 4 <= size) {
        const std::uint16_t type = u16(base + at);
        const std::uint16_t length = u16(base + at + 2);
        if (isPadding(type, length)) {
            at += 4;
            continue;
        }
        if (std::uint64_t(at) + 4 + length > size)
            return false;
        take(BiffRecord{at, recordType(type), length});
        at += 4 + length;
        last = at;
    }
    // A few stray bytes shorter than a header can only be padding.
    for (std::uint32_t i = at; i < size; ++i)
        if (base[i] != 0)
            return false;
    end = last;
    return true;
}

} // namespace

bool splitRecords(const QByteArray &stream, std::vector<BiffRecord> &records) {
    records.clear();
    std::uint32_t end = 0;
    return walkRecords(stream, end, [&records](const BiffRecord &r) { records.push_back(r); });
}

bool recordChainEnd(const QByteArray &stream, std::uint32_t &end) {
    return walkRecords(stream, end, [](const BiffRecord &) {});
}

double f64(const char *p) {
    std::uint64_t bits = std::uint64_t(u32(p)) | std::uint64_t(u32(p + 4)) << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace workbook::xls
