// The workbook reader: compound file, BIFF globals (shared strings, formats, sheets, date system,
// code page) and the cell table of one worksheet.
#include "sources/workbook/workbookreader.h"

#include "sources/workbook/biffrecords.h"
#include "sources/workbook/codepage.h"
#include "sources/workbook/compoundfile.h"
#include "sources/workbook/numberformat.h"
#include "workbook/formatkind.h"
#include "workbook/ods/odsreader.h"
#include "workbook/xlsx/xlsxreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unordered_map>

namespace workbook {

// ---------------------------------------------------------------------------------------------
// StringPool and SheetData

char16_t *StringPool::grow(std::uint32_t length) {
    const qsizetype at = m_chars.size();
    m_chars.resize(at + qsizetype(length)); // new characters are left as they are
    return reinterpret_cast<char16_t *>(m_chars.data()) + at;
}

void StringPool::append(const char16_t *chars, std::uint32_t length) {
    std::memcpy(grow(length), chars, std::size_t(length) * 2);
}

void StringPool::appendUtf16Le(const char *bytes, std::uint32_t length) {
    qFromLittleEndian<quint16>(bytes, length, grow(length));
}

void StringPool::appendLatin1(const char *bytes, std::uint32_t length) {
    char16_t *out = grow(length);
    for (std::uint32_t i = 0; i < length; ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
}

std::uint32_t StringPool::finish() {
    const auto end = std::uint32_t(m_chars.size());
    m_spans.push_back(Span{m_open, end - m_open});
    m_open = end;
    return std::uint32_t(m_spans.size() - 1);
}

std::uint32_t StringPool::add(const char16_t *chars, std::uint32_t length) {
    append(chars, length);
    return finish();
}

std::uint32_t StringPool::add(const QString &text) {
    return add(reinterpret_cast<const char16_t *>(text.utf16()), std::uint32_t(text.size()));
}

QStringView StringPool::view(std::uint32_t index) const {
    if (index >= m_spans.size())
        return QStringView();
    const Span &s = m_spans[index];
    return QStringView(m_chars.constData() + s.offset, qsizetype(s.length));
}

QString StringPool::at(std::uint32_t index) const {
    return view(index).toString();
}

const Cell *SheetData::cell(int row, int column) const {
    const int r = row - m_firstRow;
    if (r < 0 || r >= m_rowCount || column < m_firstColumn ||
        column >= m_firstColumn + m_columnCount)
        return nullptr;
    const Cell *begin = m_cells.data() + m_rowStart[std::size_t(r)];
    const Cell *end = m_cells.data() + m_rowStart[std::size_t(r) + 1];
    // Full rows are the common case: the cell sits at its column's offset.
    const std::ptrdiff_t guess = column - m_firstColumn;
    if (guess < end - begin && begin[guess].column == column)
        return begin + guess;
    const Cell *it =
        std::lower_bound(begin, end, column, [](const Cell &c, int col) { return c.column < col; });
    return it != end && it->column == column ? it : nullptr;
}

void SheetData::setCells(std::vector<Cell> cells) {
    auto before = [](const Cell &a, const Cell &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    // One look over the cells settles the usual case: in order, each position once, every
    // cell with a value.
    bool sorted = true, clean = true;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].kind == CellKind::Empty)
            clean = false;
        if (i > 0 && !before(cells[i - 1], cells[i])) {
            if (before(cells[i], cells[i - 1]))
                sorted = false;
            clean = false; // the same position twice
        }
    }
    if (!sorted)
        std::stable_sort(cells.begin(), cells.end(), before);
    if (!clean) {
        // Keep the last of cells at the same position, then drop those without a value.
        std::size_t out = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i + 1 < cells.size() && cells[i + 1].row == cells[i].row &&
                cells[i + 1].column == cells[i].column)
                continue;
            if (cells[i].kind != CellKind::Empty)
                cells[out++] = cells[i];
        }
        cells.resize(out);
    }
    // A copy costs more than the room it would give back, unless that is most of it.
    if (cells.capacity() > 2 * cells.size())
        cells.shrink_to_fit();
    m_cells = std::move(cells);
    m_rowStart.clear();
    if (m_cells.empty()) {
        m_firstRow = m_firstColumn = m_rowCount = m_columnCount = 0;
        return;
    }
    int minCol = std::numeric_limits<int>::max();
    int maxCol = -1;
    m_firstRow = m_cells.front().row;
    m_rowCount = m_cells.back().row - m_firstRow + 1;
    m_rowStart.resize(std::size_t(m_rowCount) + 1);
    int row = m_firstRow - 1;
    for (std::size_t i = 0; i < m_cells.size(); ++i) {
        const Cell &c = m_cells[i];
        minCol = std::min<int>(minCol, c.column);
        maxCol = std::max<int>(maxCol, c.column);
        // Rows without cells start where the next row with cells does.
        while (row < c.row)
            m_rowStart[std::size_t(++row - m_firstRow)] = std::uint32_t(i);
    }
    m_rowStart[std::size_t(m_rowCount)] = std::uint32_t(m_cells.size());
    m_firstColumn = minCol;
    m_columnCount = maxCol - minCol + 1;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool readWholeFile(const QString &fileName, QByteArray &bytes, FileIdentity &identity) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(fileName);
        errno = !info.exists() ? ENOENT : info.isDir() ? EISDIR : EACCES;
        return false;
    }
    struct stat st {};
    if (fstat(file.handle(), &st) != 0)
        return false;
    // Only a regular file: a pipe or a device could be read without end.
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (st.st_size > std::numeric_limits<int>::max()) {
        errno = EFBIG;
        return false;
    }
    bytes = file.read(qint64(st.st_size));
    if (file.error() != QFileDevice::NoError) {
        errno = EIO;
        return false;
    }
    identity = fileIdentity(fileName, bytes);
    return true;
}

