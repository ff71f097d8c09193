// One pass over the part finds sheet1's row elements; the rows themselves are read only for
// what the index keeps (their counts, whether they hold anything, merged and array ranges), and
// taken apart into cells later, one at a time, when a change falls in them.
#include "workbook/ods/odssheetindex.h"

#include <algorithm>
#include <cstring>

namespace workbook::ods {

using xml::Attr;
using xml::attributesOf;
using xml::Scanner;
using xml::startTag;
using Token = Scanner::Token;

SheetIndex::SheetIndex(QByteArray xml, const CellStyles &commonStyles)
    : m_xml(std::move(xml)), m_styles(commonStyles) {
    index();
}

QByteArrayView SheetIndex::sourceBytes(const SheetRow &r) const {
    const SourceRange &src = m_sources[std::size_t(r.source)];
    return QByteArrayView(m_xml).sliced(src.begin, src.end - src.begin);
}

void SheetIndex::index() {
    Scanner s(m_xml);
    const auto readElement = [this](Scanner &s) {
        if (s.depth() == 1)
            m_names.readRoot(s);
        else if (is(s.name(), Ns::Office, "automatic-styles"))
            m_styles.read(s, m_names, true);
        else
            return false;
        return true;
    };
    if (!findTable(s, m_names, u"sheet1", readElement).isEmpty()) {
        indexTable(s);
        return; // the rest is copied as it stands
    }
    noSheet1ForWriting();
}

void SheetIndex::indexTable(Scanner &s) {
    if (s.isEmptyElement())
        damage("its sheet is an empty element");
    int row = 0;
    // Room for the rows as LibreOffice writes them, some 800 bytes each: room reserved and not
    // used costs no memory, and a sheet's rows are not moved as the vector grows.
    m_rows.reserve(std::size_t(m_xml.size()) / 256);
    m_sources.reserve(m_rows.capacity());
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        if (s.token() != Token::StartElement)
            continue;
        const QByteArrayView name = s.name();
        if (is(name, Ns::Table, "table-row")) {
            indexRow(s, row);
            m_insertAt = s.tokenEnd();
        } else if (is(name, Ns::Table, "table-column")) {
            m_columns.read(s, m_names);
            s.skipElement();
        } else if (!m_names.isGroup(name)) {
            s.skipElement();
        }
    }
    if (m_insertAt < 0)
        m_insertAt = s.tokenBegin(); // no rows: before the table's end tag
}

bool SheetIndex::cellContent(Scanner &s) const {
    if (s.isEmptyElement()) {
        s.next();
        return false;
    }
    bool any = false;
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        if (s.token() != Token::StartElement)
            continue;
        if (is(s.name(), Ns::Text, "p") || is(s.name(), Ns::Text, "h")) {
            const int inner = s.depth();
            if (s.isEmptyElement())
                continue;
            while (!(s.next() == Token::EndElement && s.depth() < inner))
                any = true;
        } else {
            any = true; // a comment, a shape, a list of paragraphs
            s.skipElement();
        }
    }
    return any;
}

void SheetIndex::indexRow(Scanner &s, int &row) {
    SheetRow r;
    r.first = row;
    std::int64_t count = 1;
    QByteArrayView raw;
    if (m_names.attribute(s, Ns::Table, "number-rows-repeated", raw))
        parseCount(raw, SheetRows, count);
    r.count = int(std::max<std::int64_t>(count, 1));
    if (row + std::int64_t(r.count) > SheetRows)
        damage("its sheet has more rows than a sheet holds");
    r.source = int(m_sources.size());
    const qsizetype begin = s.tokenBegin();
    if (s.isEmptyElement()) {
        s.next();
    } else if (!indexFastRow(s, r)) {
        std::int64_t column = 0;
        const int depth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() != Token::StartElement)
                continue;
            const bool covered = is(s.name(), Ns::Table, "covered-table-cell");
            if (!covered && !is(s.name(), Ns::Table, "table-cell")) {
                s.skipElement();
                continue;
            }
            const CellFacts facts = cellFacts(s.attributes().data(), int(s.attributes().size()));
            indexCell(r, column, covered, facts, cellContent(s));
        }
    }
    m_sources.push_back(SourceRange{begin, s.tokenEnd()});
    row += r.count;
    m_rows.push_back(std::move(r));
}

