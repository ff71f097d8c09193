// libdeflate's decompressor, one per thread: allocating one costs more than inflating a small
// part.
#include "common/rawdeflate.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace rawdeflate {

namespace {

struct DecompressorFree {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor *decompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> kept(
        libdeflate_alloc_decompressor());
    if (!kept)
        throw std::bad_alloc();
    return kept.get();
}

} // namespace

InflateResult inflate(QByteArrayView compressed, char *out, std::size_t size) {
    std::size_t actual = 0;
    const libdeflate_result r = libdeflate_deflate_decompress(
        decompressor(), compressed.constData(), std::size_t(compressed.size()), out, size, &actual);
    switch (r) {
    case LIBDEFLATE_SUCCESS:
        return actual == size ? InflateResult::Ok : InflateResult::WrongSize;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return InflateResult::WrongSize;
    default:
        return InflateResult::BadData;
    }
}

std::uint32_t crc32(QByteArrayView data, std::uint32_t crc) {
    return std::uint32_t(libdeflate_crc32(crc, data.constData(), std::size_t(data.size())));
}

} // namespace rawdeflate