namespace {

// Ends the reading of a file; its text completes the reader's message.
struct Damaged {
    QString why;
};
struct Failure {
    QString message;
};
struct PasswordProtected {};

[[noreturn]] void damaged(const char *why) {
    throw Damaged{QString::fromLatin1(why)};
}

// A run of record data split over a record and the CONTINUE records after it.
class Segments {
public:
    void add(const char *p, std::uint32_t n) {
        m_segs.push_back(Seg{p, n});
        if (m_segs.size() == 1) {
            m_p = p;
            m_end = p + n;
        }
    }

    bool atEnd() {
        skipEmpty();
        return m_p == m_end;
    }

    std::uint8_t u8() {
        if (m_p == m_end) {
            skipEmpty();
            if (m_p == m_end)
                damaged("a string runs past the end of its record");
        }
        return std::uint8_t(*m_p++);
    }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return std::uint16_t(lo | u8() << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | std::uint32_t(u16()) << 16;
    }
    void skip(std::uint64_t n) {
        while (n > 0) {
            skipEmpty();
            if (m_p == m_end)
                damaged("a string runs past the end of its record");
            const std::uint64_t take = std::min<std::uint64_t>(n, std::uint64_t(m_end - m_p));
            m_p += take;
            n -= take;
        }
    }

    // An XLUnicodeString's characters: when they continue in the next record, it starts with
    // a flag byte that may switch between one and two bytes per character.
    void characters(std::uint32_t count, bool wide, StringPool &pool) {
        while (count > 0) {
            if (m_p == m_end) {
                if (m_seg + 1 >= m_segs.size() || m_segs[m_seg + 1].n == 0)
                    damaged("a string runs past the end of its record");
                const Seg &s = m_segs[++m_seg];
                wide = (std::uint8_t(s.p[0]) & 1) != 0;
                m_p = s.p + 1;
                m_end = s.p + s.n;
            }
            const std::uint32_t bytes = std::uint32_t(m_end - m_p);
            const std::uint32_t take = std::min(wide ? bytes / 2 : bytes, count);
            if (take == 0) {
                m_p = m_end; // an odd byte left where two are needed
                continue;
            }
            if (wide)
                pool.appendUtf16Le(m_p, take);
            else
                pool.appendLatin1(m_p, take);
            m_p += wide ? take * 2 : take;
            count -= take;
        }
    }

