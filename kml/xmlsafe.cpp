// Well-formedness of placemark values. Most values are plain text, decided by one scan. Values
// holding markup go through a quick checker that settles the common shapes of HTML typed into a
// description (simple elements and attributes, predefined and numeric references, an unclosed
// <br>, a bare "&"); whatever it cannot settle for certain goes to a real XML parser, which has
// the last word. A list of a million described points therefore needs no parser run per line.
#include "kml/xmlsafe.h"

#include <QVarLengthArray>
#include <QXmlStreamReader>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

enum class Scan { Plain, Markup, Invalid };
enum class Verdict { WellFormed, Malformed, Unsure };

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// One code unit at i by the rules of scan(); returns where the next one starts, or -1 when the
// value holds a character that XML cannot carry.
qsizetype scanUnit(const char16_t *p, qsizetype n, qsizetype i, Scan &result) {
    const char16_t c = p[i];
    if (c > u'>' && c < 0xD800)
        return i + 1;
    if (c < 0x20) {
        if (c != 0x9 && c != 0xA && c != 0xD)
            return -1;
    } else if (c == u'<' || c == u'&') {
        result = Scan::Markup;
    } else if (c == u'>') {
        if (i >= 2 && p[i - 1] == u']' && p[i - 2] == u']')
            result = Scan::Markup;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
        if (c >= 0xDC00 || i + 1 >= n || p[i + 1] < 0xDC00 || p[i + 1] > 0xDFFF)
            return -1;
        return i + 2;
    } else if (c >= 0xFFFE) {
        return -1;
    }
    return i + 1;
}

// Plain: no markup characters, nothing to check further. Markup: needs the checker.
// Invalid: holds a character XML cannot carry at all.
Scan scan(QStringView value) {
    const char16_t *p = value.utf16();
    const qsizetype n = value.size();
    Scan result = Scan::Plain;
    qsizetype i = 0;
#ifdef __SSE2__
    // Eight units at a time. Markup ("<", "&", "]]>") is found with vector compares alone;
    // a block with anything rarer (a control character, a surrogate, U+FFFE or U+FFFF) goes
    // unit by unit.
    const __m128i zero = _mm_setzero_si128();
    const auto equal = [](__m128i v, char16_t c) {
        return _mm_cmpeq_epi16(v, _mm_set1_epi16(short(c)));
    };
    while (i + 8 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i control = _mm_andnot_si128(
            _mm_or_si128(_mm_or_si128(equal(v, 0x9), equal(v, 0xA)), equal(v, 0xD)),
            _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x1F)), zero));
        const __m128i surrogate = _mm_cmpeq_epi16(
            _mm_subs_epu16(_mm_sub_epi16(v, _mm_set1_epi16(short(0xD800))), _mm_set1_epi16(0x7FF)),
            zero);
        const __m128i notCharacter = _mm_andnot_si128(
            _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(short(0xFFFD))), zero),
            _mm_cmpeq_epi16(zero, zero));
        const __m128i greater = equal(v, u'>');
        const bool rare =
            _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control, surrogate), notCharacter)) != 0;
        if (!rare && (i >= 2 || _mm_movemask_epi8(greater) == 0)) {
            if (result == Scan::Plain) {
                const __m128i markup = _mm_or_si128(equal(v, u'<'), equal(v, u'&'));
                __m128i cdataEnd = zero;
                if (_mm_movemask_epi8(greater) != 0) {
                    const __m128i one =
                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i - 1));
                    const __m128i two =
                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i - 2));
                    cdataEnd =
                        _mm_and_si128(greater, _mm_and_si128(equal(one, u']'), equal(two, u']')));
                }
                if (_mm_movemask_epi8(_mm_or_si128(markup, cdataEnd)) != 0)
                    result = Scan::Markup;
            }
            i += 8;
            continue;
        }
        for (const qsizetype end = i + 8; i >= 0 && i < end;)
            i = scanUnit(p, n, i, result);
        if (i < 0)
            return Scan::Invalid;
    }
#endif
    while (i < n) {
        i = scanUnit(p, n, i, result);
        if (i < 0)
            return Scan::Invalid;
    }
    return result;
}

