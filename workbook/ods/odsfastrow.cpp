// Each check below is one the scanner makes of the same bytes (xmlscanner.cpp): where the scanner
// would fail, or the row holds anything more than cells and plain paragraphs (spans, spaces
// written as <text:s/>, comments, CDATA, namespace declarations, text between cells), the row is
// declined rather than read differently.
#include "workbook/ods/odsfastrow.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace workbook::ods {

namespace {

using Attribute = xml::Scanner::Attribute;

bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

bool endsName(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '>' || c == '=';
}

// The first byte from p on that ends a name in a tag, or end; sixteen bytes at a time where SSE2
// is there (names such as "table:number-columns-repeated" are most of a row's bytes).
const char *nameEnd(const char *p, const char *end) {
#ifdef __SSE2__
    const __m128i blank = _mm_set1_epi8(' '), slash = _mm_set1_epi8('/'),
                  greater = _mm_set1_epi8('>'), equals = _mm_set1_epi8('=');
    for (; end - p >= 16; p += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(b, blank), b); // b <= ' ', unsigned
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(low, _mm_cmpeq_epi8(b, slash)),
                         _mm_or_si128(_mm_cmpeq_epi8(b, greater), _mm_cmpeq_epi8(b, equals)));
        if (const int mask = _mm_movemask_epi8(stop))
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    while (p < end && !endsName(*p))
        ++p;
    return p;
}

// The first quote of that kind or "<" from p on, or end.
const char *valueEnd(const char *p, const char *end, char quote) {
#ifdef __SSE2__
    const __m128i q = _mm_set1_epi8(quote), lt = _mm_set1_epi8('<');
    for (; end - p >= 16; p += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (const int mask =
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(b, q), _mm_cmpeq_epi8(b, lt))))
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    while (p < end && *p != quote && *p != '<')
        ++p;
    return p;
}

const char *skipSpaces(const char *p, const char *end) {
    while (p < end && isSpace(*p))
        ++p;
    return p;
}

// Equal bytes, a word at a time: names are short, and a call to memcmp for each costs more than
// the comparison.
bool sameBytes(const char *a, const char *b, qsizetype n) {
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y)
            return false;
    }
    for (; n > 0; ++a, ++b, --n)
        if (*a != *b)
            return false;
    return true;
}

// Whether the tag at p (its "<", or "</" when close) is named name.
bool named(const char *p, const char *end, QByteArrayView name, bool close) {
    p += close ? 2 : 1;
    if (end - p <= name.size() || !sameBytes(p, name.data(), name.size()))
        return false;
    const char c = p[name.size()];
    return isSpace(c) || c == '>' || c == '/';
}

} // namespace

FastRowReader::FastRowReader(QByteArray row, QByteArray cell, QByteArray covered,
                             QByteArray paragraph)
    : m_row(std::move(row)), m_cell(std::move(cell)), m_covered(std::move(covered)),
      m_paragraph(std::move(paragraph)) {}

const char *FastRowReader::read(const char *p, const char *end) {
    m_rowAttributes.clear();
    m_attributes.clear();
    m_cells.clear();
    m_paragraphs.clear();
    if (end - p < 2 || *p != '<' || !named(p, end, m_row, false))
        return nullptr;
    bool empty = false;
    p = tag(p, end, m_row, m_rowAttributes, empty);
    if (!p || empty)
        return p;
    for (;;) {
        p = skipSpaces(p, end);
        if (end - p < 2 || *p != '<')
            return nullptr;
        if (p[1] == '/')
            return endTag(p, end, m_row);
        FastCell c;
        c.covered = !named(p, end, m_cell, false);
        const QByteArrayView name = c.covered ? m_covered : m_cell;
        if (c.covered && !named(p, end, m_covered, false))
            return nullptr;
        c.attributes = int(m_attributes.size());
        p = tag(p, end, name, m_attributes, c.empty);
        if (!p)
            return nullptr;
        c.attributeCount = int(m_attributes.size()) - c.attributes;
        c.paragraphs = int(m_paragraphs.size());
        if (!c.empty && !(p = cellContent(p, end, name)))
            return nullptr;
        c.paragraphCount = int(m_paragraphs.size()) - c.paragraphs;
        m_cells.push_back(c);
    }
}

// The start tag at p, whose name the caller has checked: its attributes appended to into; past
// its ">".
const char *FastRowReader::tag(const char *p, const char *end, QByteArrayView name,
                               std::vector<Attribute> &into, bool &empty) const {
    const std::size_t first = into.size();
    p += 1 + name.size();
    for (;;) {
        const char *before = p;
        p = skipSpaces(p, end);
        if (p == end)
            return nullptr;
        if (*p == '>') {
            empty = false;
            return p + 1;
        }
        if (*p == '/') {
            if (p + 1 == end || p[1] != '>')
                return nullptr;
            empty = true;
            return p + 2;
        }
        if (p == before)
            return nullptr;
        const char *nameStart = p;
        p = nameEnd(p, end);
        const QByteArrayView attributeName(nameStart, p - nameStart);
        if (attributeName.isEmpty() ||
            (attributeName.size() >= 5 && sameBytes(nameStart, "xmlns", 5)))
            return nullptr;
        p = skipSpaces(p, end);
        if (p == end || *p != '=')
            return nullptr;
        p = skipSpaces(p + 1, end);
        if (p == end || (*p != '"' && *p != '\''))
            return nullptr;
        const char quote = *p++;
        const char *close = valueEnd(p, end, quote);
        if (close == end || *close == '<')
            return nullptr;
        for (std::size_t i = first; i < into.size(); ++i)
            if (into[i].name.size() == attributeName.size() &&
                sameBytes(into[i].name.data(), nameStart, attributeName.size()))
                return nullptr;
        into.push_back(Attribute{attributeName, QByteArrayView(p, close - p)});
        p = close + 1;
    }
}

// The end tag at p ("</"), which must be name's; past its ">".
const char *FastRowReader::endTag(const char *p, const char *end, QByteArrayView name) const {
    if (!named(p, end, name, true))
        return nullptr;
    p = skipSpaces(p + 2 + name.size(), end);
    return p < end && *p == '>' ? p + 1 : nullptr;
}

// A cell's paragraphs, each plain text or empty, with white space between them, to past the
// cell's end tag.
const char *FastRowReader::cellContent(const char *p, const char *end, QByteArrayView name) {
    for (;;) {
        p = skipSpaces(p, end);
        if (end - p < 2 || *p != '<')
            return nullptr;
        if (p[1] == '/')
            return endTag(p, end, name);
        if (!named(p, end, m_paragraph, false))
            return nullptr;
        bool empty = false;
        m_scratch.clear();
        if (!(p = tag(p, end, m_paragraph, m_scratch, empty)))
            return nullptr;
        if (empty) {
            m_paragraphs.push_back(QByteArrayView());
            continue;
        }
        const char *text = p;
        p = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
        if (!p || end - p < 2 || p[1] != '/')
            return nullptr; // spans, spaces, tabs, notes: the scanner reads them
        m_paragraphs.push_back(QByteArrayView(text, p - text));
        if (!(p = endTag(p, end, m_paragraph)))
            return nullptr;
    }
}

} // namespace workbook::ods
