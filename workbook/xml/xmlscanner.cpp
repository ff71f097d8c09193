// The scanner works on the bytes in place: a tag is found with memchr, its name and attributes
// are views, and nothing is decoded or allocated per token unless asked for.
#include "workbook/xml/xmlscanner.h"

#include <QStringDecoder>

#include <cstring>

namespace workbook::xml {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// Ends a name: white space, "/", ">", "=" (and anything below a blank).
bool endsName(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '>' || c == '=';
}

// Equal bytes, without a call for the short names of a tag.
inline bool same(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a.data()[i] != b.data()[i])
            return false;
    return true;
}

const char *find(const char *from, const char *end, char c) {
    return static_cast<const char *>(std::memchr(from, c, std::size_t(end - from)));
}

QByteArrayView afterColon(QByteArrayView name) {
    const qsizetype colon = name.indexOf(':');
    return colon < 0 ? name : name.sliced(colon + 1);
}

QByteArrayView beforeColon(QByteArrayView name) {
    const qsizetype colon = name.indexOf(':');
    return colon < 0 ? QByteArrayView() : name.first(colon);
}

void appendUtf8(QByteArray &out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

XmlError::XmlError(int line, const QString &problem)
    : DamagedFile(
          QStringLiteral("a part is not well-formed XML (line %1: %2)").arg(line).arg(problem)),
      line(line), problem(problem) {}

QString XmlError::text() const {
    return QStringLiteral("line %1: %2").arg(line).arg(problem);
}

QByteArrayView Scanner::Attribute::localName() const {
    return afterColon(name);
}

QByteArrayView Scanner::Attribute::prefix() const {
    return beforeColon(name);
}

Scanner::Scanner(QByteArrayView document) : m_doc(document.data()), m_size(document.size()) {
    if (m_size >= 3 && std::memcmp(m_doc, "\xEF\xBB\xBF", 3) == 0)
        m_pos = 3;
    m_open.reserve(32);
    m_attributes.reserve(8);
}

int Scanner::lineAt(qsizetype at) const {
    int line = 1;
    for (const char *p = m_doc, *end = m_doc + std::min(at, m_size); (p = find(p, end, '\n')); ++p)
        ++line;
    return line;
}

void Scanner::fail(const char *what) const {
    fail(QString::fromLatin1(what));
}

void Scanner::fail(const QString &what) const {
    throw XmlError(lineAt(m_pos), what);
}

QByteArrayView Scanner::localName() const {
    return m_colon < 0 ? m_name : m_name.sliced(m_colon + 1);
}

QByteArrayView Scanner::prefix() const {
    return m_colon < 0 ? QByteArrayView() : m_name.first(m_colon);
}

void Scanner::setName(QByteArrayView name) {
    m_name = name;
    const void *colon = std::memchr(name.data(), ':', std::size_t(name.size()));
    m_colon = colon ? static_cast<const char *>(colon) - name.data() : -1;
}

namespace {
std::string_view key(QByteArrayView v) {
    return std::string_view(v.data(), std::size_t(v.size()));
}
} // namespace

QByteArrayView Scanner::resolve(QByteArrayView prefix) const {
    if (m_lastValid && same(prefix, m_lastPrefix))
        return m_lastUri;
    QByteArrayView uri;
    const auto it = m_bound.find(key(prefix));
    if (it != m_bound.end())
        uri = m_namespaces[std::size_t(it->second)].uri;
    else if (prefix == "xml")
        uri = "http://www.w3.org/XML/1998/namespace";
    m_lastPrefix = prefix;
    m_lastUri = uri;
    m_lastValid = true;
    return uri;
}

void Scanner::bind(QByteArrayView prefix, QByteArrayView uri, int depth) {
    const auto [it, fresh] = m_bound.try_emplace(key(prefix), std::ptrdiff_t(m_namespaces.size()));
    m_namespaces.push_back(Namespace{prefix, uri, depth, fresh ? -1 : it->second});
    it->second = std::ptrdiff_t(m_namespaces.size()) - 1;
    m_lastValid = false;
}

void Scanner::unbindDeeperThan(int depth) {
    while (!m_namespaces.empty() && m_namespaces.back().depth > depth) {
        const Namespace &n = m_namespaces.back();
        if (n.shadowed < 0)
            m_bound.erase(key(n.prefix));
        else
            m_bound[key(n.prefix)] = n.shadowed;
        m_namespaces.pop_back();
        m_lastValid = false;
    }
}

// Few attributes are compared with those before them, many through a set of their names.
void Scanner::checkUnique(QByteArrayView name) {
    constexpr std::size_t Few = 16;
    const std::size_t n = m_attributes.size();
    if (n < Few) {
        for (const Attribute &a : m_attributes)
            if (same(a.name, name))
                fail("an attribute appears twice in one tag");
        return;
    }
    if (n == Few) {
        m_attributeNames.clear();
        for (const Attribute &a : m_attributes)
            m_attributeNames.insert(key(a.name));
    }
    if (!m_attributeNames.insert(key(name)).second)
        fail("an attribute appears twice in one tag");
}

QByteArrayView Scanner::namespaceUri() const {
    return resolve(prefix());
}

QByteArrayView Scanner::attributeNamespace(const Attribute &a) const {
    const QByteArrayView p = a.prefix();
    return p.isEmpty() ? QByteArrayView() : resolve(p);
}

bool Scanner::attribute(QByteArrayView name, QByteArrayView &raw) const {
    for (const Attribute &a : m_attributes)
        if (same(a.name, name)) {
            raw = a.raw;
            return true;
        }
    return false;
}

Scanner::Token Scanner::next() {
    if (m_token == Token::EndElement) // the namespaces the element declared stayed for its end
        unbindDeeperThan(int(m_open.size()));
    if (m_pendingEnd) {
        m_pendingEnd = false;
        setName(m_open.back());
        m_open.pop_back();
        m_begin = m_end;
        return m_token = Token::EndElement;
    }
    m_emptyElement = false;
    const char *end = m_doc + m_size;
    for (;;) {
        if (m_pos >= m_size) {
            if (!m_open.empty())
                fail("the document ends inside an element");
            if (!m_rootSeen)
                fail("the document has no root element");
            m_begin = m_end = m_size;
            return m_token = Token::EndDocument;
        }
        const char *p = m_doc + m_pos;
        if (*p != '<') {
            const char *lt = find(p, end, '<');
            const qsizetype stop = lt ? lt - m_doc : m_size;
            m_text = QByteArrayView(p, stop - m_pos);
            if (m_open.empty()) {
                if (!isWhitespace())
                    fail("there is text outside the root element");
                m_pos = stop;
                continue;
            }
            m_cdata = false;
            m_begin = m_pos;
            m_end = m_pos = stop;
            return m_token = Token::Text;
        }
        if (m_size - m_pos < 2)
            fail("the document ends inside a tag");
        switch (p[1]) {
        case '/':
            return endTag();
        case '!':
            if (m_size - m_pos >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0 && !m_open.empty()) {
                const QByteArrayView rest(p + 9, end - p - 9);
                const qsizetype close = rest.indexOf("]]>");
                if (close < 0)
                    fail("a CDATA section is not closed");
                m_text = rest.first(close);
                m_cdata = true;
                m_begin = m_pos;
                m_end = m_pos = (p + 9 + close + 3) - m_doc;
                return m_token = Token::Text;
            }
            markup();
            continue;
        case '?': {
            const qsizetype close = QByteArrayView(p + 2, end - p - 2).indexOf("?>");
            if (close < 0)
                fail("a processing instruction is not closed");
            m_pos += 2 + close + 2;
            continue;
        }
        default:
            return startTag();
        }
    }
}

void Scanner::markup() {
    const char *p = m_doc + m_pos;
    const QByteArrayView rest(p, m_size - m_pos);
    if (rest.startsWith("<!--")) {
        const qsizetype close = rest.sliced(4).indexOf("-->");
        if (close < 0)
            fail("a comment is not closed");
        m_pos += 4 + close + 3;
        return;
    }
    if (rest.startsWith("<!DOCTYPE"))
        fail("the document declares a document type, which is not allowed");
    fail("there is markup that is not XML");
}

Scanner::Token Scanner::startTag() {
    if (m_rootSeen && m_open.empty())
        fail("there is a second root element");
    if (int(m_open.size()) >= MaxDepth)
        fail(QStringLiteral("elements nest deeper than %1 levels").arg(MaxDepth));
    const char *end = m_doc + m_size;
    const char *p = m_doc + m_pos + 1;
    const char *nameStart = p;
    while (p < end && !endsName(*p))
        ++p;
    if (p == nameStart)
        fail("a tag has no name");
    setName(QByteArrayView(nameStart, p - nameStart));
    m_attributes.clear();
    const int depth = int(m_open.size()) + 1;
    for (;;) {
        const char *before = p;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            fail("the document ends inside a tag");
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/') {
            if (p + 1 == end || p[1] != '>')
                fail("a tag is not closed");
            p += 2;
            m_emptyElement = m_pendingEnd = true;
            break;
        }
        if (p == before)
            fail("attributes are not separated by white space");
        const char *attrStart = p;
        while (p < end && !endsName(*p))
            ++p;
        if (p == attrStart)
            fail("an attribute has no name");
        const QByteArrayView attrName(attrStart, p - attrStart);
        while (p < end && isSpace(*p))
            ++p;
        if (p == end || *p != '=')
            fail("an attribute has no value");
        ++p;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end || (*p != '"' && *p != '\''))
            fail("an attribute value is not quoted");
        const char quote = *p++;
        // Values are short: one loop looks for the closing quote and a "<" at once.
        const char *close = p;
        while (close < end && *close != quote) {
            if (*close == '<')
                fail("an attribute value holds \"<\"");
            ++close;
        }
        if (close == end)
            fail("an attribute value is not closed");
        const QByteArrayView raw(p, close - p);
        checkUnique(attrName);
        m_attributes.push_back(Attribute{attrName, raw});
        if (attrName[0] == 'x' && attrName.startsWith("xmlns")) {
            if (attrName.size() == 5)
                bind(QByteArrayView(), raw, depth);
            else if (attrName[5] == ':')
                bind(attrName.sliced(6), raw, depth);
        }
        p = close + 1;
    }
    m_open.push_back(m_name);
    m_rootSeen = true;
    m_begin = m_pos;
    m_end = m_pos = p - m_doc;
    return m_token = Token::StartElement;
}

