// The records of a zip archive (PKWARE's APPNOTE 6.3) written in one place, for the KMZ writer and
// for a workbook's package written again: local header, data descriptor, central directory
// record, zip64 extra field, the end records; and the DOS date and time the headers hold. Which
// value goes into which field (all ones where a zip64 record holds the true one) is the caller's.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <vector>

class QDateTime;

namespace zip {

inline constexpr std::uint32_t LocalSignature = 0x04034b50, CentralSignature = 0x02014b50,
                               EndSignature = 0x06054b50, End64Signature = 0x06064b50,
                               Locator64Signature = 0x07064b50, DescriptorSignature = 0x08074b50;
// The fixed part of each record, before its variable fields.
inline constexpr std::size_t LocalSize = 30, CentralSize = 46, EndSize = 22, End64Size = 56,
                             LocatorSize = 20;
inline constexpr std::uint32_t Max32 = 0xffffffffu;
inline constexpr std::uint16_t Zip64Extra = 0x0001;
inline constexpr std::uint16_t Encrypted = 0x0001, HasDescriptor = 0x0008, Utf8Names = 0x0800;
inline constexpr std::uint16_t Stored = 0, Deflated = 8;
// The version a reader needs: deflate, zip64.
inline constexpr std::uint16_t Version20 = 20, Version45 = 45;
inline constexpr std::uint16_t MadeOnUnix = 3 << 8;

struct DosTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
// The moment's date and time as the QDateTime holds them (local time for currentDateTime()):
// years clamped to 1980-2107, seconds in two-second steps.
DosTime dosTime(const QDateTime &moment);

void put16(QByteArray &out, std::uint16_t v);
void put32(QByteArray &out, std::uint32_t v);
void put64(QByteArray &out, std::uint64_t v);

// What a local header and a central directory record both say of an entry.
struct EntryFields {
    std::uint16_t needed = Version20;
    std::uint16_t flags = 0;
    std::uint16_t method = Deflated;
    DosTime modified;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    QByteArrayView name;
    QByteArrayView extra;
};

// What only the central directory record says.
struct CentralFields {
    std::uint16_t madeBy = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localOffset = 0;
    QByteArrayView comment;
};

void appendLocalHeader(QByteArray &out, const EntryFields &entry);
void appendCentralRecord(QByteArray &out, const EntryFields &entry, const CentralFields &central);
// wide: 8-byte sizes, after a local header with a zip64 extra field.
void appendDataDescriptor(QByteArray &out, std::uint32_t crc, std::uint64_t compressedSize,
                          std::uint64_t size, bool wide);

// The zip64 extended information field holding these values, in the order the format fixes:
// size, compressed size, offset, each only where its 32-bit field is all ones. Empty for none.
QByteArray zip64Extra(const std::vector<std::uint64_t> &values);

// The zip64 end record, at offset at in the archive, and its locator.
void appendZip64End(QByteArray &out, std::uint16_t madeBy, std::uint64_t entries,
                    std::uint64_t directorySize, std::uint64_t directoryOffset, std::uint64_t at);
void appendEnd(QByteArray &out, std::uint16_t entries, std::uint32_t directorySize,
               std::uint32_t directoryOffset, QByteArrayView comment);

} // namespace zip
