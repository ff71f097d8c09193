// The zip records of a one-file archive (PKWARE's APPNOTE 6.3): local header, deflated data,
// data descriptor, central directory header, and the end records, zip64 ones included when a
// size or an offset needs 8 bytes.
#include "common/zip/zipwriter.h"

#include <QDate>
#include <QTime>

#include <QList>

#include <cerrno>

namespace {

constexpr std::uint32_t Max32 = 0xFFFFFFFFu;
constexpr std::uint16_t DataDescriptorFlag = 0x0008;
constexpr std::uint16_t Deflated = 8;
constexpr std::uint16_t Version20 = 20; // deflate
constexpr std::uint16_t Version45 = 45; // zip64
constexpr std::uint16_t MadeOnUnix = 3 << 8;
constexpr std::uint32_t RegularFile644 = 0100644u << 16;

class Record {
public:
    Record() = default;
    explicit Record(std::uint32_t signature) { u32(signature); }
    Record &u16(std::uint16_t v) {
        for (int i = 0; i < 2; ++i)
            m_bytes.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Record &u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_bytes.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Record &u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            m_bytes.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Record &bytes(const QByteArray &b) {
        m_bytes.append(b);
        return *this;
    }
    const QByteArray &data() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// The field as a 4-byte record has it: the value, or all ones when the zip64 field holds it.
std::uint32_t field32(std::uint64_t value, bool inZip64) {
    return inZip64 ? Max32 : std::uint32_t(value);
}

// The zip64 extended information field holding these values, in the order the format fixes.
QByteArray zip64Extra(const QList<std::uint64_t> &values) {
    if (values.isEmpty())
        return {};
    Record field;
    field.u16(0x0001).u16(std::uint16_t(8 * values.size()));
    for (std::uint64_t v : values)
        field.u64(v);
    return field.data();
}

} // namespace

ZipWriter::ZipWriter(Output output, const QByteArray &entryName, std::uint64_t sizeBound,
                     Zip64 zip64, const QDateTime &modified)
    : m_output(std::move(output)), m_name(entryName), m_always(zip64 == Zip64::Always),
      // Deflate may add a little to data that does not compress: the margin covers it.
      m_zip64Sizes(m_always || sizeBound + sizeBound / 64 + (1u << 20) >= Max32),
      m_deflate([this](const char *data, qsizetype size) {
          m_offset += std::uint64_t(size);
          return m_output(data, size);
      }) {
    // DOS date and time: from 1980 on, two-second steps, local time.
    const QDate d = modified.date();
    const QTime t = modified.time();
    const int year = qBound(1980, d.year(), 2107);
    m_dosDate = std::uint16_t(((year - 1980) << 9) | (d.month() << 5) | d.day());
    m_dosTime = std::uint16_t((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

bool ZipWriter::put(const QByteArray &bytes) {
    m_failed = m_failed || !m_output(bytes.constData(), bytes.size());
    m_offset += std::uint64_t(bytes.size());
    return !m_failed;
}

bool ZipWriter::begin() {
    if (m_begun)
        return !m_failed;
    m_begun = true;
    // With a data descriptor the header's checksum and sizes are zero; a zip64 header carries
    // its sizes, zero too, in its extra field.
    const QByteArray extra = m_zip64Sizes ? zip64Extra({0, 0}) : QByteArray();
    Record local(0x04034b50);
    local.u16(m_zip64Sizes ? Version45 : Version20)
        .u16(DataDescriptorFlag)
        .u16(Deflated)
        .u16(m_dosTime)
        .u16(m_dosDate)
        .u32(0)
        .u32(m_zip64Sizes ? Max32 : 0)
        .u32(m_zip64Sizes ? Max32 : 0)
        .u16(std::uint16_t(m_name.size()))
        .u16(std::uint16_t(extra.size()))
        .bytes(m_name)
        .bytes(extra);
    return put(local.data());
}

bool ZipWriter::write(const char *data, qsizetype size) {
    if (!begin())
        return false;
    // A header that announced 4-byte sizes cannot be followed by larger ones.
    m_written += std::uint64_t(size);
    if (!m_zip64Sizes && m_written >= Max32 - (Max32 >> 6)) {
        errno = EFBIG;
        m_failed = true;
    }
    m_failed = m_failed || !m_deflate.write(data, size);
    return !m_failed;
}

bool ZipWriter::finish() {
    if (!begin() || !m_deflate.finish()) {
        m_failed = true;
        return false;
    }
    const std::uint64_t compressed = m_deflate.sizeOut();
    const std::uint64_t size = m_deflate.sizeIn();
    const std::uint32_t crc = m_deflate.crc();
    if (!m_zip64Sizes && (compressed >= Max32 || size >= Max32)) {
        errno = EFBIG;
        m_failed = true;
        return false;
    }

    Record descriptor(0x08074b50);
    descriptor.u32(crc);
    if (m_zip64Sizes)
        descriptor.u64(compressed).u64(size);
    else
        descriptor.u32(std::uint32_t(compressed)).u32(std::uint32_t(size));
    if (!put(descriptor.data()))
        return false;

    const std::uint64_t headerOffset = 0;
    const bool bigSize = m_always || size >= Max32;
    const bool bigCompressed = m_always || compressed >= Max32;
    const bool bigOffset = m_always || headerOffset >= Max32;
    QList<std::uint64_t> fields;
    if (bigSize)
        fields << size;
    if (bigCompressed)
        fields << compressed;
    if (bigOffset)
        fields << headerOffset;
    const QByteArray extra = zip64Extra(fields);
    const bool zip64Entry = m_zip64Sizes || !fields.isEmpty();
    const std::uint16_t needed = zip64Entry ? Version45 : Version20;

    const std::uint64_t directoryOffset = m_offset;
    Record central(0x02014b50);
    central.u16(MadeOnUnix | needed)
        .u16(needed)
        .u16(DataDescriptorFlag)
        .u16(Deflated)
        .u16(m_dosTime)
        .u16(m_dosDate)
        .u32(crc)
        .u32(field32(compressed, bigCompressed))
        .u32(field32(size, bigSize))
        .u16(std::uint16_t(m_name.size()))
        .u16(std::uint16_t(extra.size()))
        .u16(0) // comment
        .u16(0) // disk
        .u16(1) // a text file
        .u32(RegularFile644)
        .u32(field32(headerOffset, bigOffset))
        .bytes(m_name)
        .bytes(extra);
    if (!put(central.data()))
        return false;
    const std::uint64_t directorySize = std::uint64_t(central.data().size());

    const bool bigDirectory = m_always || directoryOffset >= Max32;
    if (zip64Entry || bigDirectory) {
        const std::uint64_t endOffset = m_offset;
        Record end64(0x06064b50);
        end64
            .u64(44) // the size of the rest of this record
            .u16(MadeOnUnix | Version45)
            .u16(Version45)
            .u32(0)
            .u32(0)
            .u64(1)
            .u64(1)
            .u64(directorySize)
            .u64(directoryOffset);
        Record locator(0x07064b50);
        locator.u32(0).u64(endOffset).u32(1);
        if (!put(end64.data()) || !put(locator.data()))
            return false;
    }
    Record end(0x06054b50);
    end.u16(0)
        .u16(0)
        .u16(1)
        .u16(1)
        .u32(std::uint32_t(directorySize))
        .u32(field32(directoryOffset, bigDirectory))
        .u16(0);
    return put(end.data());
}
