// Start tags are written back with their attributes' values as they were written (escaped
// already), so that an attribute no change touches keeps its bytes.
#include "workbook/xml/xmlelement.h"

#include <algorithm>

namespace workbook::xml {

Vocabulary::Vocabulary(std::initializer_list<const char *> uris) {
    for (const char *uri : uris)
        m_uris.emplace_back(uri);
}

bool Vocabulary::holds(QByteArrayView uri) {
    if (uri.data() == m_known.data() && uri.size() == m_known.size() && !uri.isEmpty())
        return true;
    for (const QByteArrayView known : m_uris)
        if (uri == known) {
            m_known = uri;
            return true;
        }
    return false;
}

std::vector<Attr> attributesOf(const Scanner &s) {
    std::vector<Attr> out;
    out.reserve(s.attributes().size() + 4);
    for (const Scanner::Attribute &a : s.attributes()) {
        QByteArray raw = a.raw.toByteArray();
        raw.replace('"', "&quot;"); // a value quoted with ' may hold "
        out.push_back(Attr{a.name.toByteArray(), raw});
    }
    return out;
}

void setAttr(std::vector<Attr> &attrs, const QByteArray &name, const QByteArray &raw, bool front) {
    for (Attr &a : attrs)
        if (a.name == name) {
            a.raw = raw;
            return;
        }
    if (front)
        attrs.insert(attrs.begin(), Attr{name, raw});
    else
        attrs.push_back(Attr{name, raw});
}

void removeAttr(std::vector<Attr> &attrs, const QByteArray &name) {
    attrs.erase(
        std::remove_if(attrs.begin(), attrs.end(), [&](const Attr &a) { return a.name == name; }),
        attrs.end());
}

QByteArray startTag(const QByteArray &name, const std::vector<Attr> &attrs) {
    QByteArray out = '<' + name;
    for (const Attr &a : attrs)
        out += ' ' + a.name + "=\"" + a.raw + '"';
    return out;
}

void appendEscaped(QByteArray &out, QByteArrayView utf8, bool attribute) {
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

} // namespace workbook::xml
