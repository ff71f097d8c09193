// The record chain check: record headers followed across pieces of any size.
#include "workbook/xls/recordchaincheck.h"

#include "workbook/xls/biffrecords.h"

#include <algorithm>

namespace workbook::xls {

void RecordChainCheck::feed(QByteArrayView piece) {
    const char *p = piece.constData();
    qsizetype n = piece.size();
    while (n > 0 && !m_bad) {
        if (m_pos < m_next) { // a record's data
            const qsizetype take =
                qsizetype(std::min<std::uint64_t>(std::uint64_t(n), m_next - m_pos));
            for (qsizetype i = 0; i < take && m_offsetFill >= 0 && m_offsetFill < 4; ++i)
                m_offset[m_offsetFill++] = p[i];
            if (m_offsetFill == 4) {
                m_sheets.push_back(u32(m_offset));
                m_offsetFill = -1;
            }
            p += take;
            n -= take;
            m_pos += std::uint64_t(take);
            continue;
        }
        if (m_headFill == 0 && n >= 4) { // a whole header here: the usual case
            header(std::uint32_t(m_pos), u16(p), u16(p + 2));
            p += 4;
            n -= 4;
            m_pos += 4;
            continue;
        }
        m_head[m_headFill++] = *p++;
        --n;
        ++m_pos;
        if (m_headFill == 4) {
            m_headFill = 0;
            header(std::uint32_t(m_pos - 4), u16(m_head), u16(m_head + 2));
        }
    }
}

void RecordChainCheck::header(std::uint32_t at, std::uint16_t type, std::uint16_t length) {
    if (isPadding(type, length)) { // between records, or the stream's trailing zeros
        m_next = std::uint64_t(at) + 4;
        return;
    }
    m_offsetFill = m_inGlobals && type == rec::BoundSheet && length >= 4 ? 0 : -1;
    if (!m_inGlobals && std::find(m_sheets.begin(), m_sheets.end(), at) != m_sheets.end()) {
        if (type != rec::Bof || m_depth != 0)
            m_bad = true;
        ++m_found;
    }
    if (type == rec::Bof)
        ++m_depth;
    else if (type == rec::Eof && --m_depth == 0)
        m_inGlobals = false;
    m_next = std::uint64_t(at) + 4 + length;
}

bool RecordChainCheck::finish() const {
    if (m_bad || m_pos < m_next)
        return false;
    for (int i = 0; i < m_headFill; ++i) // bytes too few for a header can only be padding
        if (m_head[i] != 0)
            return false;
    return m_found == m_sheets.size() && !m_sheets.empty();
}

} // namespace workbook::xls
