// An element's name and start tag as the .xlsx and .ods editors handle them: a name compared with
// a literal, a start tag taken apart into its attributes and written again with some of them
// changed, and text escaped for the XML it goes into.
#pragma once

#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace workbook::xml {

// A name against a literal, compared without a call: the scans' most frequent question.
template <std::size_t N> bool is(QByteArrayView name, const char (&what)[N]) {
    if (name.size() != qsizetype(N - 1))
        return false;
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (name.data()[i] != what[i])
            return false;
    return true;
}

// The elements of one vocabulary, which its documents write in one of a few namespaces (a
// format's transitional and strict ones), told by their namespace and local name: an extension's
// element of the same local name (<x15:workbookPr>) is another element. The namespace last found
// to be the vocabulary's is remembered where the document holds it, so that asking of every
// element of a sheet costs a comparison of two pointers; one is made for each document read.
class Vocabulary {
public:
    explicit Vocabulary(std::initializer_list<const char *> uris);

    bool holds(QByteArrayView uri);
    // Whether the scanner's current element is of the vocabulary.
    bool holds(const Scanner &s) { return holds(s.namespaceUri()); }
    // Whether it is the vocabulary's element of that local name.
    template <std::size_t N> bool is(const Scanner &s, const char (&local)[N]) {
        return xml::is(s.localName(), local) && holds(s);
    }

private:
    std::vector<QByteArrayView> m_uris;
    QByteArrayView m_known; // in the document
};

// An attribute as written, its value between double quotes.
struct Attr {
    QByteArray name;
    QByteArray raw;
};

// The attributes of the start tag the scanner stands on, in their order; a value quoted with '
// is requoted with ".
std::vector<Attr> attributesOf(const Scanner &s);

// Sets the attribute's value where it stands, or adds it at the end (at the front when front).
void setAttr(std::vector<Attr> &attrs, const QByteArray &name, const QByteArray &raw,
             bool front = false);
void removeAttr(std::vector<Attr> &attrs, const QByteArray &name);

// The start tag made of the name and the attributes, without its closing ">" or "/>".
QByteArray startTag(const QByteArray &name, const std::vector<Attr> &attrs);

// Appends UTF-8 text with &, < and > escaped, and a carriage return as a character reference
// (a parser would read a bare one as a line feed); in an attribute (attribute) " too.
void appendEscaped(QByteArray &out, QByteArrayView utf8, bool attribute);

} // namespace workbook::xml
