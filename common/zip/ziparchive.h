// Reading a zip archive held in memory (the container of .xlsx and .ods workbooks) and writing
// it again with some entries replaced or removed. Every other entry is copied as it stands: its
// local header, compressed bytes and central-directory record, in the original order, with only
// its offset changed. Every size and offset in the archive is checked before it is used.
#pragma once

#include "common/damagedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zip {

// Whether two part names are the same without regard to ASCII case, as zip packages of office
// documents compare them.
bool sameNameIgnoringCase(QByteArrayView a, QByteArrayView b);

struct Entry {
    QByteArray name; // as stored: UTF-8, or code page 437 without flag bit 11
    std::uint16_t flags = 0;
    std::uint16_t method = 0; // 0 stored, 8 deflated
    std::uint16_t dosTime = 0, dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;          // uncompressed
    std::uint64_t localOffset = 0;   // the local header
    std::uint64_t dataOffset = 0;    // the compressed bytes
    std::uint64_t end = 0;           // past the compressed bytes and any data descriptor
    std::uint64_t centralOffset = 0; // the central-directory record
    std::uint32_t centralLength = 0;
};

class Archive {
public:
    // The most any entry may inflate to: the sheet model counts its texts' characters in 32
    // bits, and an XML part holds at most one a byte. A format caps its parts lower where its
    // own limits let it.
    static constexpr std::uint64_t MaxPart = std::uint64_t(1) << 31;

    // Reads the central directory and every local header of bytes, which must outlive the
    // archive. Throws DamagedFile.
    explicit Archive(QByteArrayView bytes);

    // Whether bytes start as a zip archive does (a local header, or the end record of an empty
    // archive).
    static bool hasSignature(QByteArrayView bytes);

    QByteArrayView bytes() const { return m_bytes; }
    // In the central directory's order.
    const std::vector<Entry> &entries() const { return m_entries; }
    // The entry of that name; part names compare without regard to ASCII case, as zip packages
    // of office documents require. Null when there is none.
    const Entry *find(QByteArrayView name) const;
    // The entry whose local header comes first in the file.
    const Entry *first() const;

    // The entry's content, inflated and checked against its size and CRC. Throws DamagedFile, and
    // also when the entry states more than limit bytes. A stated size is refused before any
    // room is made for it when no deflate stream of the entry's length could reach it; room
    // then grows only as the data arrives, so that a size the data does not bear out costs
    // little, and data beyond the stated size is refused as soon as it comes.
    QByteArray read(const Entry &entry, std::uint64_t limit = MaxPart) const;

    // The entry's bytes as they lie in the archive: local header to end of data descriptor.
    QByteArrayView raw(const Entry &entry) const {
        return m_bytes.sliced(qsizetype(entry.localOffset),
                              qsizetype(entry.end - entry.localOffset));
    }
    QByteArrayView centralRecord(const Entry &entry) const {
        return m_bytes.sliced(qsizetype(entry.centralOffset), qsizetype(entry.centralLength));
    }
    bool isZip64() const { return m_zip64; }
    const QByteArray &comment() const { return m_comment; }

private:
    void readEnd();
    void readCentral(std::uint64_t offset, std::uint64_t size, std::uint64_t count);
    void readLocal(Entry &entry);

    QByteArrayView m_bytes;
    std::vector<Entry> m_entries;
    QByteArray m_comment;
    bool m_zip64 = false;
};

// A change to one entry when the archive is written again: new content (deflated at a fast
// level unless the entry was stored), or removal.
struct EntryChange {
    QByteArray name;
    std::optional<QByteArray> content; // none: the entry is removed
};

// Writes the archive with the changes, a piece at a time through put (false from put stops
// the writing and makes this return false, as does new content that cannot be compressed or an
// archive grown past 4 GiB where its records have no room for that). New content is deflated
// on every core (ParallelDeflate, shared with the KMZ writer). A changed entry keeps its place,
// name, flags for the name's encoding, attributes, comment and extra fields (except timestamps,
// which would no longer be true, and zip64 sizes, which it has only where its new sizes need
// them); it gets the current time. Changes naming no entry are ignored.
bool rewrite(const Archive &archive, const std::vector<EntryChange> &changes,
             const std::function<bool(QByteArrayView)> &put);

// The name in the local header the bytes start with, read without the central directory: what
// an archive cut short or damaged can still say about itself. Empty when there is no whole
// local header at the start.
QByteArray firstLocalName(QByteArrayView bytes);

} // namespace zip
