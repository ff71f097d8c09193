// The XML scanner on any bytes, as the readers drive it: a document in UTF-16 made UTF-8, every
// token with its names, namespaces and decoded attributes and text; then again, skipping the
// elements below the root as the readers skip what they do not read, and reading the text of
// the elements that hold a cell's text.
#include "fuzzsupport.h"

#include "workbook/xml/xmlscanner.h"

namespace {

using workbook::xml::Scanner;
using workbook::xml::XmlError;

void checkToken(const Scanner &s, qsizetype size) {
    if (s.tokenBegin() < 0 || s.tokenBegin() > s.tokenEnd() || s.tokenEnd() > size)
        fuzzing::finding(QStringLiteral("a token lies outside the document"));
}

void scanAll(QByteArrayView doc) {
    Scanner s(doc);
    try {
        for (;;) {
            const Scanner::Token t = s.next();
            if (t == Scanner::Token::EndDocument)
                break;
            checkToken(s, doc.size());
            if (t == Scanner::Token::StartElement) {
                s.localName();
                s.prefix();
                s.namespaceUri();
                for (const Scanner::Attribute &a : s.attributes()) {
                    a.localName();
                    s.attributeNamespace(a);
                    s.decodeAttribute(a.raw);
                    QByteArray utf8;
                    s.decodeUtf8(a.raw, true, utf8);
                }
            } else if (t == Scanner::Token::Text) {
                s.isWhitespace();
                s.text();
            }
        }
    } catch (const XmlError &e) {
        e.text();
    }
}

void skimAll(QByteArrayView doc) {
    Scanner s(doc);
    try {
        for (;;) {
            const Scanner::Token t = s.next();
            if (t == Scanner::Token::EndDocument)
                break;
            if (t != Scanner::Token::StartElement)
                continue;
            const QByteArrayView name = s.localName();
            if (name == "t" || name == "v" || name == "p")
                s.readElementText();
            else if (s.depth() == 3)
                s.skipElement();
            checkToken(s, doc.size());
        }
    } catch (const XmlError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray doc =
        workbook::xml::toUtf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    scanAll(doc);
    skimAll(doc);
    return 0;
}
