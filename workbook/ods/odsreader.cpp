// The styles part first (for the data styles of common cell styles), then one pass over the
// content part: its automatic styles, the null date, and the sheet's rows, each row's values
// gathered once and copied for every row it repeats.
#include "workbook/ods/odsreader.h"

#include "common/commanderror.h"
#include "workbook/ods/odsfastrow.h"
#include "workbook/ods/odspackage.h"
#include "workbook/ods/odsstyles.h"
#include "workbook/ods/odsvalues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;
using Attribute = Scanner::Attribute;

struct Failure {
    QString message;
};

[[noreturn]] void damaged(const char *why) {
    throw Damaged{QString::fromLatin1(why)};
}

// Where what first stands in bytes from from on; -1 when nowhere. glibc's memmem is several
// times faster than QByteArrayView::indexOf over a part of tens of megabytes.
qsizetype find(QByteArrayView bytes, QByteArrayView what, qsizetype from) {
    if (from < 0 || from > bytes.size())
        return -1;
    const void *at = memmem(bytes.data() + from, std::size_t(bytes.size() - from), what.data(),
                            std::size_t(what.size()));
    return at ? static_cast<const char *>(at) - bytes.data() : -1;
}

// Beyond these a sheet is not read: each value cell takes 16 bytes, and a repeated row or
// column copies its values; spaces written as counts (<text:s text:c="…"/>) expand likewise.
constexpr std::size_t MaxCells = std::size_t(1) << 25;
constexpr qsizetype MaxExpandedSpaces = qsizetype(1) << 25;
constexpr qsizetype MaxTextLength = qsizetype(1) << 20;

// The attributes of a cell that its value is read from, in the order of their names below.
enum class Attr {
    Type,
    CalcType,
    Value,
    Date,
    Time,
    Boolean,
    String,
    Style,
    Formula,
    GnumericError,
    Count
};

class SheetReader {
public:
    std::int64_t fastRowsRead() const { return m_fastRowsRead; }

    SheetReader(SheetData &sheet, CellStyles &styles, const QString &path, RowReading reading)
        : m_sheet(sheet), m_styles(styles), m_path(path), m_reading(reading) {}
    // A reader of part of the same sheet's rows, into a sheet of its own, knowing what the main
    // reader has read before the rows.
    SheetReader(const SheetReader &main, SheetData &part)
        : m_sheet(part), m_styles(main.m_styles), m_path(main.m_path), m_names(main.m_names),
          m_nullDays(main.m_nullDays), m_columns(main.m_columns) {
        for (int i = 0; i < int(Attr::Count); ++i)
            m_cellAttributes[i] = main.m_cellAttributes[i];
        m_sheet.sheetName = main.m_sheet.sheetName;
    }

    // False when the document has no sheet of that name.
    bool run(QByteArrayView content, const QString &sheetName) {
        Scanner s(content);
        m_content = m_document = content;
        m_cells.reserve(std::size_t(content.size()) / 256);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement)
                continue;
            if (s.depth() == 1) {
                m_names.readRoot(s);
                static const std::pair<Ns, const char *> attributes[] = {
                    {Ns::Office, "value-type"},   {Ns::Calcext, "value-type"},
                    {Ns::Office, "value"},        {Ns::Office, "date-value"},
                    {Ns::Office, "time-value"},   {Ns::Office, "boolean-value"},
                    {Ns::Office, "string-value"}, {Ns::Table, "style-name"},
                    {Ns::Table, "formula"},       {Ns::Gnumeric, "error-value"}};
                for (int i = 0; i < int(Attr::Count); ++i)
                    m_cellAttributes[i] =
                        m_names.qualified(attributes[i].first, attributes[i].second);
                continue;
            }
            const QByteArrayView name = s.name();
            if (is(name, Ns::Office, "automatic-styles")) {
                m_styles.read(s, m_names, true);
            } else if (is(name, Ns::Table, "table")) {
                QByteArrayView raw;
                const QString tableName = m_names.attribute(s, Ns::Table, "name", raw)
                                              ? s.decodeAttribute(raw)
                                              : QString();
                if (tableName.compare(sheetName, Qt::CaseInsensitive) != 0) {
                    s.skipElement();
                    continue;
                }
                m_sheet.sheetName = tableName;
                readTable(s);
                m_sheet.setCells(std::move(m_cells));
                return true;
            } else if (is(name, Ns::Table, "null-date")) {
                QByteArrayView raw;
                if (m_names.attribute(s, Ns::Table, "date-value", raw) &&
                    !parseDate(raw, m_nullDays))
                    damaged("its null date is not a date");
                s.skipElement();
            } else if (!is(name, Ns::Office, "body") && !is(name, Ns::Office, "spreadsheet") &&
                       !is(name, Ns::Table, "calculation-settings")) {
                s.skipElement();
            }
        }
        return false;
    }

