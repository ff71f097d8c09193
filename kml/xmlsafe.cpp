// Well-formedness of placemark values. Most values are plain text, decided by one scan; only
// values holding markup go through a real XML parser.
#include "kml/xmlsafe.h"

#include <QXmlStreamReader>

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

bool parsesAsContent(const QString &value) {
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
    const QString clean = kind == Scan::Invalid ? onlyXmlChars(value) : value;
    return isWellFormedContent(clean) ? clean : cdata(clean);
}

QString text(const QString &value) {
    const Scan kind = scan(value);
    if (kind == Scan::Plain)
        return value;
    const QString clean = kind == Scan::Invalid ? onlyXmlChars(value) : value;
    return isWellFormedContent(clean) ? clean : escaped(clean);
}

} // namespace xmlsafe