// A row of cells and plain paragraphs, as LibreOffice writes nearly all, is read by the fast row
// reader, which checks what the scanner would; the scanner then passes over it to its end tag.
// False for any other row, which the scanner reads.
bool SheetIndex::indexFastRow(Scanner &s, SheetRow &r) {
    if (!m_fast) {
        if (!is(q(Ns::Table, "table-row"), Ns::Table, "table-row") ||
            !is(q(Ns::Text, "p"), Ns::Text, "p"))
            return false;
        m_fast.emplace(q(Ns::Table, "table-row"), q(Ns::Table, "table-cell"),
                       q(Ns::Table, "covered-table-cell"), q(Ns::Text, "p"));
    }
    const char *base = m_xml.constData();
    const char *end = m_fast->read(base + s.tokenBegin(), base + m_xml.size());
    if (!end)
        return false;
    std::int64_t column = 0;
    for (const FastRowReader::FastCell &c : m_fast->cells()) {
        bool content = false;
        for (int i = 0; i < c.paragraphCount; ++i)
            content = content || !m_fast->paragraphs(c)[i].isEmpty();
        indexCell(r, column, c.covered, cellFacts(m_fast->attributes(c), c.attributeCount),
                  content);
    }
    const char *endTag = end - 1; // the row's end tag, which the fast reader has checked
    while (*endTag != '<')
        --endTag;
    s.skipContentTo(endTag - base);
    s.next();
    return true;
}

SheetIndex::CellFacts SheetIndex::cellFacts(const Scanner::Attribute *attributes, int count) const {
    std::int64_t columns = 1, matrixRows = 0, matrixColumns = 0;
    bool value = false;
    // Only a name ending in ":local" can be that name: most are told apart by their ends.
    auto named = [this](QByteArrayView name, Ns ns, QByteArrayView local) {
        const qsizetype n = local.size();
        return name.size() > n && name[name.size() - n - 1] == ':' &&
               std::memcmp(name.data() + name.size() - n, local.data(), std::size_t(n)) == 0 &&
               m_names.is(name, ns, local);
    };
    for (int i = 0; i < count; ++i) {
        const Scanner::Attribute &a = attributes[i];
        if (named(a.name, Ns::Table, "number-columns-repeated"))
            parseCount(a.raw, JumboColumns, columns);
        else if (named(a.name, Ns::Table, "number-matrix-rows-spanned"))
            parseCount(a.raw, SheetRows, matrixRows);
        else if (named(a.name, Ns::Table, "number-matrix-columns-spanned"))
            parseCount(a.raw, JumboColumns, matrixColumns);
        else if (named(a.name, Ns::Office, "value-type") ||
                 named(a.name, Ns::Calcext, "value-type") || named(a.name, Ns::Table, "formula"))
            value = true;
    }
    return CellFacts{std::max<std::int64_t>(columns, 1), matrixRows, matrixColumns, value};
}

// A cell of the row: the merged range or array formula it starts; the row holds something where
// the cell does.
void SheetIndex::indexCell(SheetRow &r, std::int64_t &column, bool covered, const CellFacts &facts,
                           bool content) {
    const int row = r.first;
    const auto [columns, matrixRows, matrixColumns, value] = facts;
    if (content || value || covered)
        r.content = true;
    if (column < JumboColumns) {
        const int last = int(std::min<std::int64_t>(column + columns, JumboColumns)) - 1;
        if (covered)
            m_covered.push_back(CellRange{row, int(column), row + r.count - 1, last});
        if (matrixRows > 1 || matrixColumns > 1)
            m_matrices.push_back(
                CellRange{row, int(column), row + int(std::max<std::int64_t>(matrixRows, 1)) - 1,
                          int(std::min<std::int64_t>(
                              column + std::max<std::int64_t>(matrixColumns, 1), JumboColumns)) -
                              1});
    }
    column = std::min<std::int64_t>(column + columns, std::int64_t(1) << 40);
}