private:
    bool is(QByteArrayView name, Ns ns, const char *local) const {
        return m_names.is(name, ns, local);
    }

    void readTable(Scanner &s) {
        if (!s.isEmptyElement() && readInTwo(s))
            return;
        readContent(s);
    }

    // The rows of a big sheet are read in two halves at once, where the sheet parts cleanly: its
    // rows follow one another with nothing but white space between them and after them, and
    // each of them is whole XML. Each row is read by a scanner of its own over its bytes, where
    // they stand. Anything else (rows in groups, names or shapes after the rows, a damaged row)
    // is read in one pass, which finds what is wrong.
    bool readInTwo(Scanner &s) {
        if (m_reading == RowReading::Scanner)
            return false;
        // Below this a thread costs more.
        const qsizetype Enough = m_reading == RowReading::Halves ? 0 : qsizetype(8) << 20;
        const qsizetype begin = s.tokenEnd();
        const QByteArray endTag = "</" + s.name().toByteArray() + '>';
        m_rowTag = '<' + m_names.qualified(Ns::Table, "table-row");
        m_rowEndTag = "</" + m_names.qualified(Ns::Table, "table-row") + '>';
        const qsizetype end = find(m_document, endTag, begin);
        const qsizetype first = rowAt(begin);
        if (end < 0 || first < 0 || first > end || end - first < Enough)
            return false;
        const qsizetype split = rowAt(first + (end - first) / 2);
        if (split < 0 || split >= end)
            return false;
        auto giveUp = [&] {
            m_cells.clear();
            m_columns = ColumnStyles();
            m_row = 0;
            m_expanded = 0;
            m_fastRowsRead = 0;
            m_content = m_document;
            return false;
        };
        try {
            // The columns, read first (from a copy, wrapped): both halves look up their default
            // styles.
            const QByteArray columns =
                "<a>" + m_document.sliced(begin, first - begin).toByteArray() + "</a>";
            Scanner part(columns);
            part.next();
            m_content = columns;
            readContent(part);
            m_content = m_document;
            if (part.next() != Token::EndDocument || m_row != 0 || !m_cells.empty())
                return giveUp();
        } catch (...) {
            return giveUp();
        }
        try {
            SheetData secondSheet;
            SheetReader second(*this, secondSheet);
            second.m_document = m_document;
            second.m_rowTag = m_rowTag;
            second.m_rowEndTag = m_rowEndTag;
            if (fastRowsFit()) {
                m_fast.emplace(m_names.qualified(Ns::Table, "table-row"),
                               m_names.qualified(Ns::Table, "table-cell"),
                               m_names.qualified(Ns::Table, "covered-table-cell"),
                               m_names.qualified(Ns::Text, "p"));
                second.m_fast.emplace(*m_fast);
            }
            bool secondRead = false;
            std::thread worker([&] {
                try {
                    second.readRows(split, end);
                    secondRead = true;
                } catch (...) {
                }
            });
            bool firstRead = false;
            try {
                readRows(first, split);
                firstRead = true;
            } catch (...) {
            }
            worker.join();
            m_content = m_document;
            if (!firstRead || !secondRead)
                return giveUp();
            join(second, secondSheet);
        } catch (const std::system_error &) { // no thread to be had
            return giveUp();
        }
        s.skipContentTo(end);
        s.next(); // the table's end tag, checked against its start
        return true;
    }

    // Where the next row's start tag stands from a position on; -1 when none does.
    qsizetype rowAt(qsizetype from) const {
        for (qsizetype at = find(m_document, m_rowTag, from); at >= 0;
             at = find(m_document, m_rowTag, at + 1)) {
            const qsizetype next = at + m_rowTag.size();
            if (next < m_document.size() &&
                (m_document[next] == ' ' || m_document[next] == '>' || m_document[next] == '/' ||
                 m_document[next] == '\n' || m_document[next] == '\t' || m_document[next] == '\r'))
                return at; // a row's, not <table:table-rows>'s
        }
        return -1;
    }

    // Reads the rows that stand one after another from begin to end, each with a scanner of its
    // own; throws Damaged where anything else stands there.
    void readRows(qsizetype begin, qsizetype end) {
        auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
        qsizetype at = begin;
        for (;;) {
            while (at < end && blank(m_document[at]))
                ++at;
            if (at == end)
                return;
            if (rowAt(at) != at)
                throw Damaged{};
            if (m_fast) {
                const char *base = m_document.data();
                if (const char *next = m_fast->read(base + at, base + end)) {
                    readFastRow(*m_fast);
                    at = next - base;
                    continue;
                }
            }
            // The start tag's end: the first ">" outside quoted values.
            qsizetype close = at + m_rowTag.size();
            char quote = 0;
            for (; close < end; ++close) {
                const char c = m_document[close];
                if (quote)
                    quote = c == quote ? 0 : quote;
                else if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '>')
                    break;
            }
            if (close >= end)
                throw Damaged{};
            qsizetype rowEnd = close + 1;
            if (m_document[close - 1] != '/') {
                rowEnd = find(m_document, m_rowEndTag, close);
                if (rowEnd < 0 || rowEnd >= end)
                    throw Damaged{};
                rowEnd += m_rowEndTag.size();
            }
            const QByteArrayView row = m_document.sliced(at, rowEnd - at);
            Scanner r(row);
            m_content = row;
            r.next();
            readRow(r, m_row);
            if (r.next() != Token::EndDocument)
                throw Damaged{};
            at = rowEnd;
        }
    }

    // The second half's cells after the first's, its texts added to the sheet's.
    void join(const SheetReader &second, const SheetData &secondSheet) {
        const std::int64_t offset = m_row;
        if (m_cells.size() + second.m_cells.size() > MaxCells)
            throw Failure{tooManyCells()};
        const std::uint32_t strings = m_sheet.strings.count();
        for (std::uint32_t i = 0; i < secondSheet.strings.count(); ++i) {
            const QStringView text = secondSheet.strings.view(i);
            m_sheet.strings.add(reinterpret_cast<const char16_t *>(text.data()),
                                std::uint32_t(text.size()));
        }
        m_cells.reserve(m_cells.size() + second.m_cells.size());
        for (Cell c : second.m_cells) {
            if (offset + c.row >= SheetRows)
                throw Failure{beyondLastRow()};
            c.row = decltype(c.row)(offset + c.row);
            if (c.kind == CellKind::Text)
                c.text += strings;
            m_cells.push_back(c);
        }
        m_row = std::min<std::int64_t>(offset + second.m_row, std::int64_t(1) << 40);
        m_expanded += second.m_expanded;
        m_fastRowsRead += second.m_fastRowsRead;
        if (m_expanded > MaxExpandedSpaces)
            damaged("its texts repeat more spaces than any sheet holds");
    }

    QString beyondLastRow() const {
        return QStringLiteral("The sheet \"%1\" of the workbook \"%2\" has values beyond row %3, "
                              "which cannot be read")
            .arg(m_sheet.sheetName, m_path)
            .arg(SheetRows);
    }

    QString tooManyCells() const {
        return QStringLiteral("The sheet \"%1\" of the workbook \"%2\" holds more than %3 cells "
                              "with values, which cannot be read")
            .arg(m_sheet.sheetName, m_path)
            .arg(MaxCells);
    }

    void readContent(Scanner &s) {
        const int depth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() != Token::StartElement)
                continue;
            const QByteArrayView name = s.name();
            if (is(name, Ns::Table, "table-row")) {
                readRow(s, m_row);
            } else if (is(name, Ns::Table, "table-column")) {
                m_columns.read(s, m_names);
                s.skipElement();
            } else if (!m_names.isGroup(name)) {
                s.skipElement(); // the rows and columns lie within those; nothing else does
            }
        }
    }

    void readRow(Scanner &s, std::int64_t &row) {
        std::int64_t repeat = 1;
        QByteArrayView rowStyle;
        rowHead(s.attributes().data(), int(s.attributes().size()), repeat, rowStyle);
        std::int64_t column = 0;
        if (s.isEmptyElement()) {
            s.next();
        } else {
            const int depth = s.depth();
            while (!(s.next() == Token::EndElement && s.depth() < depth)) {
                if (s.token() != Token::StartElement)
                    continue;
                const QByteArrayView name = s.name();
                const bool covered = is(name, Ns::Table, "covered-table-cell");
                if (!covered && !is(name, Ns::Table, "table-cell")) {
                    s.skipElement();
                    continue;
                }
                // A covered cell of a merged range shows nothing, whatever it holds.
                if (covered)
                    skipContent(s);
                ScannedContent content{*this, s};
                addCell(covered, s.attributes().data(), int(s.attributes().size()), content, column,
                        rowStyle);
            }
        }
        commitRow(row, repeat);
    }

    // A row's repeat count and default cell style, from its attributes; its cells to come.
    void rowHead(const Attribute *attributes, int count, std::int64_t &repeat,
                 QByteArrayView &rowStyle) {
        QByteArrayView raw;
        if (m_names.attribute(attributes, count, Ns::Table, "number-rows-repeated", raw))
            parseCount(raw, SheetRows, repeat);
        repeat = std::max<std::int64_t>(repeat, 1);
        m_names.attribute(attributes, count, Ns::Table, "default-cell-style-name", rowStyle);
        m_rowCells.clear();
    }

    // A cell's value (none when covered) for each column it repeats over, from column on.
    template <typename Content>
    void addCell(bool covered, const Attribute *attributes, int n, Content &content,
                 std::int64_t &column, QByteArrayView rowStyle) {
        std::int64_t count = 1;
        QByteArrayView raw;
        if (m_names.attribute(attributes, n, Ns::Table, "number-columns-repeated", raw))
            parseCount(raw, JumboColumns, count);
        count = std::max<std::int64_t>(count, 1);
        if (covered || !readCell(attributes, n, content, column, rowStyle)) {
            column = std::min<std::int64_t>(column + count, std::int64_t(1) << 40);
            return;
        }
        if (column + count > JumboColumns)
            damaged("a cell lies outside the sheet");
        Cell c = m_rowCells.back();
        for (std::int64_t k = 1; k < count; ++k) {
            c.column = std::uint16_t(column + k);
            m_rowCells.push_back(c);
        }
        column += count;
    }

    // The row's values, once for each row it repeats over.
    void commitRow(std::int64_t &row, std::int64_t repeat) {
        if (!m_rowCells.empty()) {
            if (row + repeat > SheetRows)
                throw Failure{beyondLastRow()};
            if (m_cells.size() + m_rowCells.size() * std::size_t(repeat) > MaxCells)
                throw Failure{tooManyCells()};
            for (std::int64_t r = 0; r < repeat; ++r)
                for (Cell c : m_rowCells) {
                    c.row = decltype(c.row)(row + r);
                    m_cells.push_back(c);
                }
        }
        row = std::min<std::int64_t>(row + repeat, std::int64_t(1) << 40);
    }

    // The row the fast reader has just read, as readRow reads the same bytes.
    void readFastRow(const FastRowReader &f) {
        std::int64_t repeat = 1;
        QByteArrayView rowStyle;
        rowHead(f.rowAttributes().data(), int(f.rowAttributes().size()), repeat, rowStyle);
        std::int64_t column = 0;
        for (const FastRowReader::FastCell &c : f.cells()) {
            FastContent content{*this, f.paragraphs(c), c.paragraphCount, c.empty};
            addCell(c.covered, f.attributes(c), c.attributeCount, content, column, rowStyle);
        }
        commitRow(m_row, repeat);
        ++m_fastRowsRead;
    }

    // Whether the fast row reader reads this document's names as the scanner's path does: one
    // prefix bound to each of the vocabularies of rows, cells and paragraphs.
    bool fastRowsFit() const {
        return m_names.is(m_names.qualified(Ns::Table, "table-row"), Ns::Table, "table-row") &&
               m_names.is(m_names.qualified(Ns::Text, "p"), Ns::Text, "p") &&
               m_reading != RowReading::Scanner;
    }

    // A cell's content as readCell reads it: through the scanner, which stands on the cell's
    // start tag and ends on its end tag...
    struct ScannedContent {
        SheetReader &reader;
        Scanner &s;
        bool isEmpty() const { return s.isEmptyElement(); }
        void skipNumber() { reader.skipCell(s); }
        void skip() { skipContent(s); }
        void paragraphs(QString &out) { reader.readParagraphs(s, out); }
        QString decodeAttribute(QByteArrayView raw) const { return s.decodeAttribute(raw); }
    };
    // ... or as the fast row reader found it: plain paragraphs, undecoded.
    struct FastContent {
        SheetReader &reader;
        const QByteArrayView *texts;
        int count;
        bool empty;
        bool isEmpty() const { return empty; }
        void skipNumber() {}
        void skip() {}
        void paragraphs(QString &out) {
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    out += u'\n';
                reader.m_decoder.appendDecodedText(texts[i], out);
                if (out.size() > MaxTextLength)
                    damaged("a cell holds a text longer than any sheet holds");
            }
        }
        QString decodeAttribute(QByteArrayView raw) const {
            return reader.m_decoder.decodeAttribute(raw);
        }
    };

    // Reads the cell the scanner stands on (to its end tag); true with its value appended to
    // m_rowCells, false when it holds none.
    template <typename Content>
    bool readCell(const Attribute *attributes, int n, Content &s, std::int64_t column,
                  QByteArrayView rowStyle) {
        QByteArrayView found[int(Attr::Count)];
        bool present[int(Attr::Count)] = {};
        for (int k = 0; k < n; ++k) {
            const Attribute &a = attributes[k];
            for (int i = 0; i < int(Attr::Count); ++i) {
                const QByteArray &name = m_cellAttributes[i];
                if (a.name.size() == name.size() &&
                    std::memcmp(a.name.data(), name.constData(), size_t(name.size())) == 0) {
                    found[i] = a.raw;
                    present[i] = true;
                    break;
                }
            }
        }
        QByteArrayView type = found[int(Attr::Type)];
        const QByteArrayView calcType = found[int(Attr::CalcType)];
        const QByteArrayView value = found[int(Attr::Value)], date = found[int(Attr::Date)],
                             time = found[int(Attr::Time)], boolean = found[int(Attr::Boolean)],
                             stringValue = found[int(Attr::String)],
                             gnumericError = found[int(Attr::GnumericError)],
                             formulaText = found[int(Attr::Formula)];
        QByteArrayView style = found[int(Attr::Style)];
        const bool formula = present[int(Attr::Formula)], hasString = present[int(Attr::String)];
        if (type.isEmpty())
            type = calcType;
        const bool error = calcType == "error" || !gnumericError.isEmpty();
        const bool textual = error || type == "string" || (type.isEmpty() && !formula);
        Cell c;
        c.column = std::uint16_t(std::min<std::int64_t>(column, JumboColumns - 1));
        if (!textual) {
            s.skipNumber();
            if (type.isEmpty())
                return false; // a formula without a cached result
            // LibreOffice converts an Excel truth value into such a formula with a float result.
            if (formulaText == "of:=TRUE()" || formulaText == "of:=FALSE()") {
                c.kind = CellKind::Bool;
                c.code = formulaText == "of:=TRUE()" ? 1 : 0;
                m_rowCells.push_back(c);
                return true;
            }
            return typedValue(c, type, value, date, time, boolean, style, column, rowStyle);
        }
        // A text's value is its paragraphs unless office:string-value says otherwise; an
        // error's, the text shown for it (LibreOffice writes an empty string value).
        m_text.clear();
        if (error && !gnumericError.isEmpty())
            m_text = s.decodeAttribute(gnumericError);
        else if (hasString && !error)
            m_text = s.decodeAttribute(stringValue);
        if (m_text.isEmpty() && !(hasString && !error) && !s.isEmpty())
            s.paragraphs(m_text);
        else
            s.skip();
        if (error && m_text.isEmpty() && hasString)
            m_text = s.decodeAttribute(stringValue);
        if (m_text.isEmpty())
            return false;
        // Gnumeric writes a formula's error as its text alone.
        if (error || formula) {
            if (const std::optional<std::uint8_t> code = errorCode(m_text)) {
                c.kind = CellKind::Error;
                c.code = *code;
                m_rowCells.push_back(c);
                return true;
            }
        }
        c.kind = CellKind::Text;
        c.text = m_sheet.strings.add(m_text);
        m_rowCells.push_back(c);
        return true;
    }

    static void skipContent(Scanner &s) {
        if (s.isEmptyElement())
            s.next();
        else
            s.skipElement();
    }

    // A cell whose content is not read (the text a number is shown as): passed over to its end
    // tag, which is found by its bytes. The scanner still checks that tag.
    void skipCell(Scanner &s) {
        if (s.isEmptyElement()) {
            s.next();
            return;
        }
        if (m_cellEnd.isEmpty())
            m_cellEnd = "</" + s.name().toByteArray() + '>';
        const qsizetype end = find(m_content, m_cellEnd, s.position());
        // (m_content is the document the scanner reads: the whole part, or a half's copy)
        if (end < 0) {
            s.skipElement();
            return;
        }
        s.skipContentTo(end);
        s.next();
    }

    bool typedValue(Cell &c, QByteArrayView type, QByteArrayView value, QByteArrayView date,
                    QByteArrayView time, QByteArrayView boolean, QByteArrayView style,
                    std::int64_t column, QByteArrayView rowStyle) {
        double number = 0;
        if (type == "float" || type == "percentage" || type == "currency") {
            if (!parseNumber(value, number))
                damaged("a number cell does not hold a number");
            if (!std::isfinite(number)) {
                c.kind = CellKind::Error;
                c.code = 0x24; // #NUM!
                m_rowCells.push_back(c);
                return true;
            }
            NumberClass cls = NumberClass::Plain;
            if (type == "currency") {
                cls = NumberClass::Currency;
            } else if (type == "float") {
                if (style.isEmpty())
                    style = rowStyle.isEmpty() ? m_columns.at(column) : rowStyle;
                cls = style.isEmpty() ? NumberClass::Plain : classOf(style);
            }
            c.kind = cls == NumberClass::Date       ? CellKind::Date
                     : cls == NumberClass::Currency ? CellKind::Currency
                                                    : CellKind::Number;
            c.number = cls == NumberClass::Date ? serialFromDays(number + m_nullDays) : number;
        } else if (type == "date") {
            if (!parseDate(date, number))
                damaged("a date cell does not hold a date");
            c.kind = CellKind::Date;
            c.number = serialFromDays(number);
        } else if (type == "time") {
            if (!parseDuration(time, number))
                damaged("a time cell does not hold a duration");
            c.kind = CellKind::Date;
            c.number = number; // a time alone: serial 0 is no day in the 1900 system
        } else if (type == "boolean") {
            c.kind = CellKind::Bool;
            c.code = boolean == "true" || boolean == "1" ? 1 : 0;
        } else {
            return false; // "void" or unknown: no value
        }
        m_rowCells.push_back(c);
        return true;
    }

    NumberClass classOf(QByteArrayView style) {
        if (style != m_lastStyle) {
            m_lastStyle = style.toByteArray();
            m_lastClass = m_styles.classOf(style);
        }
        return m_lastClass;
    }

    // The cell's paragraphs (text:p, text:h, also inside lists), joined by line feeds; the
    // scanner stands on the cell and ends on its end tag.
    void readParagraphs(Scanner &s, QString &out) {
        bool first = true;
        const int depth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() != Token::StartElement)
                continue;
            const QByteArrayView name = s.name();
            if (is(name, Ns::Text, "p") || is(name, Ns::Text, "h")) {
                if (!first)
                    out += u'\n';
                first = false;
                paragraph(s, out);
            } else if (!is(name, Ns::Text, "list") && !is(name, Ns::Text, "list-item") &&
                       !is(name, Ns::Text, "list-header")) {
                s.skipElement(); // annotations, shapes, detective arrows
            }
        }
    }

    // One paragraph's text. Blanks written as such are kept as they stand: LibreOffice writes
    // runs of them so in some cells and reads them back so, and Gnumeric does the same, where
    // OpenDocument would collapse them. <text:s/>, <text:tab/> and <text:line-break/> stand for
    // what they say.
    void paragraph(Scanner &s, QString &out) {
        if (s.isEmptyElement()) {
            s.next();
            return;
        }
        const int depth = s.depth();
        while (!(s.next() == Token::EndElement && s.depth() < depth)) {
            if (s.token() == Token::Text) {
                s.appendText(out);
            } else if (s.token() == Token::StartElement) {
                const QByteArrayView name = s.name();
                if (is(name, Ns::Text, "s")) {
                    std::int64_t count = 1;
                    QByteArrayView raw;
                    if (m_names.attribute(s, Ns::Text, "c", raw))
                        parseCount(raw, MaxTextLength, count);
                    m_expanded += count;
                    if (m_expanded > MaxExpandedSpaces)
                        damaged("its texts repeat more spaces than any sheet holds");
                    out += QString(qsizetype(std::max<std::int64_t>(count, 1)), u' ');
                    s.skipElement();
                } else if (is(name, Ns::Text, "tab")) {
                    out += u'\t';
                    s.skipElement();
                } else if (is(name, Ns::Text, "line-break")) {
                    out += u'\n';
                    s.skipElement();
                } else if (is(name, Ns::Office, "annotation") || is(name, Ns::Text, "note") ||
                           m_names.of(name.first(std::max<qsizetype>(0, name.indexOf(':')))) ==
                               Ns::Draw) {
                    s.skipElement();
                }
                // spans, links, fields: their text counts, so the scanner goes into them
            }
            if (out.size() > MaxTextLength)
                damaged("a cell holds a text longer than any sheet holds");
        }
    }

    SheetData &m_sheet;
    CellStyles &m_styles;
    const QString &m_path;
    RowReading m_reading = RowReading::Usual;
    QByteArrayView m_document; // the content part
    QByteArrayView m_content;  // what the scanner reads: the part, or a copy of half its rows
    QByteArray m_cellAttributes[int(Attr::Count)]; // as this document names them
    QByteArray m_cellEnd; // "</table:table-cell>" as this document writes it
    Names m_names;
    double m_nullDays = 0; // the null date, in days since 1899-12-30
    std::vector<Cell> m_cells;
    std::vector<Cell> m_rowCells;
    std::int64_t m_row = 0;           // the next row of the table
    QByteArray m_rowTag, m_rowEndTag; // "<table:table-row", "</table:table-row>"
    ColumnStyles m_columns;
    QString m_text;
    QByteArray m_lastStyle;
    NumberClass m_lastClass = NumberClass::Plain;
    qsizetype m_expanded = 0;
    std::optional<FastRowReader> m_fast; // rows of the plain shape, in a half
    std::int64_t m_fastRowsRead = 0;
    Scanner m_decoder{QByteArrayView()}; // decodes the texts the fast reader found
};

} // namespace

