// Record data continued over CONTINUE records.
#include "workbook/xls/biffstrings.h"

#include "workbook/xls/xlserrors.h"

#include <algorithm>

namespace workbook::xls {

void ContinuedData::cutShort() const {
    damaged(m_path, "a string runs past the end of its record");
}

void ContinuedData::skip(std::uint64_t n) {
    while (n > 0) {
        skipEmpty();
        if (m_p == m_end)
            cutShort();
        const std::uint64_t take = std::min<std::uint64_t>(n, std::uint64_t(m_end - m_p));
        m_p += take;
        n -= take;
    }
}

void ContinuedData::characters(std::uint32_t count, bool wide, StringPool &pool) {
    while (count > 0) {
        if (m_p == m_end) {
            if (m_seg + 1 >= m_segs.size() || m_segs[m_seg + 1].n == 0)
                cutShort();
            const Seg &s = m_segs[++m_seg];
            wide = (std::uint8_t(s.p[0]) & 1) != 0;
            m_p = s.p + 1;
            m_end = s.p + s.n;
        }
        const std::uint32_t bytes = std::uint32_t(m_end - m_p);
        const std::uint32_t take = std::min(wide ? bytes / 2 : bytes, count);
        if (take == 0) {
            m_p = m_end; // an odd byte left where two are needed
            continue;
        }
        if (wide)
            pool.appendUtf16Le(m_p, take);
        else
            pool.appendLatin1(m_p, take);
        m_p += wide ? take * 2 : take;
        count -= take;
    }
}

} // namespace workbook::xls