    // A plain string (no runs, no phonetic data) lying whole in the current record: nearly
    // every string of a shared string table. False, with nothing read, for any other.
    bool plainString(StringPool &pool, std::uint32_t &index) {
        if (m_end - m_p < 3)
            return false;
        const std::uint32_t cch = workbook::u16(m_p);
        const std::uint8_t flags = std::uint8_t(m_p[2]);
        if (flags & 0x0C)
            return false;
        const bool wide = flags & 1;
        const std::uint32_t bytes = wide ? cch * 2 : cch;
        if (bytes > std::uint32_t(m_end - m_p) - 3)
            return false;
        if (wide)
            pool.appendUtf16Le(m_p + 3, cch);
        else
            pool.appendLatin1(m_p + 3, cch);
        index = pool.finish();
        m_p += 3 + bytes;
        return true;
    }

private:
    void skipEmpty() {
        while (m_p == m_end && m_seg + 1 < m_segs.size()) {
            const Seg &s = m_segs[++m_seg];
            m_p = s.p;
            m_end = s.p + s.n;
        }
    }

    struct Seg {
        const char *p;
        std::uint32_t n;
    };
    std::vector<Seg> m_segs;
    std::size_t m_seg = 0;
    const char *m_p = nullptr;
    const char *m_end = nullptr;
};

struct BoundSheet {
    std::uint32_t offset = 0;
    std::uint8_t type = 0; // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    QByteArray rawName;    // BIFF5: code page bytes, decoded after the globals
    QString name;
};

// A record of the stream, found by walking the record headers from the start: the walk checks
// the whole chain first, so a record's data always lies within the stream.
struct Record {
    std::uint16_t type;
    std::uint16_t length;
    std::uint32_t offset; // of its header
    const char *data;

    std::uint32_t next() const { return offset + 4 + length; }
};

class Parser {
public:
    Parser(const QByteArray &stream, int biff, SheetData &sheet)
        : m_stream(stream), m_base(stream.constData()), m_biff(biff), m_sheet(sheet) {}

    void run(const QString &fileName, const QString &sheetName);

private:
    Record record(std::uint32_t at) const {
        const char *p = m_base + at;
        return Record{u16(p), u16(p + 2), at, p + 4};
    }
    void globals();
    std::uint32_t sheetStart(const QString &fileName, const QString &sheetName);
    void cells(std::uint32_t bof);
    Segments continued(const Record &r, std::uint32_t skip) const;
    std::uint32_t unicodeString(Segments &s, std::uint32_t cch, StringPool &pool) const;
    std::uint32_t label(const Record &r, std::uint32_t at);
    QString decodeBytes(const char *p, std::size_t n) { return m_decoder->decode(p, n); }
    NumberClass classOf(std::uint16_t xf) const {
        return xf < m_xfClass.size() ? m_xfClass[xf] : NumberClass::Plain;
    }
    void number(std::vector<Cell> &out, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                double value) const;