QByteArray SheetIndex::withCount(QByteArrayView element, const char *local, int count) const {
    Scanner s(element);
    s.next();
    std::vector<Attr> attrs = attributesOf(s);
    auto it = std::find_if(attrs.begin(), attrs.end(),
                           [&](const Attr &a) { return is(a.name, Ns::Table, local); });
    if (count == 1) {
        if (it != attrs.end())
            attrs.erase(it);
    } else if (it != attrs.end()) {
        it->raw = QByteArray::number(count);
    } else {
        attrs.push_back(Attr{q(Ns::Table, local), QByteArray::number(count)});
    }
    QByteArray out = startTag(s.name().toByteArray(), attrs);
    if (s.isEmptyElement())
        return out + "/>";
    return out + '>' + element.sliced(s.tokenEnd());
}

void SheetIndex::recount(SheetRow &r, int count) const {
    switch (r.state) {
    case SheetRow::State::Original:
        r.xml = withCount(sourceBytes(r), "number-rows-repeated", count);
        r.state = SheetRow::State::Recounted;
        break;
    case SheetRow::State::Recounted:
        r.xml = withCount(r.xml, "number-rows-repeated", count);
        break;
    case SheetRow::State::Parsed:
        break; // its start tag is written from its attributes
    }
    r.count = count;
}

void SheetIndex::parse(SheetRow &r) const {
    if (r.state == SheetRow::State::Parsed)
        return;
    const QByteArray element =
        r.state == SheetRow::State::Original ? sourceBytes(r).toByteArray() : r.xml;
    Scanner s(element);
    s.next();
    r.tagName = s.name().toByteArray();
    r.attrs = attributesOf(s);
    r.cells.clear();
    int column = 0;
    if (!s.isEmptyElement()) {
        const int depth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() != Token::StartElement)
                continue;
            CellItem c;
            const qsizetype begin = s.tokenBegin();
            c.covered = is(s.name(), Ns::Table, "covered-table-cell");
            const bool cell = c.covered || is(s.name(), Ns::Table, "table-cell");
            std::int64_t count = 1;
            bool value = false;
            for (const Scanner::Attribute &a : s.attributes()) {
                const Ns ns = m_names.of(a.prefix());
                if (ns == Ns::Table && a.localName() == "number-columns-repeated")
                    parseCount(a.raw, JumboColumns, count);
                else if (((ns == Ns::Office || ns == Ns::Calcext) &&
                          a.localName() == "value-type") ||
                         (ns == Ns::Table && a.localName() == "formula"))
                    value = true;
            }
            c.first = column;
            c.count = cell ? int(std::max<std::int64_t>(count, 1)) : 0;
            c.content = cell && (cellContent(s) || value || c.covered);
            if (!cell)
                s.skipElement();
            c.xml = QByteArrayView(element).sliced(begin, s.tokenEnd() - begin).toByteArray();
            column = int(std::min<std::int64_t>(std::int64_t(column) + c.count, JumboColumns + 1));
            r.cells.push_back(std::move(c));
        }
    }
    r.state = SheetRow::State::Parsed;
}

std::size_t SheetIndex::rowAt(int row) const {
    auto it = std::upper_bound(m_rows.begin(), m_rows.end(), row,
                               [](int r, const SheetRow &x) { return r < x.first; });
    while (it != m_rows.begin()) {
        --it;
        if (it->count > 0)
            return row < it->first + it->count ? std::size_t(it - m_rows.begin()) : m_rows.size();
    }
    return m_rows.size();
}

int SheetIndex::lastRow() const {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->count > 0 && it->content)
            return it->first + it->count - 1;
    return -1;
}

} // namespace workbook::ods
