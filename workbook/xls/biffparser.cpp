// The BIFF records of a workbook stream: the globals (shared strings, formats, sheets, date
// system, code page), then the cell table of one worksheet. The record chain is checked whole
// before anything is read from it; every length in a record is checked before use.
#include "workbook/xls/biffparser.h"

#include "common/commanderror.h"
#include "workbook/numberformat.h"
#include "workbook/xls/biffstrings.h"
#include "workbook/xls/codepage.h"
#include "workbook/xls/xlserrors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace workbook::xls {

namespace {

// A text cell at the position its record starts with; a text of no characters is no value.
Cell textCell(const char *p, std::uint32_t text, const StringPool &pool) {
    Cell c;
    c.row = u16(p);
    c.column = u16(p + 2);
    c.text = text;
    c.kind = pool.length(text) ? CellKind::Text : CellKind::Empty;
    return c;
}

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

class SheetReader {
public:
    SheetReader(const QByteArray &stream, int biff, const QString &path, SheetData &sheet)
        : m_stream(stream), m_base(stream.constData()), m_biff(biff), m_path(path), m_sheet(sheet) {
    }

    void run(const QString &sheetName);
    QStringList worksheetNames();

private:
    void start();
    // A record whose data is shorter than the minimum is damaged.
    void need(const Record &r, std::uint32_t minimum, const char *why) const {
        if (r.length < minimum)
            damaged(m_path, why);
    }
    Record record(std::uint32_t at) const {
        const char *p = m_base + at;
        return Record{recordType(u16(p)), u16(p + 2), at, p + 4};
    }
    void globals();
    std::uint32_t sheetStart(const QString &sheetName);
    void cells(std::uint32_t bof);
    ContinuedData continued(const Record &r, std::uint32_t skip) const;
    std::uint32_t unicodeString(ContinuedData &s, std::uint32_t cch, StringPool &pool) const;
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
    const QString &m_path;
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

ContinuedData SheetReader::continued(const Record &r, std::uint32_t skip) const {
    ContinuedData s(m_path);
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
std::uint32_t SheetReader::unicodeString(ContinuedData &s, std::uint32_t cch,
                                         StringPool &pool) const {
    const std::uint8_t flags = s.u8();
    const std::uint32_t runs = (flags & 0x08) ? s.u16() : 0;
    const std::uint32_t phonetic = (flags & 0x04) ? s.u32() : 0;
    s.characters(cch, (flags & 0x01) != 0, pool);
    const std::uint32_t index = pool.finish();
    s.skip(std::uint64_t(runs) * 4 + phonetic);
    return index;
}

std::uint32_t SheetReader::label(const Record &r, std::uint32_t at) {
    if (m_biff >= 8) {
        ContinuedData s = continued(r, at);
        const std::uint16_t cch = s.u16();
        return unicodeString(s, cch, m_sheet.strings);
    }
    if (std::uint32_t(r.length) < at + 2)
        damaged(m_path, "a text cell is cut short");
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
        damaged(m_path, "a text cell is cut short");
    return m_sheet.strings.add(decodeBytes(bytes.constData(), std::size_t(bytes.size())));
}

void SheetReader::globals() {
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
            protectedByPassword(m_path);
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
                ContinuedData s(m_path);
                s.add(p + 2, r.length - 2u);
                try {
                    const std::uint16_t cch = s.u16();
                    m_formats[u16(p)] = pool.at(unicodeString(s, cch, pool));
                } catch (const CommandError &) {
                    // A format string cut short only costs the date recognition of its cells.
                }
            } else if (r.length >= 3) {
                const std::uint8_t cch = std::uint8_t(p[2]);
                rawFormats.emplace_back(u16(p),
                                        QByteArray(p + 3, std::min<int>(cch, r.length - 3)));
            }
            break;
        case rec::BoundSheet: {
            need(r, 7, "a sheet entry is cut short");
            BoundSheet b;
            b.offset = u32(p);
            b.type = std::uint8_t(p[5]);
            const std::uint8_t cch = std::uint8_t(p[6]);
            if (m_biff >= 8) {
                StringPool pool;
                ContinuedData s(m_path);
                s.add(p + 7, r.length - 7u);
                const std::uint8_t flags = s.u8();
                s.characters(cch, (flags & 1) != 0, pool);
                b.name = pool.at(pool.finish());
            } else {
                if (7u + cch > r.length)
                    damaged(m_path, "a sheet name is cut short");
                b.rawName = QByteArray(p + 7, cch);
            }
            m_sheets.push_back(std::move(b));
            break;
        }
        case rec::Sst: {
            if (m_biff < 8 || r.length < 8)
                break;
            const std::uint32_t unique = u32(p + 4);
            ContinuedData s = continued(r, 8);
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

std::uint32_t SheetReader::sheetStart(const QString &sheetName) {
    std::size_t position = 0;
    for (; position < m_sheets.size(); ++position)
        if (m_sheets[position].name.compare(sheetName, Qt::CaseInsensitive) == 0)
            break;
    if (position == m_sheets.size())
        noSuchSheet(m_path, sheetName);
    const BoundSheet &b = m_sheets[position];
    m_sheet.sheetName = b.name;
    if (b.type != 0)
        notAWorksheet(m_path, b.name);

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
            damaged(m_path, "a sheet does not start where the workbook says");
    }
    const Record bof = record(start);
    need(bof, 4, "a sheet does not start where the workbook says");
    const std::uint16_t dt = u16(bof.data + 2);
    if (dt != WorksheetKind)
        notAWorksheet(m_path, b.name);
    return start;
}

void SheetReader::number(std::vector<Cell> &out, std::uint16_t row, std::uint16_t col,
                         std::uint16_t xf, double value) const {
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

void SheetReader::cells(std::uint32_t bof) {
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
            need(r, 14, "a number cell is cut short");
            number(out, u16(p), u16(p + 2), u16(p + 4), f64(p + 6));
            break;
        case rec::Rk:
            need(r, 10, "a number cell is cut short");
            number(out, u16(p), u16(p + 2), u16(p + 4), rkValue(u32(p + 6)));
            break;
        case rec::MulRk: {
            need(r, 6, "a number cell is cut short");
            const std::uint16_t row = u16(p);
            const std::uint16_t first = u16(p + 2);
            const std::uint32_t n = (r.length - 6u) / 6u;
            if (first + n > 0x10000u)
                damaged(m_path, "a row of numbers runs past the last column");
            for (std::uint32_t k = 0; k < n; ++k) {
                const char *e = p + 4 + k * 6;
                number(out, row, std::uint16_t(first + k), u16(e), rkValue(u32(e + 2)));
            }
            break;
        }
        case rec::LabelSst: {
            need(r, 10, "a text cell is cut short");
            const std::uint32_t isst = u32(p + 6);
            if (isst >= m_sst.size())
                damaged(m_path, "a text cell refers to a shared string that does not exist");
            out.push_back(textCell(p, m_sst[isst], m_sheet.strings));
            break;
        }
        case rec::Label:
        case rec::Rstring: {
            need(r, 8, "a text cell is cut short");
            out.push_back(textCell(p, label(r, 6), m_sheet.strings));
            break;
        }
        case rec::BoolErr: {
            need(r, 8, "a truth value cell is cut short");
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
            need(r, 20, "a formula cell is cut short");
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
            if (isPadding(r.type, r.length))
                break;
            pendingString = false;
            break;
        }
    }
    m_sheet.setCells(std::move(out));
}

void SheetReader::start() {
    if (!recordChainEnd(m_stream, m_end))
        damaged(m_path, "a record runs past the end of the workbook stream");
    if (m_end == 0 || record(0).type != rec::Bof || record(0).length < 4)
        damaged(m_path, "the workbook stream does not start with a BOF record");
    globals();
}

void SheetReader::run(const QString &sheetName) {
    start();
    cells(sheetStart(sheetName));
}

QStringList SheetReader::worksheetNames() {
    start();
    QStringList names;
    for (const BoundSheet &b : m_sheets)
        if (b.type == 0)
            names << b.name;
    return names;
}

} // namespace

void parseWorkbookStream(const QByteArray &stream, int biff, const QString &path,
                         const QString &sheetName, SheetData &sheet) {
    SheetReader(stream, biff, path, sheet).run(sheetName);
}

QStringList worksheetNames(const QByteArray &stream, int biff, const QString &path) {
    SheetData globals;
    return SheetReader(stream, biff, path, globals).worksheetNames();
}

} // namespace workbook::xls
