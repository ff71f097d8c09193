// The styles part first (for the data styles of common cell styles), then one pass over the
// content part: its automatic styles, the null date, and the sheet's rows, each row's values
// gathered once and copied for every row it repeats. A big sheet's rows are read in two halves
// at once, those of the shape LibreOffice writes by the fast row reader (odsfastrow); each
// cell's value is read by the cell reader (odscellreader), whichever way its row was read.
#include "workbook/ods/odsreader.h"

#include "common/commanderror.h"
#include "common/hugepages.h"
#include "common/secondthread.h"
#include "workbook/ods/odscellreader.h"
#include "workbook/ods/odsfastrow.h"
#include "workbook/ods/odspackage.h"
#include "workbook/ods/odsstyles.h"
#include "workbook/ods/odsvalues.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;
using Attribute = Scanner::Attribute;

[[noreturn]] void damaged(const char *why) {
    throw DamagedFile(QString::fromLatin1(why));
}

// What stops a half of the rows read at once: a row that is not whole XML, or runs past the
// half's end, or the half no longer wanted. The rows are then read in one pass.
[[noreturn]] void rowsNotInTwo() {
    damaged("a row is not whole");
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

// Where what last stands in bytes from from on; -1 when nowhere.
qsizetype findLast(QByteArrayView bytes, QByteArrayView what, qsizetype from) {
    if (what.isEmpty() || from < 0)
        return -1;
    for (qsizetype at = bytes.size() - what.size(); at >= from; --at) {
        const void *p = memrchr(bytes.data() + from, what[0], std::size_t(at - from + 1));
        if (!p)
            return -1;
        at = static_cast<const char *>(p) - bytes.data();
        if (std::memcmp(bytes.data() + at, what.data(), std::size_t(what.size())) == 0)
            return at;
    }
    return -1;
}

// Beyond this a sheet is not read: each value cell takes 16 bytes, and a repeated row or column
// copies its values.
constexpr std::size_t MaxCells = std::size_t(1) << 25;

class SheetReader {
public:
    std::int64_t fastRowsRead() const { return m_fastRowsRead; }

    SheetReader(SheetData &sheet, CellStyles &styles, const QString &path, RowReading reading)
        : m_sheet(sheet), m_styles(styles), m_path(path), m_reading(reading),
          m_cellReader(styles, sheet.strings), m_names(m_cellReader.names()) {}
    // A reader of part of the same sheet's rows, into a sheet of its own, knowing what the main
    // reader has read before the rows.
    SheetReader(const SheetReader &main, SheetData &part)
        : m_sheet(part), m_styles(main.m_styles), m_path(main.m_path),
          m_cellReader(main.m_cellReader, part.strings), m_names(m_cellReader.names()) {
        m_sheet.sheetName = main.m_sheet.sheetName;
    }

    // False when the document has no sheet of that name.
    bool run(QByteArrayView content, const QString &sheetName) {
        Scanner s(content);
        m_content = m_document = content;
        reserve(content.size());
        const auto readElement = [this](Scanner &s) {
            const QByteArrayView name = s.name();
            if (s.depth() == 1) {
                m_cellReader.readRoot(s);
            } else if (is(name, Ns::Office, "automatic-styles")) {
                m_styles.read(s, m_names, true);
            } else if (is(name, Ns::Table, "null-date")) {
                QByteArrayView raw;
                if (m_names.attribute(s, Ns::Table, "date-value", raw) &&
                    !parseDate(raw, m_cellReader.nullDays()))
                    damaged("its null date is not a date");
                s.skipElement();
            } else {
                return false;
            }
            return true;
        };
        const QString tableName = findTable(s, m_names, sheetName, readElement);
        if (tableName.isEmpty())
            return false;
        m_sheet.sheetName = tableName;
        readTable(s);
        m_sheet.setCells(std::move(m_cells));
        return true;
    }

private:
    // Room for what bytes of rows hold, as LibreOffice writes them, in 2 MiB pages where the
    // kernel offers them: a big sheet's cells and texts then cost few page faults and no copy.
    // Room reserved and not used costs no memory.
    void reserve(qsizetype bytes) {
        m_cells.reserve(std::size_t(bytes) / 128);
        preferHugePages(m_cells.data(), m_cells.capacity() * sizeof(Cell));
        m_sheet.strings.reserveStrings(std::size_t(bytes) / 128);
        m_sheet.strings.reserveChars(std::size_t(bytes) / 8);
        preferHugePages(m_sheet.strings.chars().constData(), std::size_t(bytes) / 8 * 2);
    }

    bool is(QByteArrayView name, Ns ns, const char *local) const {
        return m_names.is(name, ns, local);
    }

    void readTable(Scanner &s) {
        if (!s.isEmptyElement() && readInTwo(s))
            return;
        readContent(s);
    }

    // The rows of a big sheet are read in two halves at once, where the sheet parts cleanly: its
    // rows follow one another with nothing but white space between them, and each of them is
    // whole XML. Each row is read by the fast row reader or by a scanner of its own over its
    // bytes, where they stand. The halves part half way to the document's last end of a table,
    // and the second half ends where something other than a row stands, which must be the end
    // of this table; where the first half meets that end before the middle, it alone holds the
    // rows. Anything else (rows in groups, names or shapes after the rows, a damaged row) is
    // read in one pass, which finds what is wrong.
    bool readInTwo(Scanner &s) {
        if (m_reading == RowReading::Scanner)
            return false;
        // Below this a thread costs more.
        const qsizetype Enough = m_reading == RowReading::Halves ? 0 : qsizetype(8) << 20;
        const qsizetype begin = s.tokenEnd();
        const QByteArray endTag = "</" + s.name().toByteArray() + '>';
        m_rowTag = '<' + m_names.qualified(Ns::Table, "table-row");
        m_rowEndTag = "</" + m_names.qualified(Ns::Table, "table-row") + '>';
        const qsizetype last = findLast(m_document, endTag, begin);
        const qsizetype first = rowAt(begin);
        if (last < 0 || first < 0 || first > last || last - first < Enough)
            return false;
        const qsizetype split = rowAt(first + (last - first) / 2);
        if (split < 0 || split >= last)
            return false;
        qsizetype end = -1; // of the rows: the table's end tag
        auto giveUp = [&] {
            m_cells.clear();
            m_cellReader.columns() = ColumnStyles();
            m_row = 0;
            m_cellReader.clearExpandedSpaces();
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
        } catch (const DamagedFile &) { // the one pass finds what is wrong
            return giveUp();
        } catch (const CommandError &) {
            return giveUp();
        }
        {
            SheetData secondSheet;
            SheetReader second(*this, secondSheet);
            second.m_document = m_document;
            second.reserve(last - split);
            second.m_rowTag = m_rowTag;
            second.m_rowEndTag = m_rowEndTag;
            if (fastRowsFit()) {
                m_fast.emplace(m_names.qualified(Ns::Table, "table-row"),
                               m_names.qualified(Ns::Table, "table-cell"),
                               m_names.qualified(Ns::Table, "covered-table-cell"),
                               m_names.qualified(Ns::Text, "p"));
                second.m_fast.emplace(*m_fast);
            }
            std::atomic<bool> stop{false};
            second.m_stop = &stop;
            qsizetype secondEnd = -1, firstEnd = -1;
            // A half that finds the file damaged or the sheet too big leaves its end at -1 for the
            // one pass to find the first fault; anything else (no memory) ends the read.
            SecondThread worker([&] {
                try {
                    secondEnd = second.readRows(split, m_document.size());
                } catch (const DamagedFile &) {
                } catch (const CommandError &) {
                }
            });
            try {
                firstEnd = readRows(first, split);
            } catch (const DamagedFile &) {
            } catch (const CommandError &) {
            } catch (const std::exception &) {
                stop = true; // and the worker is joined as the exception leaves
                throw;
            }
            if (firstEnd != split)
                stop = true; // the second half is not wanted
            worker.wait();
            m_content = m_document;
            if (firstEnd == split && secondEnd >= 0)
                join(second, secondSheet);
            else if (firstEnd < 0 || firstEnd == split)
                return giveUp();
            end = firstEnd == split ? secondEnd : firstEnd;
            if (!m_document.sliced(end).startsWith(endTag))
                return giveUp();
        }
        s.skipContentTo(end);
        s.next(); // the table's end tag, checked against its start
        return true;
    }

    // Where the next row's start tag stands from a position on; -1 when none does.
    qsizetype rowAt(qsizetype from) const {
        for (qsizetype at = find(m_document, m_rowTag, from); at >= 0;
             at = find(m_document, m_rowTag, at + 1))
            if (isRowAt(at))
                return at;
        return -1;
    }

    // Whether a row's start tag stands there (not <table:table-rows>).
    bool isRowAt(qsizetype at) const {
        const qsizetype next = at + m_rowTag.size();
        if (next >= m_document.size() || !m_document.sliced(at).startsWith(m_rowTag))
            return false;
        const char c = m_document[next];
        return c == ' ' || c == '>' || c == '/' || c == '\n' || c == '\t' || c == '\r';
    }

    // Reads the rows that stand one after another from begin to end; where it ends, or where
    // something other than a row stands first. Throws DamagedFile where a row is not whole XML
    // or runs past end, or when told to stop.
    qsizetype readRows(qsizetype begin, qsizetype end) {
        auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
        qsizetype at = begin;
        for (;;) {
            while (at < end && blank(m_document[at]))
                ++at;
            if (at == end || !isRowAt(at))
                return at;
            if (m_stop && m_stop->load(std::memory_order_relaxed))
                rowsNotInTwo();
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
                rowsNotInTwo();
            qsizetype rowEnd = close + 1;
            if (m_document[close - 1] != '/') {
                rowEnd = find(m_document, m_rowEndTag, close);
                if (rowEnd < 0 || rowEnd >= end)
                    rowsNotInTwo();
                rowEnd += m_rowEndTag.size();
            }
            const QByteArrayView row = m_document.sliced(at, rowEnd - at);
            Scanner r(row);
            m_content = row;
            r.next();
            readRow(r, m_row);
            if (r.next() != Token::EndDocument)
                rowsNotInTwo();
            at = rowEnd;
        }
    }

    // The second half's cells after the first's, its texts added to the sheet's.
    void join(const SheetReader &second, const SheetData &secondSheet) {
        const std::int64_t offset = m_row;
        if (m_cells.size() + second.m_cells.size() > MaxCells)
            throw CommandError(tooManyCells());
        const std::uint32_t strings = m_sheet.strings.addAll(secondSheet.strings);
        m_cells.reserve(m_cells.size() + second.m_cells.size());
        for (Cell c : second.m_cells) {
            if (offset + c.row >= SheetRows)
                throw CommandError(beyondLastRow());
            c.row = decltype(c.row)(offset + c.row);
            if (c.kind == CellKind::Text)
                c.text += strings;
            m_cells.push_back(c);
        }
        m_row = std::min<std::int64_t>(offset + second.m_row, std::int64_t(1) << 40);
        m_cellReader.addExpandedSpaces(second.m_cellReader.expandedSpaces());
        m_fastRowsRead += second.m_fastRowsRead;
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
                m_cellReader.columns().read(s, m_names);
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
                if (!is(name, Ns::Table, "table-cell") &&
                    !is(name, Ns::Table, "covered-table-cell")) {
                    s.skipElement();
                    continue;
                }
                CellReader::Scanned content(m_cellReader, s, m_content);
                addCell(s.attributes().data(), int(s.attributes().size()), content, column,
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

    // A cell's value for each column it repeats over, from column on. A cell covered by a merged
    // range holds the value it had before the merge, as LibreOffice keeps and shows it; the
    // write-back refuses changes to it all the same.
    void addCell(const Attribute *attributes, int n, CellReader::Content &content,
                 std::int64_t &column, QByteArrayView rowStyle) {
        std::int64_t count = 1;
        QByteArrayView raw;
        if (m_names.attribute(attributes, n, Ns::Table, "number-columns-repeated", raw))
            parseCount(raw, JumboColumns, count);
        count = std::max<std::int64_t>(count, 1);
        Cell c;
        if (!m_cellReader.read(attributes, n, content, column, rowStyle, c)) {
            column = std::min<std::int64_t>(column + count, std::int64_t(1) << 40);
            return;
        }
        if (column + count > JumboColumns)
            damaged("a cell lies outside the sheet");
        m_rowCells.push_back(c);
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
                throw CommandError(beyondLastRow());
            if (m_cells.size() + m_rowCells.size() * std::size_t(repeat) > MaxCells)
                throw CommandError(tooManyCells());
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
            CellReader::Fast content(m_cellReader, f.paragraphs(c), c.paragraphCount, c.empty);
            addCell(f.attributes(c), c.attributeCount, content, column, rowStyle);
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

    SheetData &m_sheet;
    CellStyles &m_styles;
    const QString &m_path;
    RowReading m_reading = RowReading::Usual;
    QByteArrayView m_document; // the content part
    QByteArrayView m_content;  // what the scanner reads: the part, the columns' copy or a row
    CellReader m_cellReader;
    const Names &m_names; // the cell reader's
    std::vector<Cell> m_cells;
    std::vector<Cell> m_rowCells;
    std::int64_t m_row = 0;              // the next row of the table
    QByteArray m_rowTag, m_rowEndTag;    // "<table:table-row", "</table:table-row>"
    std::optional<FastRowReader> m_fast; // rows of the plain shape, in a half
    std::int64_t m_fastRowsRead = 0;
    const std::atomic<bool> *m_stop = nullptr; // a second half's: no longer wanted
};

} // namespace

QStringList sheetNames(const QByteArray &bytes, const QString &fileName) {
    const QString path = displayPath(fileName);
    const char *part = "META-INF/manifest.xml";
    try {
        const Package package(bytes);
        if (package.isEncrypted())
            protectedByPassword(path);
        part = "content.xml";
        const QByteArray content = package.part("content.xml");
        Scanner s(content);
        Names names;
        return tableNames(s, names);
    } catch (const xml::XmlError &e) {
        workbook::damaged(path, notWellFormed(part, e.text()));
    } catch (const DamagedFile &e) {
        workbook::damaged(path, e.why);
    }
}

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
    } catch (const xml::XmlError &e) {
        workbook::damaged(path, notWellFormed(part, e.text()));
    } catch (const DamagedFile &e) {
        workbook::damaged(path, e.why);
    }
    return read;
}

} // namespace workbook::ods
