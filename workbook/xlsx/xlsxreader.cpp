// The package is followed from its relationships to the sheet's part (never guessed from its
// name); the shared strings and the styles' number formats are read first, then the sheet's
// cells in one pass over its XML.
#include "workbook/xlsx/xlsxreader.h"

#include "common/commanderror.h"
#include "common/hugepages.h"
#include "common/secondthread.h"
#include "workbook/fieldtext.h"
#include "workbook/workbookerrors.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xml/xmlelement.h"
#include "workbook/xml/xmlvalues.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <optional>
#include <unordered_map>

namespace workbook::xlsx {

namespace {

// Parts larger than this together are read one after the other (see readWorkbook).
constexpr std::uint64_t ParallelPartsLimit = std::uint64_t(256) << 20;

using xml::Scanner;
using Token = Scanner::Token;

using xml::is;

using xml::parseIndex;
using xml::parseNumber;
using xml::trimmed;

// An ISO 8601 date and time (cells of type "d") as a serial day of the date system. A time of
// day alone ("10:10:10", as openpyxl writes a time) is the fraction of a day that a time-only
// number cell holds.
bool isoSerial(QByteArrayView raw, bool date1904, double &serial) {
    const QString text = QString::fromLatin1(trimmed(raw));
    QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!at.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid()) {
            const QTime time = QTime::fromString(text, Qt::ISODateWithMs);
            if (!time.isValid())
                return false;
            serial = time.msecsSinceStartOfDay() / 86400000.0;
            return true;
        }
        at = QDateTime(day, QTime(0, 0));
    }
    const QDate epoch = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    serial = double(epoch.daysTo(at.date())) + at.time().msecsSinceStartOfDay() / 86400000.0;
    if (!date1904 && serial < 61)
        serial -= 1; // before the 1900 system's non-existent 29 February
    return true;
}

// A cell's text is checked as it is read, piece by piece: before a piece is decoded, by the
// least it can come to, and after. Excel's escapes (_x000D_, seven characters for one) are
// decoded last, so that until then a text may take seven times the most a cell holds. A refused
// text costs no more than a few times that, however long it is written.
constexpr qsizetype MaxEscapedText = 7 * qsizetype(MaxCellText);

void appendChecked(Scanner &s, QString &out) {
    if (out.size() + s.rawText().size() / Scanner::MaxBytesPerUnit > MaxEscapedText)
        textTooLong();
    s.appendText(out);
    if (out.size() > MaxEscapedText)
        textTooLong();
}

// A text with Excel's escapes decoded, no longer than a cell holds.
void decodeCellText(QString &text) {
    decodeEscapes(text);
    if (text.size() > MaxCellText)
        textTooLong();
}

// Appends the text of a string item (<si> or <is>): <t> directly inside it or inside its rich
// text runs, without phonetic runs (<rPh>). Ends on the item's end tag.
void stringItem(Scanner &s, xml::Vocabulary &main, QString &out) {
    const int depth = s.depth();
    if (s.isEmptyElement()) {
        s.next();
        return;
    }
    for (;;) {
        const Token t = s.next();
        if (t == Token::EndElement && s.depth() < depth)
            return;
        if (t != Token::StartElement)
            continue;
        if (main.is(s, "t")) {
            if (s.isEmptyElement()) {
                s.next();
                continue;
            }
            while (s.next() == Token::Text)
                appendChecked(s, out);
            // the end of <t>, or an element inside it, which is skipped
            if (s.token() == Token::StartElement) {
                s.skipElement();
                s.skipElement(); // to the end of <t>
            }
        } else if (!main.is(s, "r")) {
            s.skipElement(); // rPh, phoneticPr, rPr and anything unknown
        }
    }
}

// Each string item becomes the pool's string of the same number.
void readSharedStrings(const QByteArray &doc, SheetData &sheet) {
    Scanner s(doc);
    xml::Vocabulary main = spreadsheetMl();
    QString text;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (main.is(s, "sst")) {
            QByteArrayView v;
            std::uint32_t count = 0;
            // Each string takes at least eight bytes: never trust the count for a reservation.
            if (s.attribute("uniqueCount", v) && parseIndex(v, count))
                sheet.strings.reserveStrings(
                    std::min<std::size_t>(count, std::size_t(doc.size()) / 8 + 1));
            sheet.strings.reserveChars(std::size_t(doc.size()) / 2);
            preferHugePages(sheet.strings.chars().constData(),
                            std::size_t(sheet.strings.chars().capacity()) * 2);
        } else if (main.is(s, "si")) {
            text.truncate(0); // keeps its room for the next item
            stringItem(s, main, text);
            decodeCellText(text);
            sheet.strings.add(text);
        }
    }
}