std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName) {
    return readSheetRows(bytes, fileName, sheetName, RowReading::Usual);
}

std::unique_ptr<SheetData> readSheetRows(const QByteArray &bytes, const QString &fileName,
                                         const QString &sheetName, RowReading reading,
                                         std::int64_t *fastRows) {
    const QString path = displayPath(fileName);
    auto read = std::make_unique<SheetData>();
    SheetData &sheet = *read;
    const char *part = "META-INF/manifest.xml";
    try {
        const Package package(bytes);
        if (package.isEncrypted())
            protectedByPassword(path);
        CellStyles styles;
        if (package.hasPart("styles.xml")) {
            part = "styles.xml";
            styles.readDocument(package.part("styles.xml"));
        }
        part = "content.xml";
        SheetReader reader(sheet, styles, path, reading);
        if (!reader.run(package.part("content.xml"), sheetName))
            noSuchSheet(path, sheetName);
        if (fastRows)
            *fastRows = reader.fastRowsRead();
    } catch (const Failure &f) {
        throw CommandError(f.message);
    } catch (const xml::XmlError &e) {
        workbook::damaged(path, notWellFormed(part, e.text()));
    } catch (const Damage &e) {
        workbook::damaged(path, e.why);
    }
    return read;
}

} // namespace workbook::ods
