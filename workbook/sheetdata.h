// The sheet model every workbook format reads into: the cells of one sheet with their kinds and
// values, their texts in one pool, and the used range. It knows no file format; a format's
// limits (rows, columns, text length) belong to that format.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace workbook {

enum class CellKind : std::uint8_t { Empty, Number, Date, Currency, Text, Bool, Error };

// Sixteen bytes: a sheet may hold millions of cells.
struct Cell {
    union {
        double number;      // Number, Date (a serial of the workbook's date system), Currency
        std::uint32_t text; // Text: index into SheetData::strings
    };
    std::uint32_t row = 0;    // sheet row, 0-based (a sheet has at most 1,048,576)
    std::uint16_t column = 0; // sheet column, 0-based (at most 16,384)
    CellKind kind = CellKind::Empty;
    // Bool: 0 or 1; Error: the error code (0x07 #DIV/0! ...); Date: EarlyDate or 0.
    std::uint8_t code = 0;

    Cell() : number(0) {}
};
static_assert(sizeof(Cell) == 16, "a cell is kept in sixteen bytes");

// The code of a Date cell whose number is a date of the calendar before its date system's first
// day (an OpenDocument or ISO date before 1900), counted on below that day: a negative number of
// any other date cell (a negative duration) is no date.
inline constexpr std::uint8_t EarlyDate = 1;

// All texts of a sheet in one block, so that a big shared string table costs no allocation per
// string.
class StringPool {
public:
    std::uint32_t add(const char16_t *chars, std::uint32_t length);
    std::uint32_t add(const QString &text);
    QString at(std::uint32_t index) const;
    // The same characters without a copy; valid until the pool changes. Empty past the end.
    // Inline: a long export reads every cell's text through it.
    QStringView view(std::uint32_t index) const {
        if (index >= m_spans.size())
            return QStringView();
        const Span &s = m_spans[index];
        return QStringView(m_chars.constData() + s.offset, qsizetype(s.length));
    }
    std::uint32_t length(std::uint32_t index) const { return m_spans[index].length; }
    std::uint32_t count() const { return std::uint32_t(m_spans.size()); }
    // All texts' characters together: view() points into this text, which a KML buffer can
    // share instead of copying them.
    const QString &chars() const { return m_chars; }

    // Appends characters to the string that the next finish() closes.
    void append(const char16_t *chars, std::uint32_t length);
    void appendLatin1(const char *bytes, std::uint32_t length);
    void appendUtf16Le(const char *bytes, std::uint32_t length);
    std::uint32_t finish();
    // Adds every text of another pool after this one's, in its order, in one copy; returns the
    // index the first of them gets.
    std::uint32_t addAll(const StringPool &other);
    void reserveChars(std::size_t n) { m_chars.reserve(qsizetype(n)); }
    void reserveStrings(std::size_t n) { m_spans.reserve(n); }

private:
    // Eight bytes: a sheet may hold hundreds of thousands of texts. A pool never holds more
    // characters than its workbook has bytes, which fits 32 bits.
    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    char16_t *grow(std::uint32_t length);

    QString m_chars; // grows without filling its new room first

    std::vector<Span> m_spans;
    std::uint32_t m_open = 0; // where the string being appended starts
};

// The cells of one sheet, row by row. Rows and columns are sheet positions (0-based); the used
// range is the smallest rectangle holding every cell with a value.
class SheetData {
public:
    QString sheetName; // as the workbook spells it
    bool date1904 = false;
    StringPool strings;

    bool isEmpty() const { return m_cells.empty(); }
    int firstRow() const { return m_firstRow; }
    int firstColumn() const { return m_firstColumn; }
    int rowCount() const { return m_rowCount; }       // of the used range
    int columnCount() const { return m_columnCount; } // of the used range

    // The cell at that sheet position; null when it holds no value. The usual case, a full row,
    // inline: a long export reads every cell through it.
    const Cell *cell(int row, int column) const {
        const int r = row - m_firstRow;
        if (r < 0 || r >= m_rowCount || column < m_firstColumn ||
            column >= m_firstColumn + m_columnCount)
            return nullptr;
        const Cell *begin = m_cells.data() + m_rowStart[std::size_t(r)];
        const Cell *end = m_cells.data() + m_rowStart[std::size_t(r) + 1];
        const std::ptrdiff_t guess = column - m_firstColumn;
        if (guess < end - begin && begin[guess].column == column)
            return begin + guess;
        return cellInRow(begin, end, column);
    }
    QString text(const Cell &c) const { return strings.at(c.text); }
    std::size_t cellCount() const { return m_cells.size(); }
    const std::vector<Cell> &cells() const { return m_cells; }

    // Takes cells in any order; a later cell at the same position replaces an earlier one and
    // cells without a value are dropped. Fixes the used range.
    void setCells(std::vector<Cell> cells);

private:
    // The cell of that column among a row's cells, by search.
    static const Cell *cellInRow(const Cell *begin, const Cell *end, int column);

    std::vector<Cell> m_cells;             // by row, then column
    std::vector<std::uint32_t> m_rowStart; // per used-range row, index of its first cell
    int m_firstRow = 0;
    int m_firstColumn = 0;
    int m_rowCount = 0;
    int m_columnCount = 0;
};

} // namespace workbook
