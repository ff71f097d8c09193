// Raw deflate (RFC 1951) and CRC-32 over whole buffers, through libdeflate: zip entries are read
// and written whole, and libdeflate does both at about twice zlib's speed. Shared by every
// writer of zip archives (workbooks, KMZ).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace rawdeflate {

// Levels 1 (fastest) to 12 (smallest); 1 writes about as small as zlib's level 6 does on XML.
inline constexpr int FastLevel = 1;

// The raw deflate stream of data. Throws std::bad_alloc only.
QByteArray compress(QByteArrayView data, int level = FastLevel);

enum class InflateResult { Ok, BadData, WrongSize };

// Inflates a raw deflate stream into exactly size bytes at out. WrongSize when the stream holds
// fewer or more bytes than that, BadData when it is not a deflate stream or does not end
// within the input.
InflateResult inflate(QByteArrayView compressed, char *out, std::size_t size);

std::uint32_t crc32(QByteArrayView data, std::uint32_t crc = 0);

} // namespace rawdeflate
