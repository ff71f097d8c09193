// One pass over the part finds sheet1's row elements with their byte ranges, the rows each
// covers, whether they hold anything, and the cells of merged ranges and array formulas. A row
// is parsed into its cells only when a change falls in it; the result copies every byte between
// the rows a change touched.
#include "workbook/ods/odscontenteditor.h"

#include "common/commanderror.h"
#include "common/hugepages.h"
#include "workbook/ods/odsfastrow.h"
#include "workbook/ods/odsvalues.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

// An attribute as written, its value between double quotes.
struct Attr {
    QByteArray name;
    QByteArray raw;
};

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

QByteArray startTag(const QByteArray &name, const std::vector<Attr> &attrs) {
    QByteArray out = '<' + name;
    for (const Attr &a : attrs)
        out += ' ' + a.name + "=\"" + a.raw + '"';
    return out;
}

// 0-based rows and columns, inclusive.
struct Range {
    int firstRow, firstColumn, lastRow, lastColumn;
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
};

struct CellItem {
    int first = 0;
    int count = 1;
    bool covered = false;
    bool content = false;
    QByteArray xml; // the element as it stands or as made
};

struct Row {
    enum class State { Original, Recounted, Parsed };
    int first = 0;
    int count = 1;   // 0 once deleted
    int source = -1; // index into the row elements as read; -1 for a row made here
    State state = State::Original;
    bool content = false;
    QByteArray xml; // Recounted: the element with its new count
    // Parsed:
    QByteArray tagName;
    std::vector<Attr> attrs;
    std::vector<CellItem> cells;
};

struct Source {
    qsizetype begin, end;
};

struct CellFacts {
    std::int64_t columns, matrixRows, matrixColumns;
    bool value;
};

void appendEscaped(QByteArray &out, QStringView text) {
    const QByteArray utf8 = text.toUtf8();
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
        default:
            out += c;
        }
    }
}

// Characters XML 1.0 cannot hold, which a text of an .xls or .xlsx cell may.
void checkCharacters(int row, int column, const QString &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF ||
            QChar::isSurrogate(c))
            throw CommandError(QStringLiteral("The text for cell %1 holds the character U+%2, "
                                              "which an OpenDocument spreadsheet cannot hold")
                                   .arg(workbook::cellName(row, column))
                                   .arg(QString::number(c, 16).toUpper().rightJustified(4, u'0')));
    }
}

void checkValue(int row, int column, const EditValue &value, const SheetLimits &limits) {
    checkCellValue(row, column, value, limits);
    if (const QString *text = std::get_if<QString>(&value))
        checkCharacters(row, column, *text);
}

} // namespace

class ContentEditor::Private {
public:
    Private(QByteArray xml, const CellStyles &styles) : m_xml(std::move(xml)), m_styles(styles) {
        index();
    }

    void index();
    void indexTable(Scanner &s);
    void indexRow(Scanner &s, int &row);
    bool indexFastRow(Scanner &s, Row &r);
    CellFacts cellFacts(const Scanner::Attribute *attributes, int count) const;
    void indexCell(Row &r, std::int64_t &column, bool covered, const CellFacts &facts,
                   bool content);
    bool cellContent(Scanner &s) const;

    bool is(QByteArrayView name, Ns ns, const char *local) const {
        return m_names.is(name, ns, local);
    }
    QByteArray q(Ns ns, const char *local) const { return m_names.qualified(ns, local); }

    QByteArrayView sourceBytes(const Row &r) const {
        const Source &src = m_sources[std::size_t(r.source)];
        return QByteArrayView(m_xml).sliced(src.begin, src.end - src.begin);
    }
    QByteArray withCount(QByteArrayView element, const char *local, int count) const;
    void recount(Row &r, int count) const;
    void parse(Row &r) const;
    std::size_t rowAt(int row) const; // index of the row covering it; m_rows.size() when none
    Row &singleRow(int row);
    std::size_t singleCell(Row &r, int column);
    QByteArray newCell(const Row &row, const CellItem *old, int column,
                       const EditValue &value) const;
    QByteArray paragraphs(const QString &text) const;
    QByteArray rowXml(const Row &r) const;

    void setCell(int row, int column, const EditValue &value);
    int lastRow() const;
    QByteArray result() const;
    // 1,024 columns, or 16,384 when the sheet declares more than 1,024 (a "very large sheet").
    SheetLimits limits() const {
        return {SheetRows, m_columns.count() > SheetColumns ? JumboColumns : SheetColumns,
                MaxCellText};
    }

