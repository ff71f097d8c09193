// libdeflate's compressor and decompressor, one of each per thread: allocating a compressor
// costs more than compressing a small part.
#include "common/rawdeflate.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace rawdeflate {

namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

libdeflate_compressor *compressor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> kept;
    thread_local int keptLevel = 0;
    if (!kept || keptLevel != level) {
        kept.reset(libdeflate_alloc_compressor(level));
        keptLevel = level;
        if (!kept)
            throw std::bad_alloc();
    }
    return kept.get();
}

libdeflate_decompressor *decompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> kept(
        libdeflate_alloc_decompressor());
    if (!kept)
        throw std::bad_alloc();
    return kept.get();
}

} // namespace

QByteArray compress(QByteArrayView data, int level) {
    libdeflate_compressor *c = compressor(level);
    const std::size_t bound = libdeflate_deflate_compress_bound(c, std::size_t(data.size()));
    QByteArray out;
    out.resize(qsizetype(bound));
    const std::size_t n = libdeflate_deflate_compress(c, data.constData(), std::size_t(data.size()),
                                                      out.data(), bound);
    out.resize(qsizetype(n));
    return out;
}

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
