// Reading a run of BIFF record data that goes on in the CONTINUE records after it, as long
// strings and shared string tables do: bytes, numbers and the characters of strings, with the
// BIFF8 rule that characters going on in a CONTINUE start with a flag byte of their own.
#pragma once

#include "workbook/sheetdata.h"
#include "workbook/xls/biffrecords.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace workbook::xls {

class ContinuedData {
public:
    // path names the workbook (as displayPath() gives it) in the message of a string cut short.
    explicit ContinuedData(const QString &path) : m_path(path) {}

    // Adds the next piece: the data of the first record (from some offset), then of each
    // CONTINUE record, in order.
    void add(const char *p, std::uint32_t n) {
        m_segs.push_back(Seg{p, n});
        if (m_segs.size() == 1) {
            m_p = p;
            m_end = p + n;
        }
    }

    bool atEnd() {
        skipEmpty();
        return m_p == m_end;
    }

    std::uint8_t u8() {
        if (m_p == m_end) {
            skipEmpty();
            if (m_p == m_end)
                cutShort();
        }
        return std::uint8_t(*m_p++);
    }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return std::uint16_t(lo | u8() << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | std::uint32_t(u16()) << 16;
    }
    void skip(std::uint64_t n);

    // An XLUnicodeString's characters, appended to the pool's open string: when they continue
    // in the next record, it starts with a flag byte that may switch between one and two bytes
    // per character.
    void characters(std::uint32_t count, bool wide, StringPool &pool);

    // A plain string (no runs, no phonetic data) lying whole in the current record: nearly
    // every string of a shared string table. False, with nothing read, for any other.
    bool plainString(StringPool &pool, std::uint32_t &index) {
        if (m_end - m_p < 3)
            return false;
        const std::uint32_t cch = xls::u16(m_p);
        const std::uint8_t flags = std::uint8_t(m_p[2]);
        if (flags & 0x0C)
            return false;
        const bool wide = flags & 1;
        const std::uint32_t bytes = wide ? cch * 2 : cch;
        if (bytes > std::uint32_t(m_end - m_p) - 3)
            return false;
        if (wide)
            pool.appendUtf16Le(m_p + 3, cch);
        else
            pool.appendLatin1(m_p + 3, cch);
        index = pool.finish();
        m_p += 3 + bytes;
        return true;
    }

private:
    [[noreturn]] void cutShort() const;
    void skipEmpty() {
        while (m_p == m_end && m_seg + 1 < m_segs.size()) {
            const Seg &s = m_segs[++m_seg];
            m_p = s.p;
            m_end = s.p + s.n;
        }
    }

    struct Seg {
        const char *p;
        std::uint32_t n;
    };
    const QString &m_path;
    std::vector<Seg> m_segs;
    std::size_t m_seg = 0;
    const char *m_p = nullptr;
    const char *m_end = nullptr;
};

} // namespace workbook::xls