Scanner::Token Scanner::endTag() {
    const char *end = m_doc + m_size;
    const char *p = m_doc + m_pos + 2;
    const char *nameStart = p;
    while (p < end && !endsName(*p))
        ++p;
    const QByteArrayView name(nameStart, p - nameStart);
    while (p < end && isSpace(*p))
        ++p;
    if (p == end || *p != '>')
        fail("an end tag is not closed");
    if (m_open.empty())
        fail("there is an end tag without a start tag");
    if (!same(m_open.back(), name))
        fail("an end tag does not match its start tag");
    setName(name);
    m_open.pop_back();
    m_begin = m_pos;
    m_end = m_pos = p + 1 - m_doc;
    return m_token = Token::EndElement;
}

bool Scanner::isWhitespace() const {
    for (char c : m_text)
        if (!isSpace(c))
            return false;
    return true;
}

template <typename Out> void Scanner::decode(QByteArrayView raw, bool attribute, Out &out) const {
    const char *p = raw.data();
    const char *end = p + raw.size();
    while (p < end) {
        const char *run = p;
        while (p < end && *p != '&' && *p != '\r' && !(attribute && (*p == '\n' || *p == '\t')))
            ++p;
        out.append(run, p - run);
        if (p == end)
            break;
        if (*p == '\r') {
            out.append(attribute ? " " : "\n", 1);
            p += (p + 1 < end && p[1] == '\n') ? 2 : 1;
            continue;
        }
        if (*p != '&') {
            out.append(" ", 1);
            ++p;
            continue;
        }
        const char *semi = find(p, std::min(end, p + MaxBytesPerUnit), ';');
        if (!semi)
            fail("a reference is not closed by \";\"");
        QByteArray utf8;
        appendUtf8(utf8, reference(QByteArrayView(p + 1, semi - p - 1)));
        out.append(utf8.constData(), utf8.size());
        p = semi + 1;
    }
}

