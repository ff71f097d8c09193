// Raw inflate (RFC 1951) and CRC-32 over whole buffers, through libdeflate: a zip entry is read
// whole, at about twice zlib's speed. (Deflating is ParallelDeflate's, on every core.)
#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace rawdeflate {

enum class InflateResult { Ok, BadData, WrongSize };

// Inflates a raw deflate stream into exactly size bytes at out. WrongSize when the stream holds
// fewer or more bytes than that, BadData when it is not a deflate stream or does not end
// within the input.
InflateResult inflate(QByteArrayView compressed, char *out, std::size_t size);

std::uint32_t crc32(QByteArrayView data, std::uint32_t crc = 0);

} // namespace rawdeflate
