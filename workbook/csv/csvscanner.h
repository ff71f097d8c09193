// Records and fields of delimited text as ranges of the file's units, before any decoding: the
// one scanner the dialect's detection, the reader and the write-back share, so that all three cut
// a file alike. Records follow RFC 4180 (a field in quotes may hold the delimiter, line breaks and
// doubled quotes); CR LF, LF and CR each end a record. Quoting that RFC 4180 does not allow is
// read as Python's csv module reads it (not strict): a quote inside a field that does not start
// with one is a character of the field; text after a closing quote is kept, up to the delimiter;
// a quoted field still open at the end of the file holds everything up to there.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace workbook::csv {

constexpr unsigned Quote = '"';
constexpr unsigned Cr = '\r';
constexpr unsigned Lf = '\n';

// A file's text as units: bytes (UTF-8, GB18030) or UTF-16 code units in either byte order.
// Positions are counted in units from the start of the text (after any byte-order mark).
struct ByteUnits {
    const unsigned char *data;
    qsizetype size;
    // GB18030: a byte from 0x81 on leads a character of two or four bytes, whose second byte
    // may be 0x7C, the vertical bar; such a character is stepped over whole.
    bool gb18030 = false;
    unsigned operator[](qsizetype i) const { return data[i]; }
};

template <bool BigEndian> struct Utf16Units {
    const unsigned char *data;
    qsizetype size;
    unsigned operator[](qsizetype i) const {
        const unsigned a = data[2 * i], b = data[2 * i + 1];
        return BigEndian ? (a << 8 | b) : (b << 8 | a);
    }
};

// A field as written: begin to end, its quotes included.
struct FieldRange {
    qsizetype begin;
    qsizetype end;
    bool quoted; // it starts with a quote
};

// A record: its content from begin to contentEnd, then its line end (none for a last record
// without one) to end.
struct RecordRange {
    qsizetype begin = 0;
    qsizetype contentEnd = 0;
    qsizetype end = 0;
    bool isEmpty() const { return contentEnd == begin; }
};

template <class Units> class RecordScanner {
public:
    // delimiter 0: the file is one column, no character parts fields.
    RecordScanner(const Units &units, unsigned delimiter) : m_u(units), m_delimiter(delimiter) {
        if constexpr (std::is_same_v<Units, ByteUnits>) {
            std::memset(m_stop, 0, sizeof m_stop);
            m_stop[Cr] = m_stop[Lf] = 1;
            if (delimiter)
                m_stop[delimiter] = 1;
            if (units.gb18030)
                for (unsigned b = 0x81; b <= 0xFE; ++b)
                    m_stop[b] = 2;
        }
    }

    bool atEnd() const { return m_at >= m_u.size; }
    // Whether the last record read ended inside a quoted field, at the end of the file.
    bool endedInQuote() const { return m_openQuote; }

    // The next record, its fields into fields when given (an empty record has none). False at
    // the end of the text.
    bool next(RecordRange &record, std::vector<FieldRange> *fields) {
        if (fields)
            fields->clear();
        if (m_at >= m_u.size)
            return false;
        record.begin = m_at;
        const qsizetype size = m_u.size;
        if (!isLineEnd(m_u[m_at])) {
            for (;;) {
                const qsizetype begin = m_at;
                const bool quoted = m_u[m_at] == Quote;
                if (quoted)
                    skipQuoted();
                skipPlain();
                if (fields)
                    fields->push_back(FieldRange{begin, m_at, quoted});
                if (m_at < size && m_delimiter && m_u[m_at] == m_delimiter) {
                    ++m_at;
                    if (m_at >= size || isLineEnd(m_u[m_at])) { // an empty last field
                        if (fields)
                            fields->push_back(FieldRange{m_at, m_at, false});
                        break;
                    }
                    continue;
                }
                break;
            }
        }
        record.contentEnd = m_at;
        if (m_at < size) {
            const unsigned c = m_u[m_at++];
            if (c == Cr && m_at < size && m_u[m_at] == Lf)
                ++m_at;
        }
        record.end = m_at;
        return true;
    }

private:
    static bool isLineEnd(unsigned c) { return c == Cr || c == Lf; }

    // From an opening quote past its closing one (a doubled quote is a quote of the text), or to
    // the end of the file when it has none.
    void skipQuoted() {
        ++m_at;
        for (;;) {
            if constexpr (std::is_same_v<Units, ByteUnits>) {
                // No byte of a multibyte UTF-8 or GB18030 character is a quote.
                const void *q =
                    std::memchr(m_u.data + m_at, int(Quote), std::size_t(m_u.size - m_at));
                if (!q) {
                    m_at = m_u.size;
                    m_openQuote = true;
                    return;
                }
                m_at = static_cast<const unsigned char *>(q) - m_u.data + 1;
            } else {
                while (m_at < m_u.size && m_u[m_at] != Quote)
                    ++m_at;
                if (m_at >= m_u.size) {
                    m_openQuote = true;
                    return;
                }
                ++m_at;
            }
            if (m_at < m_u.size && m_u[m_at] == Quote) {
                ++m_at;
                continue;
            }
            return;
        }
    }

    // To the delimiter, a line end or the end of the file.
    void skipPlain() {
        m_openQuote = m_openQuote && m_at >= m_u.size;
        if constexpr (std::is_same_v<Units, ByteUnits>) {
            const unsigned char *p = m_u.data + m_at;
            const unsigned char *end = m_u.data + m_u.size;
            for (;;) {
                while (p < end && !m_stop[*p])
                    ++p;
                if (p < end && m_stop[*p] == 2) { // a GB18030 lead byte: the whole character
                    p += end - p > 1 && p[1] >= 0x30 && p[1] <= 0x39 ? 4 : 2;
                    p = p > end ? end : p;
                    continue;
                }
                break;
            }
            m_at = p - m_u.data;
        } else {
            while (m_at < m_u.size) {
                const unsigned c = m_u[m_at];
                if (isLineEnd(c) || (m_delimiter && c == m_delimiter))
                    break;
                ++m_at;
            }
        }
    }

    Units m_u;
    unsigned m_delimiter;
    qsizetype m_at = 0;
    bool m_openQuote = false;
    unsigned char m_stop[256];
};

} // namespace workbook::csv