std::unordered_map<int, QString> numberFormats(Scanner &s, xml::Vocabulary &main) {
    std::unordered_map<int, QString> formats;
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        QByteArrayView id, code;
        std::uint32_t index;
        if (s.token() == Token::StartElement && main.is(s, "numFmt") &&
            s.attribute("numFmtId", id) && s.attribute("formatCode", code) && parseIndex(id, index))
            formats[int(std::min<std::uint32_t>(index, 1u << 30))] = s.decodeAttribute(code);
    }
    return formats;
}

// The cells of a sheet's part. It may run beside the reading of the shared strings: a text cell
// keeps its shared string's number until resolve(), and inline texts go to a pool of its own.
class SheetReader {
public:
    SheetReader(bool date1904, const std::vector<NumberClass> &classes)
        : m_date1904(date1904), m_classes(classes) {}

    std::vector<Cell> run(const QByteArray &doc) {
        Scanner s(doc);
        std::vector<Cell> cells;
        // A cell takes some 40 bytes of XML or more: a reservation that is seldom far off.
        cells.reserve(std::size_t(doc.size()) / 40);
        preferHugePages(cells.data(), cells.capacity() * sizeof(Cell));
        int row = -1;
        int nextColumn = 0;
        bool inData = false;
        while (s.next() != Token::EndDocument) {
            if (s.token() == Token::EndElement) {
                if (inData && m_main.is(s, "sheetData"))
                    inData = false;
                continue;
            }
            if (s.token() != Token::StartElement)
                continue;
            if (!inData) {
                if (m_main.is(s, "sheetData"))
                    inData = !s.isEmptyElement();
                continue;
            }
            if (m_main.is(s, "row")) {
                QByteArrayView r;
                std::uint32_t number = 0;
                if (s.attribute("r", r)) {
                    if (!parseIndex(r, number) || number < 1 || number > SheetRows)
                        damage("a row lies outside the sheet");
                    row = int(number) - 1;
                } else {
                    if (++row >= SheetRows)
                        damage("a row lies outside the sheet");
                }
                nextColumn = 0;
            } else if (m_main.is(s, "c")) {
                if (row < 0)
                    row = 0; // a cell outside any row: Excel never writes one
                cell(s, doc, row, nextColumn, cells);
            } else {
                s.skipElement();
            }
        }
        return cells;
    }

