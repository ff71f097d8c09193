// UTF-8 through Qt's decoder, UTF-16 by its units, GB18030 through iconv one field at a time.
#include "workbook/csv/csvtext.h"

#include <QtEndian>

#include <cerrno>

#include <iconv.h>

namespace workbook::csv {

namespace {

const char *const NativeUtf16 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE";

iconv_t handle(void *cd) {
    return static_cast<iconv_t>(cd);
}

// The bytes in, converted through cd into out; false at the first sequence that does not convert,
// with *failedAt its offset in the input and out what converted before it.
bool convert(iconv_t cd, const char *in, std::size_t inSize, QByteArray &out,
             std::size_t *failedAt = nullptr) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(qsizetype(inSize * 2 + 16));
    char *src = const_cast<char *>(in);
    std::size_t left = inSize;
    qsizetype used = 0;
    bool ok = true;
    while (left > 0) {
        char *dst = out.data() + used;
        std::size_t room = std::size_t(out.size() - used);
        const std::size_t r = iconv(cd, &src, &left, &dst, &room);
        used = dst - out.data();
        if (r != std::size_t(-1))
            continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (failedAt)
            *failedAt = std::size_t(src - in);
        ok = false;
        break;
    }
    out.resize(used);
    return ok;
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The first character no encoding of a text file holds: U+0000 or a lone surrogate.
qsizetype firstUnwritable(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0)
            return i;
        if (isHigh(c)) {
            if (i + 1 < text.size() && isLow(text[i + 1].unicode()))
                ++i;
            else
                return i;
        } else if (isLow(c)) {
            return i;
        }
    }
    return -1;
}

// Well-formed UTF-8 at p, n bytes, to UTF-16 at out; returns the end, or null at the first
// sequence that is not well-formed (overlong, a surrogate, past U+10FFFF, cut short), which is then
// left to Qt's decoder. A file read as UTF-8 is valid throughout and its fields are cut at ASCII
// bytes, so that this is the usual way.
char16_t *decodeWellFormed(const unsigned char *p, qsizetype n, char16_t *out) {
    const unsigned char *const end = p + n;
    while (p < end) {
        const unsigned b = *p;
        if (b < 0x80) {
            *out++ = char16_t(b);
            ++p;
            continue;
        }
        const int length = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc2 ? 2 : 0;
        if (length == 0 || b > 0xf4 || end - p < length)
            return nullptr;
        char32_t u = b & (0x7f >> length);
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xc0) != 0x80)
                return nullptr;
            u = (u << 6) | (p[i] & 0x3f);
        }
        if ((length == 3 && (u < 0x800 || (u >= 0xd800 && u <= 0xdfff))) ||
            (length == 4 && (u < 0x10000 || u > 0x10ffff)))
            return nullptr;
        if (u >= 0x10000) {
            *out++ = QChar::highSurrogate(u);
            *out++ = QChar::lowSurrogate(u);
        } else {
            *out++ = char16_t(u);
        }
        p += length;
    }
    return out;
}

} // namespace

FieldDecoder::FieldDecoder(Encoding encoding)
    : m_encoding(encoding), m_utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless) {
    if (encoding == Encoding::Gb18030) {
        const iconv_t cd = iconv_open(NativeUtf16, "GB18030");
        if (cd != iconv_t(-1))
            m_iconv = cd;
    }
}

FieldDecoder::~FieldDecoder() {
    if (m_iconv)
        iconv_close(handle(m_iconv));
}

