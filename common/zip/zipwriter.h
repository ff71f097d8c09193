// A zip archive that holds one deflated file, written front to back in one pass: the data is
// compressed as it comes, on every core, and its checksum and sizes follow it in a data
// descriptor, so nothing is held back, and nothing is written twice or sought back to.
#pragma once

#include "common/paralleldeflate.h"
#include "common/zip/ziprecords.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <functional>

namespace zip {

class ZipWriter {
public:
    // Receives the archive's bytes in order; false stops the writing.
    using Output = std::function<bool(const char *data, qsizetype size)>;
    // AsNeeded: zip64 records where a size or an offset passes 4 GiB (and the entry's own header
    // announces them when sizeBound says it may). Always: zip64 records everywhere, which every
    // zip64 reader takes for an archive of any size.
    enum class Zip64 { AsNeeded, Always };

    // entryName: the file's name in the archive (ASCII). sizeBound: the most bytes the file can
    // have. modified: the file's time as the archive lists it. Throws std::bad_alloc when the
    // compressor cannot have its memory.
    ZipWriter(Output output, const QByteArray &entryName, std::uint64_t sizeBound,
              Zip64 zip64 = Zip64::AsNeeded,
              const QDateTime &modified = QDateTime::currentDateTime());
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    // Adds the file's bytes. False once the output has failed, or when the file nears 4 GiB
    // although sizeBound said it would not (its header has no room for larger sizes).
    bool write(const char *data, qsizetype size);
    // Ends the file and writes the archive's directory. False when the output failed.
    bool finish();

private:
    bool put(const QByteArray &bytes);
    bool begin();

    Output m_output;
    QByteArray m_name;
    bool m_always;
    bool m_zip64Sizes; // the entry's header announces 8-byte sizes in the data descriptor
    DosTime m_modified;
    std::uint64_t m_offset = 0;  // bytes of the archive written so far
    std::uint64_t m_written = 0; // bytes of the file given so far
    bool m_begun = false;
    bool m_failed = false;
    ParallelDeflate m_deflate;
};

} // namespace zip