    // Text cells to their strings in the sheet's pool, which holds the shared strings by their
    // numbers: inline texts are put after them.
    void resolve(std::vector<Cell> &cells, SheetData &sheet) const {
        const std::uint32_t shared = sheet.strings.count();
        for (Cell &c : cells) {
            if (c.kind != CellKind::Text)
                continue;
            if (c.code == InlineText) {
                c.text += shared;
                c.code = 0;
            } else if (c.text >= shared) {
                damage("a text cell refers to a shared string that does not exist");
            } else if (sheet.strings.length(c.text) == 0) {
                c.kind = CellKind::Empty;
            }
        }
        for (std::uint32_t i = 0; i < m_inline.count(); ++i) {
            const QStringView text = m_inline.view(i);
            sheet.strings.add(reinterpret_cast<const char16_t *>(text.data()),
                              std::uint32_t(text.size()));
        }
    }

private:
    void cell(Scanner &s, const QByteArray &doc, int row, int &nextColumn,
              std::vector<Cell> &cells) {
        int column = nextColumn;
        QByteArrayView type, style, ref;
        for (const Scanner::Attribute &a : s.attributes()) {
            if (is(a.name, "r"))
                ref = a.raw;
            else if (is(a.name, "t"))
                type = a.raw;
            else if (is(a.name, "s"))
                style = a.raw;
        }
        if (!ref.isEmpty()) {
            int r;
            if (!parseCellName(ref, r, column))
                damage("a cell lies outside the sheet");
            row = r;
        }
        if (column >= SheetColumns)
            damage("a cell lies outside the sheet");
        nextColumn = column + 1;
        if (s.isEmptyElement()) {
            s.next();
            return;
        }
        m_owned.clear();
        QByteArrayView value; // the <v> text: a view of the document where it needs no decoding
        m_text.truncate(0);
        bool hasValue = false, inlineText = false;
        // Nearly every cell is <c ...><v>text</v></c> in so many bytes: its value is taken as it
        // stands, and the scanner goes on at the cell's end tag. The <v> is the vocabulary's
        // where the cell has no prefix: its namespace is then the default one.
        const QByteArrayView rest = QByteArrayView(doc).sliced(s.position());
        bool quick = false;
        if (rest.startsWith("<v>") && s.prefix().isEmpty() &&
            !is(type, "str")) { // a text result goes the full way
            const char *text = rest.data() + 3;
            const char *lt =
                static_cast<const char *>(std::memchr(text, '<', std::size_t(rest.size() - 3)));
            const QByteArrayView after = lt ? rest.sliced(lt - rest.data()) : QByteArrayView();
            if (after.startsWith("</v></") && after.size() > 6 &&
                after.sliced(6).startsWith(s.name()) && after.size() > 6 + s.name().size() &&
                after[6 + s.name().size()] == '>' &&
                !std::memchr(text, '&', std::size_t(lt - text))) {
                value = QByteArrayView(text, lt - text);
                hasValue = quick = true;
                s.skipContentTo(s.position() + (lt - rest.data()) + 4);
            }
        }
        const int depth = s.depth();
        if (quick)
            s.next(); // the cell's end tag
        while (!quick) {
            const Token t = s.next();
            if (t == Token::EndElement && s.depth() < depth)
                break;
            if (t != Token::StartElement)
                continue;
            if (m_main.is(s, "v")) {
                hasValue = true;
                if (s.isEmptyElement())
                    continue;
                while (s.next() == Token::Text) {
                    const QByteArrayView raw = s.rawText();
                    if (value.isEmpty() && !s.isCData() &&
                        !std::memchr(raw.data(), '&', std::size_t(raw.size())) &&
                        !std::memchr(raw.data(), '\r', std::size_t(raw.size()))) {
                        value = raw;
                        continue;
                    }
                    // Rare: references, line ends written with a carriage return, CDATA or text
                    // in pieces, kept decoded as XML reads them (a literal CR LF or CR is a
                    // line feed; only "&#13;" or "_x000D_" stands for a carriage return).
                    if (m_owned.size() + raw.size() / Scanner::MaxBytesPerUnit > MaxEscapedText)
                        textTooLong(); // no value of any kind is so long
                    if (m_owned.isEmpty())
                        m_owned = value.toByteArray();
                    QString decoded;
                    s.appendText(decoded);
                    m_owned += decoded.toUtf8();
                    value = m_owned;
                }
                if (s.token() == Token::StartElement) {
                    s.skipElement();
                    s.skipElement();
                }
            } else if (m_main.is(s, "is")) {
                inlineText = true;
                stringItem(s, m_main, m_text);
            } else {
                s.skipElement(); // <f>, <extLst>
            }
        }
        Cell c;
        c.row = row;
        c.column = std::uint16_t(column);
        if (is(type, "inlineStr") || (type.isEmpty() && inlineText && !hasValue)) {
            text(c, m_text, cells);
            return;
        }
        // A formula without a cached result (openpyxl writes an empty <v>), or a formatted blank.
        if (!hasValue || (!is(type, "str") && trimmed(value).isEmpty()))
            return;
        if (is(type, "s")) {
            std::uint32_t index;
            if (!parseIndex(value, index))
                damage("a text cell refers to a shared string that does not exist");
            c.text = index;
            c.kind = CellKind::Text;
            cells.push_back(c);
        } else if (is(type, "str")) {
            // UTF-8 takes at most three bytes for a UTF-16 unit.
            if (value.size() > 3 * MaxEscapedText)
                textTooLong();
            text(c, QString::fromUtf8(value.data(), value.size()), cells);
        } else if (is(type, "b")) {
            c.kind = CellKind::Bool;
            c.code = xml::isTrue(value) ? 1 : 0;
            cells.push_back(c);
        } else if (is(type, "e")) {
            c.kind = CellKind::Error;
            // #N/A for the errors of later Excel versions, which the sheet model has no code for.
            c.code =
                fieldtext::errorCode(QString::fromUtf8(value.data(), value.size())).value_or(0x2A);
            cells.push_back(c);
        } else if (is(type, "d")) {
            double serial;
            if (!isoSerial(value, m_date1904, serial))
                damage("a date cell does not hold a date");
            c.kind = CellKind::Date;
            c.number = serial;
            c.code = serial < 0 ? EarlyDate : 0; // a date before the date system's first day
            cells.push_back(c);
        } else {
            double number;
            if (!parseNumber(value, number))
                damage("a number cell does not hold a number");
            classify(c, number, style);
            cells.push_back(c);
        }
    }

    void text(Cell &c, QString value, std::vector<Cell> &cells) {
        if (value.isEmpty())
            return;
        decodeCellText(value);
        c.text = m_inline.add(value);
        c.kind = CellKind::Text;
        c.code = InlineText;
        cells.push_back(c);
    }

    void classify(Cell &c, double value, QByteArrayView style) {
        if (!std::isfinite(value)) {
            c.kind = CellKind::Error;
            c.code = 0x24;
            return;
        }
        c.number = value;
        std::uint32_t xf = 0;
        NumberClass cls = NumberClass::Plain;
        if ((style.isEmpty() || parseIndex(style, xf)) && xf < m_classes.size())
            cls = m_classes[xf];
        c.kind = cls == NumberClass::Date       ? CellKind::Date
                 : cls == NumberClass::Currency ? CellKind::Currency
                                                : CellKind::Number;
    }

