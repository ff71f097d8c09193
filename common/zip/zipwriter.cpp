// The records of a one-file archive in order, with the values each field takes: local header,
// deflated data, data descriptor, central directory header, and the end records, zip64 ones
// included when a size or an offset needs 8 bytes.
#include "common/zip/zipwriter.h"

#include "common/zip/ziprecords.h"

namespace zip {

namespace {

constexpr std::uint32_t RegularFile644 = 0100644u << 16;

// The field as a 4-byte record has it: the value, or all ones when the zip64 field holds it.
std::uint32_t field32(std::uint64_t value, bool inZip64) {
    return inZip64 ? Max32 : std::uint32_t(value);
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
    m_modified = dosTime(modified);
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
    EntryFields entry;
    entry.needed = m_zip64Sizes ? Version45 : Version20;
    entry.flags = HasDescriptor;
    entry.modified = m_modified;
    entry.compressedSize = entry.size = m_zip64Sizes ? Max32 : 0;
    entry.name = m_name;
    entry.extra = extra;
    QByteArray local;
    appendLocalHeader(local, entry);
    return put(local);
}

bool ZipWriter::write(const char *data, qsizetype size) {
    if (!begin())
        return false;
    // A header that announced 4-byte sizes cannot be followed by larger ones.
    m_written += std::uint64_t(size);
    if (!m_zip64Sizes && m_written >= Max32 - (Max32 >> 6))
        m_failed = true;
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
        m_failed = true;
        return false;
    }

    QByteArray descriptor;
    appendDataDescriptor(descriptor, crc, compressed, size, m_zip64Sizes);
    if (!put(descriptor))
        return false;

    const std::uint64_t headerOffset = 0;
    const bool bigSize = m_always || size >= Max32;
    const bool bigCompressed = m_always || compressed >= Max32;
    const bool bigOffset = m_always || headerOffset >= Max32;
    std::vector<std::uint64_t> fields;
    if (bigSize)
        fields.push_back(size);
    if (bigCompressed)
        fields.push_back(compressed);
    if (bigOffset)
        fields.push_back(headerOffset);
    const QByteArray extra = zip64Extra(fields);
    const bool zip64Entry = m_zip64Sizes || !fields.empty();
    const std::uint16_t needed = zip64Entry ? Version45 : Version20;

    const std::uint64_t directoryOffset = m_offset;
    EntryFields entry;
    entry.needed = needed;
    entry.flags = HasDescriptor;
    entry.modified = m_modified;
    entry.crc = crc;
    entry.compressedSize = field32(compressed, bigCompressed);
    entry.size = field32(size, bigSize);
    entry.name = m_name;
    entry.extra = extra;
    CentralFields where;
    where.madeBy = MadeOnUnix | needed;
    where.internalAttributes = 1; // a text file
    where.externalAttributes = RegularFile644;
    where.localOffset = field32(headerOffset, bigOffset);
    QByteArray central;
    appendCentralRecord(central, entry, where);
    if (!put(central))
        return false;
    const std::uint64_t directorySize = std::uint64_t(central.size());

    const bool bigDirectory = m_always || directoryOffset >= Max32;
    QByteArray end;
    if (zip64Entry || bigDirectory)
        appendZip64End(end, MadeOnUnix | Version45, 1, directorySize, directoryOffset, m_offset);
    appendEnd(end, 1, std::uint32_t(directorySize), field32(directoryOffset, bigDirectory), {});
    return put(end);
}

} // namespace zip