namespace {
// Collects UTF-8 bytes for decode().
struct Utf8Sink {
    QByteArray &bytes;
    void append(const char *p, qsizetype n) { bytes.append(p, n); }
};
} // namespace

void Scanner::decodeUtf8(QByteArrayView raw, bool attribute, QByteArray &out) const {
    Utf8Sink sink{out};
    decode(raw, attribute, sink);
}

void Scanner::appendText(QString &out) const {
    decodeInto(m_text, m_cdata, false, out);
}

void Scanner::appendDecodedText(QByteArrayView raw, QString &out) const {
    decodeInto(raw, false, false, out);
}

// UTF-8 to UTF-16 in one pass with the references and line ends: a text never takes more UTF-16
// units than it has bytes, so the room is made once. A byte that starts no UTF-8 sequence
// becomes U+FFFD, as QString::fromUtf8 makes it.
void Scanner::decodeInto(QByteArrayView raw, bool cdata, bool attribute, QString &out) const {
    const qsizetype start = out.size();
    out.resize(start + raw.size());
    char16_t *o = reinterpret_cast<char16_t *>(out.data()) + start;
    const auto *p = reinterpret_cast<const unsigned char *>(raw.data());
    const auto *end = p + raw.size();
    auto put = [&o](char32_t c) {
        if (c >= 0x10000) {
            *o++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
            *o++ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *o++ = char16_t(c);
        }
    };
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c == '&' && !cdata) {
                const auto *semi = static_cast<const unsigned char *>(std::memchr(
                    p, ';', std::size_t(std::min<std::ptrdiff_t>(end - p, MaxBytesPerUnit))));
                if (!semi)
                    fail("a reference is not closed by \";\"");
                put(reference(QByteArrayView(p + 1, semi - p - 1)));
                p = semi + 1;
            } else if (c == '\r') {
                *o++ = attribute ? u' ' : u'\n';
                p += (p + 1 < end && p[1] == '\n') ? 2 : 1;
            } else {
                *o++ = attribute && (c == '\n' || c == '\t') ? u' ' : char16_t(c);
                ++p;
            }
            continue;
        }
        // A multi-byte sequence: its length from the first byte, checked for overlong forms,
        // surrogates and the end of Unicode.
        int n = 0;
        char32_t cp = 0, least = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F, least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F, least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07, least = 0x10000;
        }
        bool ok = n > 0 && end - p > n;
        for (int k = 1; ok && k <= n; ++k) {
            ok = (p[k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[k] & 0x3F);
        }
        if (!ok || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *o++ = u'\xFFFD';
            ++p;
            continue;
        }
        put(cp);
        p += n + 1;
    }
    out.resize(o - reinterpret_cast<char16_t *>(out.data()));
}