    static constexpr std::uint8_t InlineText = 1; // in Cell::code until resolve()

    bool m_date1904;
    const std::vector<NumberClass> &m_classes;
    xml::Vocabulary m_main = spreadsheetMl(); // one parser reads one part
    StringPool m_inline;
    QByteArray m_owned;
    QString m_text;
};

} // namespace

std::vector<NumberClass> cellFormatClasses(QByteArrayView stylesXml) {
    std::vector<NumberClass> classes;
    Scanner s(stylesXml);
    xml::Vocabulary main = spreadsheetMl();
    std::unordered_map<int, QString> formats;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (main.is(s, "numFmts") && !s.isEmptyElement()) {
            formats = numberFormats(s, main);
        } else if (main.is(s, "cellXfs")) {
            const int depth = s.depth();
            if (s.isEmptyElement())
                continue;
            while (!(s.next() == Token::EndElement && s.depth() < depth)) {
                if (s.token() != Token::StartElement || !main.is(s, "xf"))
                    continue;
                QByteArrayView id;
                std::uint32_t index = 0;
                if (s.attribute("numFmtId", id))
                    parseIndex(id, index);
                const auto it = formats.find(int(std::min<std::uint32_t>(index, 1u << 30)));
                classes.push_back(it != formats.end() ? classifyFormatString(it->second)
                                                      : classifyBuiltInFormat(int(index)));
                if (!s.isEmptyElement())
                    s.skipElement();
            }
        }
    }
    return classes;
}

QStringList sheetNames(const QByteArray &bytes, const QString &fileName) {
    QStringList names;
    try {
        const Package package(bytes);
        for (const SheetEntry &entry : package.sheets())
            if (entry.type.endsWith("/worksheet"))
                names << entry.name;
    } catch (const DamagedFile &e) {
        damaged(displayPath(fileName), e.why);
    }
    return names;
}

std::unique_ptr<SheetData> readSheet(const QByteArray &bytes, const QString &fileName,
                                     const QString &sheetName) {
    const QString path = displayPath(fileName);
    auto read = std::make_unique<SheetData>();
    SheetData &sheet = *read;
    try {
        const Package package(bytes);
        const SheetEntry *entry = package.sheet(sheetName);
        if (!entry)
            noSuchSheet(path, sheetName);
        sheet.sheetName = entry->name;
        sheet.date1904 = package.date1904();
        if (entry->part.isEmpty() || !package.hasPart(entry->part))
            damage("the part of a sheet is missing");
        if (!entry->type.endsWith("/worksheet"))
            notAWorksheet(path, entry->name);

        std::vector<NumberClass> classes;
        const Relationship styles = package.workbookRelationship("styles");
        if (!styles.target.isEmpty() && package.hasPart(styles.target)) {
            try {
                classes = cellFormatClasses(package.xmlPart(styles.target));
            } catch (const xml::XmlError &e) {
                badXml(styles.target, e);
            }
        }
        const Relationship strings = package.workbookRelationship("sharedStrings");
        const zip::Entry *stringsEntry =
            strings.target.isEmpty() ? nullptr : package.archive().find(strings.target);
        auto readStrings = [&] {
            if (!stringsEntry)
                return;
            try {
                readSharedStrings(package.xmlPart(strings.target), sheet);
            } catch (const xml::XmlError &e) {
                badXml(strings.target, e);
            }
        };
        SheetReader parser(sheet.date1904, classes);
        std::vector<Cell> cells;
        auto readCells = [&] {
            try {
                cells = parser.run(package.xmlPart(entry->part));
            } catch (const xml::XmlError &e) {
                badXml(entry->part, e);
            }
        };
        // The shared strings and the cells are read side by side on two cores, unless both
        // parts together are so large that holding them at once would raise the peak memory.
        const std::uint64_t together =
            package.archive().find(entry->part)->size + (stringsEntry ? stringsEntry->size : 0);
        std::optional<SecondThread> stringsReader;
        if (stringsEntry && together <= ParallelPartsLimit)
            stringsReader.emplace(readStrings, SecondThread::When::SeveralCores);
        else
            readStrings();
        std::exception_ptr cellsFailure;
        try {
            readCells();
        } catch (const std::exception &) {
            cellsFailure = std::current_exception();
        }
        if (stringsReader)
            stringsReader->wait(); // the strings' failure first, as when they are read first
        if (cellsFailure)
            std::rethrow_exception(cellsFailure);
        parser.resolve(cells, sheet);
        sheet.setCells(std::move(cells));
    } catch (const DamagedFile &e) {
        damaged(path, e.why);
    }
    return read;
}

} // namespace workbook::xlsx
