// Well-formedness of placemark values. Most values are plain text, decided by one scan; values
// holding markup go through a quick check of common markup, and what it cannot vouch for through
// a real XML parser.
#include "kml/xmlsafe.h"

#include <QXmlStreamReader>

#include <string>
#include <vector>

namespace {

enum class Scan { Plain, Markup, Invalid };

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Plain: no markup characters, nothing to check further. Markup: needs the parser.
// Invalid: holds a character XML cannot carry at all.
Scan scan(const QString &value) {
    const auto *p = reinterpret_cast<const char16_t *>(value.utf16());
    const qsizetype n = value.size();
    Scan result = Scan::Plain;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0x20) {
            if (c != 0x9 && c != 0xA && c != 0xD)
                return Scan::Invalid;
        } else if (c == u'<' || c == u'&') {
            result = Scan::Markup;
        } else if (c == u'>') {
            if (i >= 2 && p[i - 1] == u']' && p[i - 2] == u']')
                result = Scan::Markup;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (c >= 0xDC00 || i + 1 >= n || p[i + 1] < 0xDC00 || p[i + 1] > 0xDFFF)
                return Scan::Invalid;
            ++i;
        } else if (c >= 0xFFFE) {
            return Scan::Invalid;
        }
    }
    return result;
}

// Replaces characters that XML 1.0 cannot carry (control characters, lone surrogates, U+FFFE,
// U+FFFF) by U+FFFD, so that no value can break the document.
QString onlyXmlChars(const QString &value) {
    QString out;
    out.reserve(value.size());
    const auto *p = reinterpret_cast<const char16_t *>(value.utf16());
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

bool isNameStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isNameChar(char16_t c) {
    return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The length of a predefined entity or character reference starting at p[i] ("&amp;",
// "&#x4e2d;"), 0 when it is not one.
qsizetype referenceLength(const char16_t *p, qsizetype i, qsizetype n) {
    static const char16_t *const names[] = {u"amp;", u"lt;", u"gt;", u"quot;", u"apos;"};
    for (const char16_t *name : names) {
        qsizetype k = 0;
        while (name[k] && i + 1 + k < n && p[i + 1 + k] == name[k])
            ++k;
        if (!name[k])
            return k + 1;
    }
    qsizetype j = i + 1;
    if (j >= n || p[j] != u'#')
        return 0;
    ++j;
    const bool hex = j < n && p[j] == u'x';
    if (hex)
        ++j;
    char32_t value = 0;
    const qsizetype digits = j;
    for (; j < n && p[j] != u';'; ++j) {
        int d;
        if (p[j] >= u'0' && p[j] <= u'9')
            d = p[j] - u'0';
        else if (hex && p[j] >= u'a' && p[j] <= u'f')
            d = p[j] - u'a' + 10;
        else if (hex && p[j] >= u'A' && p[j] <= u'F')
            d = p[j] - u'A' + 10;
        else
            return 0;
        value = value * (hex ? 16 : 10) + char32_t(d);
        if (value > 0x10FFFF)
            return 0;
    }
    if (j >= n || j == digits || !isXmlChar(value))
        return 0;
    return j - i + 1;
}

// A quick yes for the markup that values usually hold: elements with plain ASCII names and
// attributes, predefined entities and character references. Anything else (comments, CDATA,
// namespaces, duplicate attributes, errors) is left to the XML parser, so a yes is always right.
bool quicklyWellFormed(const QString &value) {
    const auto *p = reinterpret_cast<const char16_t *>(value.utf16());
    const qsizetype n = value.size();
    struct Name {
        qsizetype at, length;
    };
    std::vector<Name> open;
    auto name = [&](qsizetype at) {
        qsizetype j = at;
        if (j >= n || !isNameStart(p[j]))
            return qsizetype(0);
        while (j < n && isNameChar(p[j]))
            ++j;
        return j - at;
    };
    for (qsizetype i = 0; i < n;) {
        const char16_t c = p[i];
        if (c == u'&') {
            const qsizetype length = referenceLength(p, i, n);
            if (length == 0)
                return false;
            i += length;
        } else if (c == u'<' && i + 1 < n && p[i + 1] == u'/') {
            const qsizetype length = name(i + 2);
            if (length == 0 || open.empty() || open.back().length != length ||
                std::char_traits<char16_t>::compare(p + open.back().at, p + i + 2,
                                                    std::size_t(length)) != 0)
                return false;
            open.pop_back();
            i += 2 + length;
            while (i < n && isBlank(p[i]))
                ++i;
            if (i >= n || p[i] != u'>')
                return false;
            ++i;
        } else if (c == u'<') {
            const qsizetype length = name(i + 1);
            if (length == 0)
                return false;
            const Name element{i + 1, length};
            i += 1 + length;
            std::vector<Name> attributes;
            while (true) {
                const qsizetype blankStart = i;
                while (i < n && isBlank(p[i]))
                    ++i;
                if (i < n && p[i] == u'>') {
                    open.push_back(element);
                    ++i;
                    break;
                }
                if (i + 1 < n && p[i] == u'/' && p[i + 1] == u'>') {
                    i += 2;
                    break;
                }
                const qsizetype attr = name(i);
                if (i == blankStart || attr == 0)
                    return false;
                for (const Name &a : attributes)
                    if (a.length == attr && std::char_traits<char16_t>::compare(
                                                p + a.at, p + i, std::size_t(attr)) == 0)
                        return false;
                attributes.push_back(Name{i, attr});
                i += attr;
                while (i < n && isBlank(p[i]))
                    ++i;
                if (i >= n || p[i] != u'=')
                    return false;
                ++i;
                while (i < n && isBlank(p[i]))
                    ++i;
                if (i >= n || (p[i] != u'"' && p[i] != u'\''))
                    return false;
                const char16_t quote = p[i++];
                while (i < n && p[i] != quote) {
                    if (p[i] == u'<')
                        return false;
                    if (p[i] == u'&') {
                        const qsizetype length = referenceLength(p, i, n);
                        if (length == 0)
                            return false;
                        i += length;
                    } else {
                        ++i;
                    }
                }
                if (i >= n)
                    return false;
                ++i;
            }
        } else if (c == u'>' && i >= 2 && p[i - 1] == u']' && p[i - 2] == u']') {
            return false;
        } else {
            ++i;
        }
    }
    return open.empty();
}

bool parsesAsContent(const QString &value) {
    if (quicklyWellFormed(value))
        return true;
    QXmlStreamReader reader(QStringLiteral("<r>") + value + QStringLiteral("</r>"));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.tokenType() == QXmlStreamReader::EntityReference)
            return false;
    }
    return !reader.hasError();
}

QString escaped(const QString &value) {
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

QString cdata(QString value) {
    value.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
    return QStringLiteral("<![CDATA[") + value + QStringLiteral("]]>");
}

} // namespace

namespace xmlsafe {

bool isWellFormedContent(const QString &value) {
    switch (scan(value)) {
    case Scan::Plain:
        return true;
    case Scan::Invalid:
        return false;
    case Scan::Markup:
        return parsesAsContent(value);
    }
    return false;
}

QString description(const QString &value) {
    const Scan kind = scan(value);
    if (kind == Scan::Plain)
        return value;
    if (kind == Scan::Markup) // scanned once: only the markup is left to check
        return parsesAsContent(value) ? value : cdata(value);
    const QString clean = onlyXmlChars(value);
    return isWellFormedContent(clean) ? clean : cdata(clean);
}

QString text(const QString &value) {
    const Scan kind = scan(value);
    if (kind == Scan::Plain)
        return value;
    if (kind == Scan::Markup) // scanned once: only the markup is left to check
        return parsesAsContent(value) ? value : escaped(value);
    const QString clean = onlyXmlChars(value);
    return isWellFormedContent(clean) ? clean : escaped(clean);
}

} // namespace xmlsafe