// Replaces characters that XML 1.0 cannot carry (control characters, lone surrogates, U+FFFE,
// U+FFFF) by U+FFFD, so that no value can break the document.
QString onlyXmlChars(QStringView value) {
    QString out;
    out.reserve(value.size());
    const char16_t *p = value.utf16();
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            out.append(QChar(c));
            out.append(QChar(p[++i]));
        } else if (QChar::isSurrogate(c) || !isXmlChar(c)) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(QChar(c));
        }
    }
    return out;
}

bool parsesAsContent(QStringView value) {
    QXmlStreamReader reader(u"<r>" + value + u"</r>");
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.tokenType() == QXmlStreamReader::EntityReference)
            return false;
    }
    return !reader.hasError();
}

// The quick checker. It only answers WellFormed or Malformed where the XML rules leave no
// doubt; names are ASCII without a colon (a colon would bring in namespaces), and anything else
// it meets (comments, CDATA, processing instructions, non-ASCII names, duplicate or unquoted
// attributes, "]]>") makes it Unsure.
class QuickCheck {
public:
    explicit QuickCheck(QStringView value) : m_p(value.utf16()), m_n(value.size()) {}

    Verdict run() {
        QVarLengthArray<QStringView, 16> open;
        while (m_i < m_n) {
            const char16_t c = m_p[m_i];
            if (c == u'<') {
                ++m_i;
                const Verdict v = tag(open);
                if (v != Verdict::WellFormed)
                    return v;
            } else if (c == u'&') {
                const Verdict v = reference();
                if (v != Verdict::WellFormed)
                    return v;
            } else if (c == u'>' && m_i >= 2 && m_p[m_i - 1] == u']' && m_p[m_i - 2] == u']') {
                return Verdict::Unsure;
            } else {
                ++m_i;
            }
        }
        return open.isEmpty() ? Verdict::WellFormed : Verdict::Malformed;
    }

private:
    static bool isNameStart(char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
    }
    static bool isNameChar(char16_t c) {
        return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    }
    static bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

    bool at(char16_t c) const { return m_i < m_n && m_p[m_i] == c; }
    void skipBlanks() {
        while (m_i < m_n && isBlank(m_p[m_i]))
            ++m_i;
    }

    // An ASCII name at the cursor; empty when there is none or when it runs into a character
    // the checker does not judge (a colon, anything beyond ASCII).
    QStringView name(bool &unsure) {
        const qsizetype start = m_i;
        if (m_i >= m_n || !isNameStart(m_p[m_i]))
            return {};
        while (m_i < m_n && isNameChar(m_p[m_i]))
            ++m_i;
        if (m_i < m_n && (m_p[m_i] == u':' || m_p[m_i] >= 0x80))
            unsure = true;
        return QStringView(m_p + start, m_i - start);
    }

    // At "&": a predefined entity or a character reference to a character XML allows. Any
    // other reference breaks the document (no entity is declared), so the answer is certain.
    Verdict reference() {
        ++m_i;
        if (at(u'#'))
            return characterReference() ? Verdict::WellFormed : Verdict::Malformed;
        bool unsure = false;
        const QStringView n = name(unsure);
        if (unsure || !at(u';'))
            return Verdict::Malformed;
        ++m_i;
        const bool predefined =
            n == u"amp" || n == u"lt" || n == u"gt" || n == u"quot" || n == u"apos";
        return predefined ? Verdict::WellFormed : Verdict::Malformed;
    }

    bool characterReference() {
        ++m_i;
        const bool hex = at(u'x');
        if (hex)
            ++m_i;
        char32_t code = 0;
        qsizetype digits = 0;
        for (; m_i < m_n && m_p[m_i] != u';'; ++m_i, ++digits) {
            const char16_t c = m_p[m_i];
            int d;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            else
                return false;
            code = code * (hex ? 16 : 10) + char32_t(d);
            if (code > 0x10FFFF)
                return false;
        }
        if (m_i >= m_n || digits == 0 || !isXmlChar(code))
            return false;
        ++m_i;
        return true;
    }

