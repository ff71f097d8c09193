// The zip records' layout, field by field, little-endian.
#include "common/zip/ziprecords.h"

#include <QDateTime>
#include <QtEndian>

#include <algorithm>

namespace zip {

DosTime dosTime(const QDateTime &moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    const int year = std::clamp(d.year(), 1980, 2107);
    return {std::uint16_t(t.hour() << 11 | t.minute() << 5 | t.second() / 2),
            std::uint16_t((year - 1980) << 9 | d.month() << 5 | d.day())};
}

void put16(QByteArray &out, std::uint16_t v) {
    char b[2];
    qToLittleEndian<quint16>(v, b);
    out.append(b, 2);
}
void put32(QByteArray &out, std::uint32_t v) {
    char b[4];
    qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}
void put64(QByteArray &out, std::uint64_t v) {
    char b[8];
    qToLittleEndian<quint64>(v, b);
    out.append(b, 8);
}

namespace {

// From the version needed to the extra field's length: the part both headers share.
void putEntry(QByteArray &out, const EntryFields &e) {
    put16(out, e.needed);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.modified.time);
    put16(out, e.modified.date);
    put32(out, e.crc);
    put32(out, e.compressedSize);
    put32(out, e.size);
    put16(out, std::uint16_t(e.name.size()));
    put16(out, std::uint16_t(e.extra.size()));
}

} // namespace

void appendLocalHeader(QByteArray &out, const EntryFields &entry) {
    put32(out, LocalSignature);
    putEntry(out, entry);
    out.append(entry.name);
    out.append(entry.extra);
}

void appendCentralRecord(QByteArray &out, const EntryFields &entry, const CentralFields &central) {
    put32(out, CentralSignature);
    put16(out, central.madeBy);
    putEntry(out, entry);
    put16(out, std::uint16_t(central.comment.size()));
    put16(out, 0); // disk
    put16(out, central.internalAttributes);
    put32(out, central.externalAttributes);
    put32(out, central.localOffset);
    out.append(entry.name);
    out.append(entry.extra);
    out.append(central.comment);
}

void appendDataDescriptor(QByteArray &out, std::uint32_t crc, std::uint64_t compressedSize,
                          std::uint64_t size, bool wide) {
    put32(out, DescriptorSignature);
    put32(out, crc);
    if (wide) {
        put64(out, compressedSize);
        put64(out, size);
    } else {
        put32(out, std::uint32_t(compressedSize));
        put32(out, std::uint32_t(size));
    }
}

QByteArray zip64Extra(const std::vector<std::uint64_t> &values) {
    QByteArray field;
    if (values.empty())
        return field;
    put16(field, Zip64Extra);
    put16(field, std::uint16_t(8 * values.size()));
    for (const std::uint64_t v : values)
        put64(field, v);
    return field;
}

void appendZip64End(QByteArray &out, std::uint16_t madeBy, std::uint64_t entries,
                    std::uint64_t directorySize, std::uint64_t directoryOffset, std::uint64_t at) {
    put32(out, End64Signature);
    put64(out, End64Size - 12); // the size of the rest of this record
    put16(out, madeBy);
    put16(out, Version45);
    put32(out, 0);       // this disk
    put32(out, 0);       // the directory's disk
    put64(out, entries); // on this disk
    put64(out, entries);
    put64(out, directorySize);
    put64(out, directoryOffset);
    put32(out, Locator64Signature);
    put32(out, 0); // the zip64 end record's disk
    put64(out, at);
    put32(out, 1); // disks
}

void appendEnd(QByteArray &out, std::uint16_t entries, std::uint32_t directorySize,
               std::uint32_t directoryOffset, QByteArrayView comment) {
    put32(out, EndSignature);
    put16(out, 0);       // this disk
    put16(out, 0);       // the directory's disk
    put16(out, entries); // on this disk
    put16(out, entries);
    put32(out, directorySize);
    put32(out, directoryOffset);
    put16(out, std::uint16_t(comment.size()));
    out.append(comment);
}

} // namespace zip
