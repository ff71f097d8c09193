// A fast pull scanner over an XML document in UTF-8 held in memory: the parts of .xlsx and .ods
// workbooks, a sheet of a million rows among them. It reports start and end tags, attributes and
// text as views of the document's bytes, with their byte offsets, so that a writer can copy what
// it does not change. Text is decoded (the five predefined entities, character references,
// line ends) only when asked for.
//
// It checks what reading a workbook depends on: tags nest and match, attributes are quoted and
// not repeated, references are known, one root element. A document type declaration is refused
// (no entity can be declared, so none can expand), and so is nesting deeper than MaxDepth.
// Names are not checked against XML's character classes, and undecoded text is not checked for
// bad references: text the reader never decodes cannot change what it reads.
#pragma once

#include "common/damagedfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace workbook::xml {

// The XML layer's DamagedFile: where and how a document is not well-formed. The scanner does not
// know which part it reads; a format's reader that does says so in the why it throws instead
// (workbook::notWellFormed()).
struct XmlError : DamagedFile {
    XmlError(int line, const QString &problem);
    int line = 0; // 1-based
    QString problem;
    // "line 3: an end tag does not match its start tag"
    QString text() const;
};

class Scanner {
public:
    enum class Token : std::uint8_t { StartElement, EndElement, Text, EndDocument };
    static constexpr int MaxDepth = 256;
    // Decoded text takes at least one UTF-16 unit for this many bytes as written (the longest
    // reference the scanner reads): how long a text will be can be bounded before it is decoded.
    static constexpr qsizetype MaxBytesPerUnit = 12;

    struct Attribute {
        QByteArrayView name; // qualified, as written
        QByteArrayView raw;  // the value between its quotes, undecoded
        QByteArrayView localName() const;
        QByteArrayView prefix() const; // empty when none
    };

    // The document must outlive the scanner. A UTF-8 byte-order mark is skipped.
    explicit Scanner(QByteArrayView document);

    // The next token; throws XmlError where the document is not well-formed.
    Token next();
    Token token() const { return m_token; }

    // Of the current start or end element.
    QByteArrayView name() const { return m_name; } // qualified
    QByteArrayView localName() const;
    QByteArrayView prefix() const;
    // The namespace the element's prefix is bound to; empty when none.
    QByteArrayView namespaceUri() const;
    // The start element was written <name/>: its end element follows at once, with an empty
    // range at the tag's end.
    bool isEmptyElement() const { return m_emptyElement; }
    // Elements open around the current token; a start element counts itself, an end element
    // does not.
    int depth() const { return int(m_open.size()); }

    // Of the current start element.
    const std::vector<Attribute> &attributes() const { return m_attributes; }
    // The undecoded value of the attribute with that qualified name; false when absent.
    bool attribute(QByteArrayView name, QByteArrayView &raw) const;
    // The namespace an attribute's prefix is bound to (unprefixed attributes have none).
    QByteArrayView attributeNamespace(const Attribute &a) const;

    // Of the current text: the characters as written (CDATA without its markers).
    QByteArrayView rawText() const { return m_text; }
    bool isCData() const { return m_cdata; }
    // The current text decoded, appended; throws XmlError on an unknown or bad reference.
    void appendText(QString &out) const;
    QString text() const;
    // Character data found by the caller (text between tags, not CDATA), decoded as
    // appendText decodes the current text; throws XmlError on an unknown or bad reference.
    void appendDecodedText(QByteArrayView raw, QString &out) const;
    // Whether the current text is only white space.
    bool isWhitespace() const;

    // Where the current token lies in the document: from its "<" (or first character) to past
    // its ">" (or last character).
    qsizetype tokenBegin() const { return m_begin; }
    qsizetype tokenEnd() const { return m_end; }
    qsizetype position() const { return m_pos; }

    // After a start element: skips its content; the current token is then its end element.
    void skipElement();
    // After a start element whose end tag the caller has found at endTag: passes over the
    // content without reading it; the next token is that end tag. Throws XmlError when endTag
    // lies before the current position or past the document.
    void skipContentTo(qsizetype endTag);
    // All text inside the current start element, decoded and joined, ending on its end element.
    QString readElementText();

    // Decodes an attribute value: references replaced, and white space characters written
    // literally made blanks, as XML normalizes attribute values.
    QString decodeAttribute(QByteArrayView raw) const;
    // Decodes character data (text or an attribute, as asked) into UTF-8.
    void decodeUtf8(QByteArrayView raw, bool attribute, QByteArray &out) const;

    [[noreturn]] void fail(const char *what) const;
    [[noreturn]] void fail(const QString &what) const;

private:
    struct Namespace {
        QByteArrayView prefix;
        QByteArrayView uri;
        int depth;
        std::ptrdiff_t shadowed; // the binding of the same prefix it hides; -1 when none
    };

    Token startTag();
    Token endTag();
    void markup(); // comments, processing instructions, CDATA, a DTD
    QByteArrayView resolve(QByteArrayView prefix) const;
    void bind(QByteArrayView prefix, QByteArrayView uri, int depth);
    void unbindDeeperThan(int depth);
    void checkUnique(QByteArrayView attributeName);
    void setName(QByteArrayView name);
    void decodeInto(QByteArrayView raw, bool cdata, bool attribute, QString &out) const;
    char32_t reference(QByteArrayView ref) const;
    template <typename Out> void decode(QByteArrayView raw, bool attribute, Out &out) const;
    int lineAt(qsizetype at) const;

    const char *m_doc;
    qsizetype m_size;
    qsizetype m_pos = 0;
    qsizetype m_begin = 0, m_end = 0;
    Token m_token = Token::EndDocument;
    QByteArrayView m_name;
    qsizetype m_colon = -1; // in m_name
    QByteArrayView m_text;
    bool m_cdata = false;
    bool m_emptyElement = false;
    bool m_pendingEnd = false; // an empty element's end is next
    bool m_rootSeen = false;
    bool m_done = false;
    std::vector<QByteArrayView> m_open;
    std::vector<Attribute> m_attributes;
    std::vector<Namespace> m_namespaces;
    // Each prefix's binding in scope, by its index in m_namespaces: a document may declare any
    // number of them, and every element's prefix is looked up.
    std::unordered_map<std::string_view, std::ptrdiff_t> m_bound;
    // The last prefix looked up and what it was bound to, while the bindings stay as they were.
    mutable QByteArrayView m_lastPrefix;
    mutable QByteArrayView m_lastUri;
    mutable bool m_lastValid = false;
    // The names of a tag's attributes, once it has so many that comparing each new one with
    // every one before would take time by their square.
    std::unordered_set<std::string_view> m_attributeNames;
};

// A document in UTF-16 (with a byte-order mark) as UTF-8; other bytes as they are, without a
// UTF-8 byte-order mark.
QByteArray toUtf8(QByteArray document, bool *converted = nullptr);

} // namespace workbook::xml