    QByteArray m_xml;
    CellStyles m_styles;
    Names m_names;
    std::vector<Source> m_sources;
    std::vector<Row> m_rows; // in row order, as the elements stand
    std::vector<Range> m_matrices, m_covered;
    ColumnStyles m_columns;
    qsizetype m_insertAt = -1;           // where rows made here go: after the last row element
    std::optional<FastRowReader> m_fast; // the rows of the shape LibreOffice writes
    bool m_changed = false;
};

void ContentEditor::Private::index() {
    Scanner s(m_xml);
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (s.depth() == 1) {
            m_names.readRoot(s);
            continue;
        }
        const QByteArrayView name = s.name();
        if (is(name, Ns::Office, "automatic-styles")) {
            m_styles.read(s, m_names, true);
        } else if (is(name, Ns::Table, "table")) {
            QByteArrayView raw;
            if (m_names.attribute(s, Ns::Table, "name", raw) &&
                s.decodeAttribute(raw).compare(u"sheet1", Qt::CaseInsensitive) == 0) {
                indexTable(s);
                return; // the rest is copied as it stands
            }
            s.skipElement();
        } else if (!is(name, Ns::Office, "body") && !is(name, Ns::Office, "spreadsheet")) {
            s.skipElement();
        }
    }
    noSheet1ForWriting();
}