void FieldDecoder::append(StringPool &pool, const unsigned char *data, qsizetype begin,
                          qsizetype end) {
    const qsizetype n = end - begin;
    if (n <= 0)
        return;
    switch (m_encoding) {
    case Encoding::Utf8: {
        // Numbers and other ASCII fields, most of a table of coordinates, widened as they stand.
        const unsigned char *p = data + begin;
        qsizetype i = 0;
        while (i < n && p[i] < 0x80)
            ++i;
        if (i == n) {
            pool.appendLatin1(reinterpret_cast<const char *>(p), std::uint32_t(n));
            return;
        }
        if (m_buffer.size() < std::size_t(n))
            m_buffer.resize(std::size_t(n));
        // Qt's decoder drops a mark that begins the text it is given: a field that begins with
        // one goes to it, as does any sequence that is not well-formed.
        const bool mark = n >= 3 && p[0] == 0xef && p[1] == 0xbb && p[2] == 0xbf;
        if (const char16_t *last = mark ? nullptr : decodeWellFormed(p, n, m_buffer.data())) {
            pool.append(m_buffer.data(), std::uint32_t(last - m_buffer.data()));
            return;
        }
        QChar *out = reinterpret_cast<QChar *>(m_buffer.data());
        const QChar *last = m_utf8.appendToBuffer(
            out, QByteArrayView(reinterpret_cast<const char *>(data) + begin, n));
        pool.append(m_buffer.data(), std::uint32_t(last - out));
        return;
    }
    case Encoding::Utf16Le:
        pool.appendUtf16Le(reinterpret_cast<const char *>(data) + 2 * begin, std::uint32_t(n));
        return;
    case Encoding::Utf16Be:
        if (m_buffer.size() < std::size_t(n))
            m_buffer.resize(std::size_t(n));
        qFromBigEndian<quint16>(data + 2 * begin, n, m_buffer.data());
        pool.append(m_buffer.data(), std::uint32_t(n));
        return;
    case Encoding::Gb18030:
        break;
    }
    // GB18030: one character for each sequence iconv does not know, and on after it.
    const char *in = reinterpret_cast<const char *>(data) + begin;
    std::size_t left = std::size_t(n);
    QByteArray out;
    const char16_t replacement = 0xFFFD;
    while (left > 0) {
        std::size_t failedAt = 0;
        const bool whole = m_iconv && convert(handle(m_iconv), in, left, out, &failedAt);
        pool.append(reinterpret_cast<const char16_t *>(out.constData()),
                    std::uint32_t(out.size() / 2));
        if (whole)
            return;
        pool.append(&replacement, 1);
        failedAt = m_iconv ? failedAt : 0;
        in += failedAt + 1;
        left -= failedAt + 1;
    }
}

Encoded encodeText(QStringView text, Encoding encoding) {
    Encoded e;
    e.bad = firstUnwritable(text);
    if (e.bad >= 0)
        return e;
    switch (encoding) {
    case Encoding::Utf8:
        e.bytes = text.toUtf8();
        return e;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        e.bytes.resize(text.size() * 2);
        auto *out = reinterpret_cast<uchar *>(e.bytes.data());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (encoding == Encoding::Utf16Le)
                qToLittleEndian<quint16>(c, out + 2 * i);
            else
                qToBigEndian<quint16>(c, out + 2 * i);
        }
        return e;
    }
    case Encoding::Gb18030:
        break;
    }
    const iconv_t cd = iconv_open("GB18030", NativeUtf16);
    if (cd == iconv_t(-1)) {
        e.bad = 0;
        return e;
    }
    std::size_t failedAt = 0;
    if (!convert(cd, reinterpret_cast<const char *>(text.utf16()), std::size_t(text.size()) * 2,
                 e.bytes, &failedAt))
        e.bad = qsizetype(failedAt / 2);
    iconv_close(cd);
    return e;
}

QString characterName(QStringView text, qsizetype at) {
    char32_t code = text[at].unicode();
    if (isHigh(char16_t(code)) && at + 1 < text.size() && isLow(text[at + 1].unicode()))
        code = QChar::surrogateToUcs4(text[at], text[at + 1]);
    return QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
}

bool gb18030RoundTrips(QByteArrayView bytes) {
    const iconv_t in = iconv_open(NativeUtf16, "GB18030");
    const iconv_t out = iconv_open("GB18030", NativeUtf16);
    bool same = false;
    QByteArray text, back;
    if (in != iconv_t(-1) && out != iconv_t(-1))
        same = convert(in, bytes.data(), std::size_t(bytes.size()), text) &&
               convert(out, text.constData(), std::size_t(text.size()), back) && back == bytes;
    if (in != iconv_t(-1))
        iconv_close(in);
    if (out != iconv_t(-1))
        iconv_close(out);
    return same;
}

} // namespace workbook::csv