    const QByteArray &m_stream;
    const char *m_base;
    int m_biff;
    SheetData &m_sheet;
    std::uint32_t m_end = 0;        // where the records end; zero padding may follow
    std::uint32_t m_globalsEnd = 0; // the globals' EOF, or m_end without one
    int m_codePage = 1252;
    std::unique_ptr<CodePageDecoder> m_decoder;
    std::vector<BoundSheet> m_sheets;
    std::vector<std::uint16_t> m_xfFormat;
    std::vector<NumberClass> m_xfClass;
    std::unordered_map<std::uint16_t, QString> m_formats;
    std::vector<std::uint32_t> m_sst; // shared string index -> pool index
};

Segments Parser::continued(const Record &r, std::uint32_t skip) const {
    Segments s;
    if (skip < r.length)
        s.add(r.data + skip, r.length - skip);
    else
        s.add(r.data + r.length, 0);
    for (std::uint32_t at = r.next(); at < m_end;) {
        const Record c = record(at);
        if (c.type != rec::Continue)
            break;
        s.add(c.data, c.length);
        at = c.next();
    }
    return s;
}

// BIFF8 strings: flags, optional run and phonetic sizes, characters, then runs and phonetic
// data, which are skipped.
std::uint32_t Parser::unicodeString(Segments &s, std::uint32_t cch, StringPool &pool) const {
    const std::uint8_t flags = s.u8();
    const std::uint32_t runs = (flags & 0x08) ? s.u16() : 0;
    const std::uint32_t phonetic = (flags & 0x04) ? s.u32() : 0;
    s.characters(cch, (flags & 0x01) != 0, pool);
    const std::uint32_t index = pool.finish();
    s.skip(std::uint64_t(runs) * 4 + phonetic);
    return index;
}

std::uint32_t Parser::label(const Record &r, std::uint32_t at) {
    if (m_biff >= 8) {
        Segments s = continued(r, at);
        const std::uint16_t cch = s.u16();
        return unicodeString(s, cch, m_sheet.strings);
    }
    if (std::uint32_t(r.length) < at + 2)
        damaged("a text cell is cut short");
    const char *p = r.data + at;
    const std::uint16_t cch = u16(p);
    // Excel 5.0/95 text: a byte count, then code page bytes (a long one may continue).
    QByteArray bytes(p + 2, std::min<qsizetype>(cch, r.length - at - 2));
    for (std::uint32_t next = r.next(); next < m_end && bytes.size() < cch;) {
        const Record c = record(next);
        if (c.type != rec::Continue)
            break;
        bytes.append(c.data, std::min<qsizetype>(c.length, cch - bytes.size()));
        next = c.next();
    }
    if (bytes.size() < cch)
        damaged("a text cell is cut short");
    return m_sheet.strings.add(decodeBytes(bytes.constData(), std::size_t(bytes.size())));
}

void Parser::globals() {
    std::vector<std::pair<std::uint16_t, QByteArray>> rawFormats; // BIFF5, decoded later
    std::uint32_t at = record(0).next();
    int depth = 0;
    for (; at < m_end; at = record(at).next()) {
        const Record r = record(at);
        const char *p = r.data;
        switch (r.type) {
        case rec::Bof:
            ++depth;
            break;
        case rec::Eof:
            break;
        case rec::FilePass:
            throw PasswordProtected{};
        case rec::CodePage:
            if (r.length >= 2)
                m_codePage = u16(p);
            break;
        case rec::DateMode:
            if (r.length >= 2)
                m_sheet.date1904 = u16(p) == 1;
            break;
        case rec::Xf:
            if (r.length >= 4)
                m_xfFormat.push_back(u16(p + 2));
            else
                m_xfFormat.push_back(0);
            break;
        case rec::Format:
            if (m_biff >= 8) {
                if (r.length < 5)
                    break;
                StringPool pool;
                Segments s;
                s.add(p + 2, r.length - 2u);
                try {
                    const std::uint16_t cch = s.u16();
                    m_formats[u16(p)] = pool.at(unicodeString(s, cch, pool));
                } catch (const Damaged &) {
                    // A format string cut short only costs the date recognition of its cells.
                }
            } else if (r.length >= 3) {
                const std::uint8_t cch = std::uint8_t(p[2]);
                rawFormats.emplace_back(u16(p),
                                        QByteArray(p + 3, std::min<int>(cch, r.length - 3)));
            }
            break;
        case rec::BoundSheet: {
            if (r.length < 7)
                damaged("a sheet entry is cut short");
            BoundSheet b;
            b.offset = u32(p);
            b.type = std::uint8_t(p[5]);
            const std::uint8_t cch = std::uint8_t(p[6]);
            if (m_biff >= 8) {
                StringPool pool;
                Segments s;
                s.add(p + 7, r.length - 7u);
                const std::uint8_t flags = s.u8();
                s.characters(cch, (flags & 1) != 0, pool);
                b.name = pool.at(pool.finish());
            } else {
                if (7u + cch > r.length)
                    damaged("a sheet name is cut short");
                b.rawName = QByteArray(p + 7, cch);
            }
            m_sheets.push_back(std::move(b));
            break;
        }
        case rec::Sst: {
            if (m_biff < 8 || r.length < 8)
                break;
            const std::uint32_t unique = u32(p + 4);
            Segments s = continued(r, 8);
            std::size_t total = r.length;
            for (std::uint32_t c = r.next(); c < m_end && record(c).type == rec::Continue;
                 c = record(c).next())
                total += record(c).length;
            // Each string takes at least three bytes: never trust the count for a reservation.
            const std::size_t strings = std::min<std::size_t>(unique, total / 3 + 1);
            m_sheet.strings.reserveChars(total);
            m_sheet.strings.reserveStrings(m_sheet.strings.count() + strings);
            m_sst.reserve(strings);
            for (std::uint32_t k = 0; k < unique && !s.atEnd(); ++k) {
                std::uint32_t index;
                if (!s.plainString(m_sheet.strings, index)) {
                    const std::uint16_t cch = s.u16();
                    index = unicodeString(s, cch, m_sheet.strings);
                }
                m_sst.push_back(index);
            }
            break;
        }
        default:
            break;
        }
        if (r.type == rec::Eof) {
            if (depth == 0)
                break;
            --depth;
        }
    }
    m_globalsEnd = std::min(at, m_end);

    // 8-bit text cannot be in UTF-16 (1200), yet Gnumeric's Excel 95 export says so: read it
    // as Gnumeric and LibreOffice themselves do, as Windows Latin 1.
    if (m_biff < 8 && m_codePage == 1200)
        m_codePage = 1252;
    m_decoder = std::make_unique<CodePageDecoder>(m_codePage);
    for (BoundSheet &b : m_sheets)
        if (m_biff < 8)
            b.name = decodeBytes(b.rawName.constData(), std::size_t(b.rawName.size()));
    for (const auto &[index, raw] : rawFormats)
        m_formats[index] = decodeBytes(raw.constData(), std::size_t(raw.size()));

    m_xfClass.reserve(m_xfFormat.size());
    for (std::uint16_t f : m_xfFormat) {
        const auto it = m_formats.find(f);
        m_xfClass.push_back(it != m_formats.end() ? classifyFormatString(it->second)
                                                  : classifyBuiltInFormat(f));
    }
}

std::uint32_t Parser::sheetStart(const QString &fileName, const QString &sheetName) {
    std::size_t position = 0;
    for (; position < m_sheets.size(); ++position)
        if (m_sheets[position].name.compare(sheetName, Qt::CaseInsensitive) == 0)
            break;
    if (position == m_sheets.size())
        throw Failure{QStringLiteral("The workbook \"%1\" has no sheet named \"%2\"")
                          .arg(fileName, sheetName)};
    const BoundSheet &b = m_sheets[position];
    m_sheet.sheetName = b.name;
    auto notWorksheet = [&] {
        return Failure{QStringLiteral("The sheet \"%1\" of the workbook \"%2\" is a chart or "
                                      "macro sheet, not a worksheet")
                           .arg(b.name, fileName)};
    };
    if (b.type != 0)
        throw notWorksheet();

    // Whether a record starts at the sheet's offset: a walk over the headers, from the globals'
    // end where the sheets usually are.
    std::uint32_t at = b.offset >= m_globalsEnd ? m_globalsEnd : 0;
    while (at < b.offset && at < m_end)
        at = record(at).next();
    std::uint32_t start = at;
    if (at != b.offset || at >= m_end || record(at).type != rec::Bof) {
        // A stale sheet offset: the sheets' substreams follow the globals in the same order.
        std::size_t seen = 0;
        start = m_end;
        int depth = 0;
        for (std::uint32_t i = m_globalsEnd < m_end ? record(m_globalsEnd).next() : m_end;
             i < m_end; i = record(i).next()) {
            const std::uint16_t type = record(i).type;
            if (type == rec::Bof) {
                if (depth == 0 && seen++ == position) {
                    start = i;
                    break;
                }
                ++depth;
            } else if (type == rec::Eof && depth > 0) {
                --depth;
            }
        }
        if (start == m_end)
            damaged("a sheet does not start where the workbook says");
    }
    const Record bof = record(start);
    if (bof.length < 4)
        damaged("a sheet does not start where the workbook says");
    const std::uint16_t dt = u16(bof.data + 2);
    if (dt != 0x0010)
        throw notWorksheet();
    return start;
}

void Parser::number(std::vector<Cell> &out, std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                    double value) const {
    Cell c;
    c.row = row;
    c.column = col;
    if (!std::isfinite(value)) {
        c.kind = CellKind::Error;
        c.code = 0x24; // #NUM!
    } else {
        c.number = value;
        switch (classOf(xf)) {
        case NumberClass::Date:
            c.kind = CellKind::Date;
            break;
        case NumberClass::Currency:
            c.kind = CellKind::Currency;
            break;
        case NumberClass::Plain:
            c.kind = CellKind::Number;
            break;
        }
    }
    out.push_back(c);
}

double rkValue(std::uint32_t rk) {
    double v;
    if (rk & 2) {
        v = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 1) ? v / 100 : v;
}

void Parser::cells(std::uint32_t bof) {
    std::vector<Cell> out;
    std::size_t estimate = 0;
    int depth = 0;
    std::uint32_t end = m_end;
    for (std::uint32_t at = record(bof).next(); at < m_end; at = record(at).next()) {
        const Record r = record(at);
        if (r.type == rec::Bof) {
            ++depth;
        } else if (r.type == rec::Eof && depth-- == 0) {
            end = at;
            break;
        } else if (r.type == rec::MulRk) {
            estimate += r.length / 6u;
        } else {
            ++estimate;
        }
    }
    out.reserve(estimate);

    // A formula with a text result: the text is in the STRING record that follows.
    bool pendingString = false;
    Cell pending;
    depth = 0;
    for (std::uint32_t at = record(bof).next(); at < end; at = record(at).next()) {
        const Record r = record(at);
        if (r.type == rec::Bof) {
            ++depth;
            continue;
        }
        if (r.type == rec::Eof) {
            --depth;
            continue;
        }
        if (depth > 0)
            continue;
        const char *p = r.data;
        switch (r.type) {
        case rec::Number:
            if (r.length < 14)
                damaged("a number cell is cut short");
            number(out, u16(p), u16(p + 2), u16(p + 4), f64(p + 6));
            break;
        case rec::Rk:
            if (r.length < 10)
                damaged("a number cell is cut short");
            number(out, u16(p), u16(p + 2), u16(p + 4), rkValue(u32(p + 6)));
            break;
        case rec::MulRk: {
            if (r.length < 6)
                damaged("a number cell is cut short");
            const std::uint16_t row = u16(p);
            const std::uint16_t first = u16(p + 2);
            const std::uint32_t n = (r.length - 6u) / 6u;
            if (first + n > 0x10000u)
                damaged("a row of numbers runs past the last column");
            for (std::uint32_t k = 0; k < n; ++k) {
                const char *e = p + 4 + k * 6;
                number(out, row, std::uint16_t(first + k), u16(e), rkValue(u32(e + 2)));
            }
            break;
        }
        case rec::LabelSst: {
            if (r.length < 10)
                damaged("a text cell is cut short");
            const std::uint32_t isst = u32(p + 6);
            if (isst >= m_sst.size())
                damaged("a text cell refers to a shared string that does not exist");
            Cell c;
            c.row = u16(p);
            c.column = u16(p + 2);
            c.text = m_sst[isst];
            c.kind = m_sheet.strings.length(c.text) ? CellKind::Text : CellKind::Empty;
            out.push_back(c);
            break;
        }
        case rec::Label:
        case rec::Rstring: {
            if (r.length < 8)
                damaged("a text cell is cut short");
            Cell c;
            c.row = u16(p);
            c.column = u16(p + 2);
            c.text = label(r, 6);
            c.kind = m_sheet.strings.length(c.text) ? CellKind::Text : CellKind::Empty;
            out.push_back(c);
            break;
        }
        case rec::BoolErr: {
            if (r.length < 8)
                damaged("a truth value cell is cut short");
            Cell c;
            c.row = u16(p);
            c.column = u16(p + 2);
            c.code = std::uint8_t(p[6]);
            c.kind = p[7] ? CellKind::Error : CellKind::Bool;
            if (c.kind == CellKind::Bool)
                c.code = c.code ? 1 : 0;
            out.push_back(c);
            break;
        }
        case rec::Formula: {
            if (r.length < 20)
                damaged("a formula cell is cut short");
            const std::uint16_t row = u16(p), col = u16(p + 2), xf = u16(p + 4);
            pendingString = false;
            if (u16(p + 12) != 0xFFFF) {
                number(out, row, col, xf, f64(p + 6));
                break;
            }
            Cell c;
            c.row = row;
            c.column = col;
            switch (std::uint8_t(p[6])) {
            case 0:
                pendingString = true;
                pending = c;
                break;
            case 1:
                c.kind = CellKind::Bool;
                c.code = p[8] ? 1 : 0;
                out.push_back(c);
                break;
            case 2:
                c.kind = CellKind::Error;
                c.code = std::uint8_t(p[8]);
                out.push_back(c);
                break;
            default: // an empty text result
                out.push_back(c);
                break;
            }
            break;
        }
        case rec::String:
            if (pendingString) {
                pendingString = false;
                pending.text = label(r, 0);
                pending.kind =
                    m_sheet.strings.length(pending.text) ? CellKind::Text : CellKind::Empty;
                out.push_back(pending);
            }
            break;
        case rec::Shrfmla:
        case rec::Array:
        case rec::Table:
        case rec::Continue:
            break;
        default:
            pendingString = false;
            break;
        }
    }
    m_sheet.setCells(std::move(out));
}

void Parser::run(const QString &fileName, const QString &sheetName) {
    if (!recordChainEnd(m_stream, m_end))
        damaged("a record runs past the end of the workbook stream");
    if (m_end == 0 || record(0).type != rec::Bof || record(0).length < 4)
        damaged("the workbook stream does not start with a BOF record");
    globals();
    cells(sheetStart(fileName, sheetName));
}

// libgsf reports what it finds wrong in a damaged file on standard error; the reader's own
// message says it to the user, so its reports are held back while a file is parsed.
class QuietGLib {
public:
    QuietGLib()
        : m_log(g_log_set_default_handler(ignoreLog, nullptr)),
          m_print(g_set_printerr_handler(ignorePrint)) {}
    ~QuietGLib() {
        g_log_set_default_handler(m_log, nullptr);
        g_set_printerr_handler(m_print);
    }
    QuietGLib(const QuietGLib &) = delete;
    QuietGLib &operator=(const QuietGLib &) = delete;

private:
    static void ignoreLog(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}
    static void ignorePrint(const gchar *) {}