void ContentEditor::Private::indexTable(Scanner &s) {
    if (s.isEmptyElement())
        damage("its sheet is an empty element");
    int row = 0;
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

bool ContentEditor::Private::cellContent(Scanner &s) const {
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

void ContentEditor::Private::indexRow(Scanner &s, int &row) {
    Row r;
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
    m_sources.push_back(Source{begin, s.tokenEnd()});
    row += r.count;
    m_rows.push_back(std::move(r));
}

// A row of cells and plain paragraphs, as LibreOffice writes nearly all, is read by the fast row
// reader, which checks what the scanner would; the scanner then passes over it to its end tag.
// False for any other row, which the scanner reads.
bool ContentEditor::Private::indexFastRow(Scanner &s, Row &r) {
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
    const char *endTag = end - 1;
    while (*endTag != '<')
        --endTag;
    s.skipContentTo(endTag - base);
    s.next();
    return true;
}

// What a cell's attributes say: the columns it covers, the array formula it starts, whether it
// holds a value or a formula.
CellFacts ContentEditor::Private::cellFacts(const Scanner::Attribute *attributes, int count) const {
    std::int64_t columns = 1, matrixRows = 0, matrixColumns = 0;
    bool value = false;
    for (int i = 0; i < count; ++i) {
        const Scanner::Attribute &a = attributes[i];
        if (is(a.name, Ns::Table, "number-columns-repeated"))
            parseCount(a.raw, JumboColumns, columns);
        else if (is(a.name, Ns::Table, "number-matrix-rows-spanned"))
            parseCount(a.raw, SheetRows, matrixRows);
        else if (is(a.name, Ns::Table, "number-matrix-columns-spanned"))
            parseCount(a.raw, JumboColumns, matrixColumns);
        else if (is(a.name, Ns::Office, "value-type") || is(a.name, Ns::Calcext, "value-type") ||
                 is(a.name, Ns::Table, "formula"))
            value = true;
    }
    return CellFacts{std::max<std::int64_t>(columns, 1), matrixRows, matrixColumns, value};
}

// A cell of the row: the merged range or array formula it starts; the row holds something where
// the cell does.
void ContentEditor::Private::indexCell(Row &r, std::int64_t &column, bool covered,
                                       const CellFacts &facts, bool content) {
    const int row = r.first;
    const auto [columns, matrixRows, matrixColumns, value] = facts;
    if (content || value || covered)
        r.content = true;
    if (column < JumboColumns) {
        const int last = int(std::min<std::int64_t>(column + columns, JumboColumns)) - 1;
        if (covered)
            m_covered.push_back(Range{row, int(column), row + r.count - 1, last});
        if (matrixRows > 1 || matrixColumns > 1)
            m_matrices.push_back(
                Range{row, int(column), row + int(std::max<std::int64_t>(matrixRows, 1)) - 1,
                      int(std::min<std::int64_t>(column + std::max<std::int64_t>(matrixColumns, 1),
                                                 JumboColumns)) -
                          1});
    }
    column = std::min<std::int64_t>(column + columns, std::int64_t(1) << 40);
}

// The element with its start tag's count attribute set to count, or removed for 1.
QByteArray ContentEditor::Private::withCount(QByteArrayView element, const char *local,
                                             int count) const {
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

void ContentEditor::Private::recount(Row &r, int count) const {
    switch (r.state) {
    case Row::State::Original:
        r.xml = withCount(sourceBytes(r), "number-rows-repeated", count);
        r.state = Row::State::Recounted;
        break;
    case Row::State::Recounted:
        r.xml = withCount(r.xml, "number-rows-repeated", count);
        break;
    case Row::State::Parsed:
        break; // its start tag is written from its attributes
    }
    r.count = count;
}

void ContentEditor::Private::parse(Row &r) const {
    if (r.state == Row::State::Parsed)
        return;
    const QByteArray element =
        r.state == Row::State::Original ? sourceBytes(r).toByteArray() : r.xml;
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
    r.state = Row::State::Parsed;
}

std::size_t ContentEditor::Private::rowAt(int row) const {
    auto it = std::upper_bound(m_rows.begin(), m_rows.end(), row,
                               [](int r, const Row &x) { return r < x.first; });
    while (it != m_rows.begin()) {
        --it;
        if (it->count > 0)
            return row < it->first + it->count ? std::size_t(it - m_rows.begin()) : m_rows.size();
    }
    return m_rows.size();
}

// The row as a parsed row of its own, split from a repeated one or made after the last.
Row &ContentEditor::Private::singleRow(int row) {
    std::size_t i = rowAt(row);
    if (i == m_rows.size()) {
        int end = 0;
        for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
            if (it->count > 0) {
                end = it->first + it->count;
                break;
            }
        Row fresh;
        fresh.state = Row::State::Parsed;
        fresh.tagName = q(Ns::Table, "table-row");
        if (row > end) { // empty rows up to it, as a row has at least one cell
            Row gap = fresh;
            gap.first = end;
            gap.count = row - end;
            gap.cells.push_back(
                CellItem{0, 1, false, false, '<' + q(Ns::Table, "table-cell") + "/>"});
            m_rows.push_back(std::move(gap));
        }
        fresh.first = row;
        m_rows.push_back(std::move(fresh));
        return m_rows.back();
    }
    Row &run = m_rows[i];
    if (run.count == 1) {
        parse(run);
        return run;
    }
    const int before = row - run.first, after = run.first + run.count - 1 - row;
    Row target = run;
    target.first = row;
    recount(target, 1);
    parse(target);
    std::vector<Row> pieces;
    if (before > 0) {
        Row head = run;
        recount(head, before);
        pieces.push_back(std::move(head));
    }
    pieces.push_back(std::move(target));
    if (after > 0) {
        Row tail = run;
        tail.first = row + 1;
        recount(tail, after);
        pieces.push_back(std::move(tail));
    }
    const std::size_t at = i + (before > 0 ? 1 : 0);
    m_rows.erase(m_rows.begin() + std::ptrdiff_t(i));
    m_rows.insert(m_rows.begin() + std::ptrdiff_t(i), std::make_move_iterator(pieces.begin()),
                  std::make_move_iterator(pieces.end()));
    return m_rows[at];
}

// The index of the cell item that is that column alone, split from a repeated cell or made
// after the last.
std::size_t ContentEditor::Private::singleCell(Row &r, int column) {
    std::vector<CellItem> &cells = r.cells;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        CellItem &c = cells[i];
        if (c.count == 0 || column < c.first || column >= c.first + c.count)
            continue;
        if (c.count == 1)
            return i;
        const int before = column - c.first, after = c.first + c.count - 1 - column;
        std::vector<CellItem> pieces;
        if (before > 0)
            pieces.push_back(CellItem{c.first, before, c.covered, c.content,
                                      withCount(c.xml, "number-columns-repeated", before)});
        pieces.push_back(CellItem{column, 1, c.covered, c.content,
                                  withCount(c.xml, "number-columns-repeated", 1)});
        if (after > 0)
            pieces.push_back(CellItem{column + 1, after, c.covered, c.content,
                                      withCount(c.xml, "number-columns-repeated", after)});
        cells.erase(cells.begin() + std::ptrdiff_t(i));
        cells.insert(cells.begin() + std::ptrdiff_t(i), pieces.begin(), pieces.end());
        return i + (before > 0 ? 1 : 0);
    }
    int end = 0;
    for (const CellItem &c : cells)
        end = std::max(end, c.first + c.count);
    // After the last cell: other children of a row (none in OpenDocument) stay before it.
    if (column > end) {
        const QByteArray gap = '<' + q(Ns::Table, "table-cell") + "/>";
        cells.push_back(CellItem{end, column - end, false, false,
                                 withCount(gap, "number-columns-repeated", column - end)});
    }
    cells.push_back(CellItem{column, 1, false, false, '<' + q(Ns::Table, "table-cell") + "/>"});
    return cells.size() - 1;
}

// Paragraphs by line feeds; blanks at a paragraph's start and after a blank as <text:s/>, as
// OpenDocument's white-space rule asks; tabs as <text:tab/>.
QByteArray ContentEditor::Private::paragraphs(const QString &text) const {
    const QByteArray p = q(Ns::Text, "p"), space = q(Ns::Text, "s"), tab = q(Ns::Text, "tab"),
                     count = q(Ns::Text, "c");
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QByteArray out;
    for (const QStringView paragraph : QStringView(normalized).split(u'\n')) {
        out += '<' + p + '>';
        qsizetype i = 0;
        while (i < paragraph.size()) {
            qsizetype run = i;
            while (run < paragraph.size() && paragraph[run] != u' ' && paragraph[run] != u'\t')
                ++run;
            appendEscaped(out, paragraph.mid(i, run - i));
            if (run == paragraph.size())
                break;
            if (paragraph[run] == u'\t') {
                out += '<' + tab + "/>";
                i = run + 1;
                continue;
            }
            qsizetype blanks = run;
            while (blanks < paragraph.size() && paragraph[blanks] == u' ')
                ++blanks;
            qsizetype n = blanks - run;
            if (run > 0) { // the first blank after a character is written as it is
                out += ' ';
                --n;
            }
            if (n == 1)
                out += '<' + space + "/>";
            else if (n > 1)
                out += '<' + space + ' ' + count + "=\"" + QByteArray::number(n) + "\"/>";
            i = blanks;
        }
        out += "</" + p + '>';
    }
    return out;
}

// A cell's element made anew from the old one (or none): its style, its other attributes and
// its children other than text kept; its value, type and formula replaced.
QByteArray ContentEditor::Private::newCell(const Row &row, const CellItem *old, int column,
                                           const EditValue &value) const {
    QByteArray name = q(Ns::Table, "table-cell");
    std::vector<Attr> attrs;
    QByteArray kept; // children that are not the cell's text
    QByteArrayView style;
    if (old) {
        Scanner s(old->xml);
        s.next();
        name = s.name().toByteArray();
        for (const Attr &a : attributesOf(s)) {
            const qsizetype colon = a.name.indexOf(':');
            const Ns ns = m_names.of(QByteArrayView(a.name).first(std::max<qsizetype>(colon, 0)));
            const QByteArrayView local = localPart(a.name);
            const bool valueAttr =
                (ns == Ns::Office &&
                 (local == "value-type" || local == "value" || local == "date-value" ||
                  local == "time-value" || local == "boolean-value" || local == "string-value" ||
                  local == "currency")) ||
                (ns == Ns::Calcext && local == "value-type") ||
                (ns == Ns::Table && (local == "formula" || local == "number-columns-repeated")) ||
                (ns == Ns::Gnumeric && local == "error-value");
            if (!valueAttr)
                attrs.push_back(a);
        }
        QByteArrayView raw;
        if (m_names.attribute(s, Ns::Table, "style-name", raw))
            style = raw; // a view of the old cell's bytes, which outlive this
        if (!s.isEmptyElement()) {
            const int depth = s.depth();
            while (!(s.next() == Token::EndElement && s.depth() < depth)) {
                if (s.token() != Token::StartElement)
                    continue;
                const qsizetype begin = s.tokenBegin();
                const bool text = is(s.name(), Ns::Text, "p") || is(s.name(), Ns::Text, "h") ||
                                  is(s.name(), Ns::Text, "list");
                s.skipElement();
                if (!text)
                    kept += QByteArrayView(old->xml).sliced(begin, s.tokenEnd() - begin);
            }
        }
    }
    if (std::holds_alternative<std::monostate>(value)) {
        if (kept.isEmpty())
            return startTag(name, attrs) + "/>";
        return startTag(name, attrs) + '>' + kept + "</" + name + '>';
    }

    if (style.isEmpty()) {
        for (const Attr &a : row.attrs)
            if (is(a.name, Ns::Table, "default-cell-style-name"))
                style = a.raw;
    }
    if (style.isEmpty())
        style = m_columns.at(column);
    QByteArray type, display;
    const bool calcext = !m_names.prefix(Ns::Calcext).isEmpty();
    if (const double *number = std::get_if<double>(&value)) {
        const DataKind kind = style.isEmpty() ? DataKind::Plain : m_styles.dataKindOf(style);
        const bool date =
            kind == DataKind::Date || (kind == DataKind::Time && (*number < 0 || *number >= 1));
        // Serial 60 of the 1900 system is Excel's 29 February 1900, which never was; an
        // OpenDocument date is a real day.
        if (date && *number >= 60 && *number < 61)
            throw CommandError(QStringLiteral("Cell %1 cannot hold 29 February 1900, a day that "
                                              "an OpenDocument spreadsheet does not have")
                                   .arg(workbook::cellName(row.first, column)));
        if (date) {
            type = "date";
            display = isoDate(daysFromSerial(*number));
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            attrs.push_back(Attr{q(Ns::Office, "date-value"), display});
        } else if (kind == DataKind::Time) {
            type = "time";
            display = isoDuration(*number);
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            attrs.push_back(Attr{q(Ns::Office, "time-value"), display});
        } else {
            type = kind == DataKind::Currency     ? "currency"
                   : kind == DataKind::Percentage ? "percentage"
                                                  : "float";
            display = numberText(*number);
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            if (kind == DataKind::Currency) {
                QByteArray currency = m_styles.currencyOf(style);
                if (old) {
                    Scanner s(old->xml);
                    s.next();
                    QByteArrayView raw;
                    if (m_names.attribute(s, Ns::Office, "currency", raw))
                        currency = raw.toByteArray();
                }
                if (!currency.isEmpty())
                    attrs.push_back(Attr{q(Ns::Office, "currency"), currency});
            }
            attrs.push_back(Attr{q(Ns::Office, "value"), display});
        }
        if (calcext)
            attrs.push_back(Attr{q(Ns::Calcext, "value-type"), type});
        return startTag(name, attrs) + '>' + kept + '<' + q(Ns::Text, "p") + '>' + display + "</" +
               q(Ns::Text, "p") + "></" + name + '>';
    }
    attrs.push_back(Attr{q(Ns::Office, "value-type"), "string"});
    if (calcext)
        attrs.push_back(Attr{q(Ns::Calcext, "value-type"), "string"});
    return startTag(name, attrs) + '>' + kept + paragraphs(std::get<QString>(value)) + "</" + name +
           '>';
}

void ContentEditor::Private::setCell(int row, int column, const EditValue &value) {
    const SheetLimits limits = this->limits();
    checkCellPosition(row, column, limits);
    checkValue(row, column, value, limits);
    for (const Range &m : m_matrices)
        if (m.contains(row, column))
            inArrayFormula(row, column);
    for (const Range &c : m_covered)
        if (c.contains(row, column))
            throw CommandError(QStringLiteral("Cell %1 of sheet1 is covered by merged cells and "
                                              "cannot be changed on its own")
                                   .arg(workbook::cellName(row, column)));
    const bool empty = std::holds_alternative<std::monostate>(value);
    if (empty) { // nothing to clear where nothing is
        const std::size_t i = rowAt(row);
        if (i == m_rows.size() || !m_rows[i].content)
            return;
    }
    Row &target = singleRow(row);
    const std::size_t at = singleCell(target, column);
    CellItem &cell = target.cells[at];
    if (empty && !cell.content)
        return;
    cell.xml = newCell(target, &cell, column, value);
    cell.content = !empty || [&] {
        Scanner s(cell.xml);
        s.next();
        return cellContent(s);
    }();
    target.content = std::any_of(target.cells.begin(), target.cells.end(),
                                 [](const CellItem &c) { return c.content; });
    m_changed = true;
}

int ContentEditor::Private::lastRow() const {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->count > 0 && it->content)
            return it->first + it->count - 1;
    return -1;
}

QByteArray ContentEditor::Private::rowXml(const Row &r) const {
    switch (r.state) {
    case Row::State::Original:
        return sourceBytes(r).toByteArray();
    case Row::State::Recounted:
        return r.xml;
    case Row::State::Parsed:
        break;
    }
    std::vector<Attr> attrs = r.attrs;
    auto it = std::find_if(attrs.begin(), attrs.end(), [&](const Attr &a) {
        return is(a.name, Ns::Table, "number-rows-repeated");
    });
    if (r.count == 1 && it != attrs.end())
        attrs.erase(it);
    else if (r.count > 1 && it != attrs.end())
        it->raw = QByteArray::number(r.count);
    else if (r.count > 1)
        attrs.push_back(Attr{q(Ns::Table, "number-rows-repeated"), QByteArray::number(r.count)});
    QByteArray out = startTag(r.tagName, attrs);
    if (r.cells.empty())
        return out + "/>";
    out += '>';
    for (const CellItem &c : r.cells)
        out += c.xml;
    return out + "</" + r.tagName + '>';
}

QByteArray ContentEditor::Private::result() const {
    QByteArray out;
    out.reserve(m_xml.size() + 4096);
    preferHugePages(out.constData(), std::size_t(out.capacity()));
    qsizetype copied = 0;
    auto copyTo = [&](qsizetype at) {
        if (at > copied) {
            out.append(m_xml.constData() + copied, at - copied);
            copied = at;
        }
    };
    // A row written anew is checked before it goes in: whatever the reason, a part that is not
    // XML must never replace the user's.
    auto written = [](const QByteArray &xml) -> const QByteArray & {
        try {
            Scanner s(xml);
            while (s.next() != Token::EndDocument) {
            }
        } catch (const xml::XmlError &) {
            throw CommandError(QStringLiteral("Stream write error"));
        }
        return xml;
    };
    for (const Row &r : m_rows) {
        if (r.source < 0) {
            copyTo(m_insertAt);
            out += written(rowXml(r));
            continue;
        }
        const Source &src = m_sources[std::size_t(r.source)];
        if (r.state == Row::State::Original && r.count > 0) {
            copyTo(src.end);
            continue;
        }
        copyTo(src.begin);
        if (r.count > 0)
            out += written(rowXml(r));
        copied = std::max(copied, src.end);
    }
    copyTo(m_xml.size());
    return out;
}

ContentEditor::ContentEditor(QByteArray xml, const CellStyles &commonStyles)
    : d(std::make_unique<Private>(std::move(xml), commonStyles)) {}

ContentEditor::~ContentEditor() = default;

int ContentEditor::lastRow() const {
    return d->lastRow();
}

int ContentEditor::columnLimit() const {
    return d->limits().columns;
}

void ContentEditor::setCell(int row, int column, const EditValue &value) {
    d->setCell(row, column, value);
}

int ContentEditor::appendRow(const QList<EditValue> &values) {
    const int row = d->lastRow() + 1;
    checkAppendedRow(row, values, d->limits());
    for (int c = 0; c < values.size(); ++c)
        checkValue(row, c, values[c], d->limits());
    for (int c = 0; c < values.size(); ++c)
        d->setCell(row, c, values[c]);
    return row;
}

void ContentEditor::deleteRow(int row, const std::function<QStringList()> &rowPositionUsers) {
    checkDeletedRow(row, d->lastRow(), rowPositionUsers);
    const std::size_t i = d->rowAt(row);
    Row &r = d->m_rows[i];
    if (r.count > 1)
        d->recount(r, r.count - 1);
    else
        r.count = 0;
    for (std::size_t k = i + 1; k < d->m_rows.size(); ++k)
        --d->m_rows[k].first;
    for (std::vector<Range> *ranges : {&d->m_matrices, &d->m_covered})
        for (Range &m : *ranges) {
            if (m.firstRow > row)
                --m.firstRow;
            if (m.lastRow >= row)
                --m.lastRow;
        }
    d->m_changed = true;
}

int ContentEditor::apply(const SheetChange &change,
                         const std::function<QStringList()> &rowPositionUsers) {
    return applyChange(*this, change, rowPositionUsers);
}

bool ContentEditor::isChanged() const {
    return d->m_changed;
}

QByteArray ContentEditor::result() const {
    return d->m_changed ? d->result() : d->m_xml;
}

} // namespace workbook::ods