    // After "<": a start tag, an empty-element tag or an end tag.
    Verdict tag(QVarLengthArray<QStringView, 16> &open) {
        if (m_i >= m_n)
            return Verdict::Malformed;
        const char16_t c = m_p[m_i];
        bool unsure = false;
        if (c == u'/') {
            ++m_i;
            const QStringView n = name(unsure);
            if (unsure || n.isEmpty())
                return Verdict::Unsure;
            skipBlanks();
            if (!at(u'>'))
                return Verdict::Unsure;
            ++m_i;
            if (open.isEmpty() || open.back() != n)
                return Verdict::Malformed;
            open.pop_back();
            return Verdict::WellFormed;
        }
        if (!isNameStart(c)) {
            // "a < b" or "<3": no name can start there. Anything else ("<!", "<?", a
            // non-ASCII name) is left to the parser.
            const bool cannotStartName =
                c < 0x80 && c != u'!' && c != u'?' && c != u':' && !isNameStart(c);
            return cannotStartName ? Verdict::Malformed : Verdict::Unsure;
        }
        const QStringView element = name(unsure);
        if (unsure)
            return Verdict::Unsure;
        QVarLengthArray<QStringView, 8> attributes;
        for (;;) {
            const qsizetype before = m_i;
            skipBlanks();
            if (at(u'>')) {
                ++m_i;
                open.append(element);
                return Verdict::WellFormed;
            }
            if (at(u'/')) {
                ++m_i;
                if (!at(u'>'))
                    return Verdict::Unsure;
                ++m_i;
                return Verdict::WellFormed;
            }
            if (m_i == before) // attributes need a blank before them
                return Verdict::Unsure;
            const QStringView attribute = name(unsure);
            if (unsure || attribute.isEmpty() || attribute == u"xmlns" ||
                attributes.contains(attribute))
                return Verdict::Unsure;
            attributes.append(attribute);
            skipBlanks();
            if (!at(u'='))
                return Verdict::Unsure;
            ++m_i;
            skipBlanks();
            if (!at(u'"') && !at(u'\''))
                return Verdict::Unsure;
            const char16_t quote = m_p[m_i++];
            while (m_i < m_n && m_p[m_i] != quote) {
                if (m_p[m_i] == u'<')
                    return Verdict::Malformed;
                if (m_p[m_i] == u'&') {
                    const Verdict v = reference();
                    if (v != Verdict::WellFormed)
                        return v;
                } else {
                    ++m_i;
                }
            }
            if (m_i >= m_n)
                return Verdict::Malformed;
            ++m_i;
        }
    }

    const char16_t *m_p;
    qsizetype m_n;
    qsizetype m_i = 0;
};

bool wellFormedMarkup(QStringView value) {
    switch (QuickCheck(value).run()) {
    case Verdict::WellFormed:
        return true;
    case Verdict::Malformed:
        return false;
    case Verdict::Unsure:
        break;
    }
    return parsesAsContent(value);
}

QString escaped(QStringView value) {
    QString out;
    out.reserve(value.size() + 16);
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString cdata(QStringView value) {
    QString inner = value.toString();
    inner.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
    return u"<![CDATA[" + inner + u"]]>";
}

// The shared rule: plain values pass, values with characters XML cannot carry are cleaned, and
// what is still not well-formed is changed by repair.
template <typename Repair> QStringView safe(QStringView value, QString &storage, Repair repair) {
    const Scan kind = scan(value);
    if (kind == Scan::Plain)
        return value;
    if (kind == Scan::Invalid) {
        storage = onlyXmlChars(value);
        value = storage;
    }
    if (wellFormedMarkup(value))
        return value;
    storage = repair(value);
    return storage;
}

QString asString(const QString &original, QStringView result, QString &storage) {
    return result.data() == original.data() ? original : storage;
}

} // namespace

namespace xmlsafe {

bool isWellFormedContent(QStringView value) {
    switch (scan(value)) {
    case Scan::Plain:
        return true;
    case Scan::Invalid:
        return false;
    case Scan::Markup:
        return wellFormedMarkup(value);
    }
    return false;
}

QStringView description(QStringView value, QString &storage) {
    return safe(value, storage, cdata);
}

QStringView text(QStringView value, QString &storage) {
    return safe(value, storage, escaped);
}

QString description(const QString &value) {
    QString storage;
    return asString(value, description(QStringView(value), storage), storage);
}

QString text(const QString &value) {
    QString storage;
    return asString(value, text(QStringView(value), storage), storage);
}

} // namespace xmlsafe
