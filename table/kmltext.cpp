// UTF-8 from UTF-16 a character at a time, with the ASCII of a KML document's markup and numbers
// taking the short way; a lone surrogate is left to Qt's encoder, so that the bytes stay those
// QString::toUtf8 makes.
#include "table/kmltext.h"

#include <QByteArray>

#include <algorithm>
#include <charconv>

namespace table {

void KmlText::grow(qsizetype size) {
    const qsizetype capacity = std::max(m_size + size, std::max<qsizetype>(m_capacity * 2, 4096));
    std::unique_ptr<char[]> data(new char[std::size_t(capacity)]);
    if (m_size)
        std::memcpy(data.get(), m_data.get(), std::size_t(m_size));
    m_data = std::move(data);
    m_capacity = capacity;
}

namespace {

// Encodes text[i] (and its low surrogate) at out; returns the end and moves i past it. out has
// room for four bytes; a lone surrogate goes to slow, which Qt encodes.
inline char *encode(QStringView text, qsizetype &i, char *out, QByteArray &slow) {
    const char16_t c = text[i].unicode();
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xc0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3f));
    } else if (c < 0xd800 || c > 0xdfff) {
        *out++ = char(0xe0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3f));
        *out++ = char(0x80 | (c & 0x3f));
    } else if (c < 0xdc00 && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        const char32_t u = QChar::surrogateToUcs4(c, text[i + 1].unicode());
        ++i;
        *out++ = char(0xf0 | (u >> 18));
        *out++ = char(0x80 | ((u >> 12) & 0x3f));
        *out++ = char(0x80 | ((u >> 6) & 0x3f));
        *out++ = char(0x80 | (u & 0x3f));
    } else {
        slow = text.mid(i, 1).toUtf8();
    }
    ++i;
    return out;
}

} // namespace

void KmlText::appendUtf8(QStringView text) {
    char *out = room(3 * text.size());
    QByteArray slow;
    for (qsizetype i = 0; i < text.size();) {
        out = encode(text, i, out, slow);
        if (!slow.isEmpty()) { // at most three bytes, as the character's own room
            std::memcpy(out, slow.constData(), std::size_t(slow.size()));
            out += slow.size();
            slow.clear();
        }
    }
    m_size = out - m_data.get();
}

void KmlText::appendEscaped(QStringView text, bool attribute) {
    // "&quot;" is the longest that one unit becomes.
    char *out = room(6 * text.size());
    QByteArray slow;
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (c < 0x40) {
            const char *entity = c == u'&'                                            ? "&amp;"
                                 : c == u'<'                                          ? "&lt;"
                                 : c == u'>'                                          ? "&gt;"
                                 : attribute && c == u'"'                             ? "&quot;"
                                 : c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' ? ""
                                                                                      : nullptr;
            if (entity) {
                const std::size_t n = std::strlen(entity);
                std::memcpy(out, entity, n);
                out += n;
                ++i;
                continue;
            }
        }
        out = encode(text, i, out, slow);
        if (!slow.isEmpty()) {
            std::memcpy(out, slow.constData(), std::size_t(slow.size()));
            out += slow.size();
            slow.clear();
        }
    }
    m_size = out - m_data.get();
}

void KmlText::appendNumber(double value) {
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error == std::errc())
        append(buffer, end - buffer);
}

} // namespace table