char32_t Scanner::reference(QByteArrayView ref) const {
    // The five predefined entities, told apart by length and letters without a call.
    const char *r = ref.data();
    switch (ref.size()) {
    case 2:
        if (r[1] == 't' && (r[0] == 'l' || r[0] == 'g'))
            return r[0] == 'l' ? '<' : '>';
        break;
    case 3:
        if (r[0] == 'a' && r[1] == 'm' && r[2] == 'p')
            return '&';
        break;
    case 4:
        if (r[0] == 'q' && r[1] == 'u' && r[2] == 'o' && r[3] == 't')
            return '"';
        if (r[0] == 'a' && r[1] == 'p' && r[2] == 'o' && r[3] == 's')
            return '\'';
        break;
    default:
        break;
    }
    if (!ref.startsWith('#'))
        fail(QStringLiteral("the entity \"%1\" is not defined")
                 .arg(QString::fromUtf8(ref.data(), ref.size())));
    const bool hex = ref.size() > 1 && ref[1] == 'x';
    const QByteArrayView digits = ref.sliced(hex ? 2 : 1);
    char32_t c = 0;
    bool ok = !digits.isEmpty();
    for (char d : digits) {
        int v = -1;
        if (d >= '0' && d <= '9')
            v = d - '0';
        else if (hex && d >= 'a' && d <= 'f')
            v = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F')
            v = d - 'A' + 10;
        if (v < 0 || c > 0x10FFFF) {
            ok = false;
            break;
        }
        c = c * (hex ? 16 : 10) + char32_t(v);
    }
    if (!ok || !isXmlChar(c))
        fail("a character reference names no character");
    return c;
}

QString Scanner::text() const {
    QString s;
    appendText(s);
    return s;
}

QString Scanner::decodeAttribute(QByteArrayView raw) const {
    QString out;
    decodeInto(raw, false, true, out);
    return out;
}

void Scanner::skipElement() {
    const std::size_t depth = m_open.size();
    while (!(next() == Token::EndElement && m_open.size() < depth)) {
    }
}

void Scanner::skipContentTo(qsizetype endTag) {
    if (endTag < m_pos || endTag > m_size || m_token != Token::StartElement || m_pendingEnd)
        fail("an element's end is not where it was found");
    m_pos = endTag;
}

QString Scanner::readElementText() {
    QString text;
    const std::size_t depth = m_open.size();
    for (;;) {
        const Token t = next();
        if (t == Token::Text)
            appendText(text);
        else if (t == Token::EndElement && m_open.size() < depth)
            return text;
    }
}

QByteArray toUtf8(QByteArray document, bool *converted) {
    if (converted)
        *converted = false;
    if (document.size() >= 2) {
        const uchar a = uchar(document[0]), b = uchar(document[1]);
        if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF)) {
            QStringDecoder decoder(a == 0xFF ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
            const QString text = decoder.decode(QByteArrayView(document).sliced(2));
            if (converted)
                *converted = true;
            return text.toUtf8();
        }
    }
    if (document.startsWith("\xEF\xBB\xBF"))
        document.remove(0, 3);
    return document;
}

} // namespace workbook::xml
