// A check of a rebuilt Workbook stream as it is written, apart from the code that laid it out.
#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <vector>

namespace workbook::xls {

// Whether a rebuilt Workbook stream is still a chain of records with every sheet's BOF where its
// BOUNDSHEET says, or an error of ours would be written into the user's file: one walk over the
// record headers, apart from the code that laid the stream out. The stream is fed a piece at a
// time as it is written, in pieces of any size.
class RecordChainCheck {
public:
    void feed(QByteArrayView piece);
    // True when all that was fed is such a chain (padding records and zero bytes after the last
    // record allowed).
    bool finish() const;

private:
    void header(std::uint32_t at, std::uint16_t type, std::uint16_t length);

    std::uint64_t m_pos = 0;  // bytes fed so far
    std::uint64_t m_next = 0; // where the next record header starts
    char m_head[4] = {};
    int m_headFill = 0;
    char m_offset[4] = {}; // a BOUNDSHEET's sheet offset, being read
    int m_offsetFill = -1; // -1: none is being read
    bool m_bad = false;
    std::vector<std::uint32_t> m_sheets; // BOF offsets named by BOUNDSHEET
    std::size_t m_found = 0;
    int m_depth = 0;
    bool m_inGlobals = true;
};

} // namespace workbook::xls
