// The record layer of a BIFF workbook stream.
#include "workbook/xls/biffrecords.h"

#include <cstring>

namespace workbook::xls {

bool splitRecords(const QByteArray &stream, std::vector<BiffRecord> &records) {
    records.clear();
    const std::uint32_t size = std::uint32_t(stream.size());
    std::uint32_t at = 0;
    while (at + 4 <= size) {
        const char *p = stream.constData() + at;
        const std::uint16_t type = u16(p);
        const std::uint16_t length = u16(p + 2);
        if (type == 0 && length == 0) {
            // Padding: only zeros may follow.
            for (std::uint32_t i = at; i < size; ++i)
                if (stream[i] != 0)
                    return false;
            return true;
        }
        if (std::uint64_t(at) + 4 + length > size)
            return false;
        records.push_back(BiffRecord{at, type, length});
        at += 4 + length;
    }
    // A few stray bytes shorter than a header can only be padding.
    for (std::uint32_t i = at; i < size; ++i)
        if (stream[i] != 0)
            return false;
    return true;
}

bool recordChainEnd(const QByteArray &stream, std::uint32_t &end) {
    const std::uint32_t size = std::uint32_t(stream.size());
    const char *base = stream.constData();
    std::uint32_t at = 0;
    while (at + 4 <= size) {
        const std::uint16_t type = u16(base + at);
        const std::uint16_t length = u16(base + at + 2);
        if (type == 0 && length == 0)
            break;
        if (std::uint64_t(at) + 4 + length > size)
            return false;
        at += 4 + length;
    }
    end = at;
    for (std::uint32_t i = at; i < size; ++i)
        if (base[i] != 0)
            return false;
    return true;
}

double f64(const char *p) {
    std::uint64_t bits = std::uint64_t(u32(p)) | std::uint64_t(u32(p + 4)) << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace workbook::xls
