// A reader of one table row as LibreOffice writes nearly all of them: cells, covered cells and
// paragraphs of plain text, nothing else. It reads such a row several times faster than the
// general scanner and checks what the scanner checks of it (names, quoting, no attribute twice,
// end tags matching); a row of any other shape it declines, and the .ods reader gives that row
// to the scanner.
#pragma once

#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace workbook::ods {

class FastRowReader {
public:
    // The qualified names of a row, a cell, a covered cell and a paragraph as the document
    // writes them ("table:table-row"...).
    FastRowReader(QByteArray row, QByteArray cell, QByteArray covered, QByteArray paragraph);

    struct FastCell {
        bool covered = false;
        bool empty = false;                     // written <name .../>
        int attributes = 0, attributeCount = 0; // in attributes()
        int paragraphs = 0, paragraphCount = 0; // in paragraphs()
    };

    // Reads the row whose start tag stands at p, all of it before end; past its end tag, or
    // null where the row is not of that shape or not whole before end.
    const char *read(const char *p, const char *end);

    // Of the row read last: its own attributes, its cells in order, and where their
    // attributes and paragraphs' texts (undecoded) are.
    const std::vector<xml::Scanner::Attribute> &rowAttributes() const { return m_rowAttributes; }
    const std::vector<FastCell> &cells() const { return m_cells; }
    const xml::Scanner::Attribute *attributes(const FastCell &c) const {
        return m_attributes.data() + c.attributes;
    }
    const QByteArrayView *paragraphs(const FastCell &c) const {
        return m_paragraphs.data() + c.paragraphs;
    }

private:
    const char *tag(const char *p, const char *end, QByteArrayView name,
                    std::vector<xml::Scanner::Attribute> &into, bool &empty) const;
    const char *endTag(const char *p, const char *end, QByteArrayView name) const;
    const char *cellContent(const char *p, const char *end, QByteArrayView name);

    QByteArray m_row, m_cell, m_covered, m_paragraph;
    std::vector<xml::Scanner::Attribute> m_rowAttributes, m_attributes, m_scratch;
    std::vector<FastCell> m_cells;
    std::vector<QByteArrayView> m_paragraphs;
};

} // namespace workbook::ods