    GLogFunc m_log;
    GPrintFunc m_print;
};

QString nativePath(const QString &fileName) {
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

bool WorkbookReader::readFile(const QString &fileName, const QString &sheetName) {
    m_sheet = SheetData();
    m_identity = FileIdentity();
    offerReadBytes(QString(), QByteArray(), FileIdentity());
    QByteArray bytes;
    FileIdentity identity;
    if (!readWholeFile(fileName, bytes, identity)) {
        const int err = errno;
        m_error = QStringLiteral("Cannot open the workbook \"%1\": %2")
                      .arg(nativePath(fileName), QString::fromLocal8Bit(std::strerror(err)));
        return false;
    }
    if (!readBytes(bytes, fileName, sheetName))
        return false;
    m_identity = identity;
    // Whether the workbook can be changed is asked next: of these bytes, not of a second read.
    offerReadBytes(fileName, bytes, identity);
    return true;
}

bool WorkbookReader::readBytes(const QByteArray &bytes, const QString &fileName,
                               const QString &sheetName) {
    m_sheet = SheetData();
    m_error.clear();
    const QString path = nativePath(fileName);
    auto fail = [&](const QString &message) {
        m_sheet = SheetData();
        m_error = message;
        return false;
    };
    auto notWorkbook = [&] {
        return fail(QStringLiteral("The file \"%1\" is not an Excel workbook").arg(path));
    };
    switch (formatKind(bytes)) {
    case FormatKind::Xls:
        break;
    case FormatKind::Xlsx:
        if (!xlsx::readWorkbook(bytes, path, sheetName, m_sheet, m_error))
            return fail(m_error);
        m_sheet.biffVersion = 0;
        return true;
    case FormatKind::Ods:
        if (!ods::readWorkbook(bytes, path, sheetName, m_sheet, m_error))
            return fail(m_error);
        m_sheet.biffVersion = 0;
        return true;
    case FormatKind::Unknown:
        return notWorkbook();
    }

    QByteArray stream;
    bool workbookStream = true;
    {
        CompoundFile file;
        bool parsed;
        {
            const QuietGLib quiet;
            parsed = file.parse(bytes, CompoundFile::StreamBytes::Viewed);
        }
        if (!parsed)
            return fail(QStringLiteral("The workbook \"%1\" is damaged: its compound file "
                                       "structure cannot be read")
                            .arg(path));
        // An encrypted .xlsx: the package is a stream of a compound file.
        if (file.root().child(QStringLiteral("EncryptedPackage")))
            return fail(QStringLiteral("The workbook \"%1\" is protected by a password and cannot "
                                       "be read")
                            .arg(path));
        OleEntry *entry = file.root().child(QStringLiteral("Workbook"));
        if (!entry || entry->isStorage) {
            entry = file.root().child(QStringLiteral("Book"));
            workbookStream = false;
        }
        if (!entry || entry->isStorage)
            return notWorkbook();
        stream = std::move(entry->data);
    }

    // The globals' BOF names the version; the stream name decides only when it does not.
    int biff = workbookStream ? 8 : 5;
    if (stream.size() >= 8 && u16(stream.constData()) == rec::Bof) {
        const std::uint16_t version = u16(stream.constData() + 4);
        if (version == 0x0600)
            biff = 8;
        else if (version == 0x0500)
            biff = 5;
    } else if (stream.size() >= 2) {
        const std::uint16_t type = u16(stream.constData());
        if (type == 0x0009 || type == 0x0209 || type == 0x0409)
            return fail(QStringLiteral("The workbook \"%1\" is in a format older than Excel 5.0, "
                                       "which cannot be read")
                            .arg(path));
    }
    m_sheet.biffVersion = biff;

    try {
        Parser parser(stream, biff, m_sheet);
        parser.run(path, sheetName);
    } catch (const Damaged &d) {
        return fail(QStringLiteral("The workbook \"%1\" is damaged: %2").arg(path, d.why));
    } catch (const PasswordProtected &) {
        return fail(QStringLiteral("The workbook \"%1\" is protected by a password and cannot be "
                                   "read")
                        .arg(path));
    } catch (const Failure &f) {
        return fail(f.message);
    }
    return true;
}

} // namespace workbook
